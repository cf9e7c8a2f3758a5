#pragma once

#include <QAbstractTableModel>
#include <QPointer>

class TClientDataSet;

// Read-only table model over a dataset's current (filtered) view, one column per field. Grids and charts
// use it; it resets whenever the dataset's content is replaced.
class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Raw value of the field, for consumers that need the number rather than its text.
    static constexpr int ValueRole = Qt::UserRole + 1;

    explicit TDataSetModel(QObject* parent = nullptr);

    TClientDataSet* DataSet() const { return m_dataSet; }
    void SetDataSet(TClientDataSet* dataSet);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QPointer<TClientDataSet> m_dataSet;
    QMetaObject::Connection m_connection;
};
