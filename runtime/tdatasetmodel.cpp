#include "tdatasetmodel.h"

#include "tclientdataset.h"

TDataSetModel::TDataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

void TDataSetModel::SetDataSet(TClientDataSet* dataSet)
{
    if (m_dataSet == dataSet)
        return;
    beginResetModel();
    disconnect(m_connection);
    m_dataSet = dataSet;
    if (dataSet)
        m_connection = connect(dataSet, &TClientDataSet::contentReplaced, this, [this] {
            beginResetModel();
            endResetModel();
        });
    endResetModel();
}

int TDataSetModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_dataSet || !m_dataSet->Active())
        return 0;
    return m_dataSet->RecordCount();
}

int TDataSetModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_dataSet)
        return 0;
    return static_cast<int>(m_dataSet->Fields().size());
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) || !m_dataSet)
        return {};
    const TField* field = m_dataSet->Fields().at(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return field->DisplayTextOf(m_dataSet->ValueAt(index.row(), index.column()));
    case ValueRole:
    case Qt::EditRole:
        return m_dataSet->ValueAt(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(field->Alignment() | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || !m_dataSet || section < 0 || section >= m_dataSet->Fields().size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_dataSet->Fields().at(section)->DisplayLabel();
    return {};
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
