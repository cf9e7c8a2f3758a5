#include "tclientdataset.h"

#include "exceptions.h"
#include "wiretext.h"

#include <QRegularExpression>

TClientDataSet::TClientDataSet(QObject* parent) : QObject(parent) {}

TField* TClientDataSet::AddField(const QString& fieldName, TFieldType type, int size)
{
    auto* field = new TField(this, fieldName, type, size);
    m_fields.append(field);
    return field;
}

TField* TClientDataSet::FindField(const QString& fieldName) const
{
    for (TField* f : m_fields)
        if (f->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return f;
    return nullptr;
}

TField* TClientDataSet::FieldByName(const QString& fieldName) const
{
    if (TField* f = FindField(fieldName))
        return f;
    throw EDatabaseError(QStringLiteral("%1: campo '%2' não encontrado").arg(objectName(), fieldName));
}

namespace {

bool valueFits(const QVariant& v, TFieldType type, int size)
{
    if (v.isNull())
        return true;
    switch (type) {
    case TFieldType::ftFloat:
    case TFieldType::ftInteger: {
        const int id = v.typeId();
        return id == QMetaType::Double || id == QMetaType::Int || id == QMetaType::LongLong ||
               id == QMetaType::Float || id == QMetaType::UInt || id == QMetaType::ULongLong;
    }
    case TFieldType::ftString:
        return v.typeId() == QMetaType::QString && (size <= 0 || WireText::CharacterCount(v.toString()) <= size);
    case TFieldType::ftBoolean:
        return v.typeId() == QMetaType::Bool;
    case TFieldType::ftDateTime:
        return v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate;
    case TFieldType::ftUnknown:
        break;
    }
    return false;
}

} // namespace

void TClientDataSet::CheckPacket(const TDataPacket& packet) const
{
    const QString name = objectName();
    QVector<int> source;
    source.reserve(m_fields.size());
    for (TField* f : m_fields) {
        const int i = packet.fieldIndex(f->FieldName());
        if (i < 0)
            throw EDatabaseError(QStringLiteral("%1: o pacote recebido não tem o campo '%2'").arg(name, f->FieldName()));
        if (packet.fields[i].type != f->DataType())
            throw EDatabaseError(QStringLiteral("%1: o campo '%2' veio como %3, esperado %4")
                                     .arg(name, f->FieldName(), FieldTypeName(packet.fields[i].type),
                                          FieldTypeName(f->DataType())));
        source.append(i);
    }
    for (int r = 0; r < packet.rows.size(); ++r) {
        const auto& row = packet.rows[r];
        if (row.size() != packet.fields.size())
            throw EDatabaseError(QStringLiteral("%1: a linha %2 do pacote tem %3 valores para %4 campos")
                                     .arg(name).arg(r + 1).arg(row.size()).arg(packet.fields.size()));
        for (int c = 0; c < m_fields.size(); ++c) {
            TField* f = m_fields[c];
            if (!valueFits(row[source[c]], f->DataType(), f->Size()))
                throw EDatabaseError(QStringLiteral("%1: valor inválido no campo '%2' da linha %3")
                                         .arg(name, f->FieldName()).arg(r + 1));
        }
    }
}

void TClientDataSet::SetData(const TDataPacket& packet)
{
    CheckPacket(packet);
    QVector<int> source;
    for (TField* f : m_fields)
        source.append(packet.fieldIndex(f->FieldName()));
    QVector<QVector<QVariant>> rows;
    rows.reserve(packet.rows.size());
    for (const auto& in : packet.rows) {
        QVector<QVariant> row;
        row.reserve(m_fields.size());
        for (int c = 0; c < m_fields.size(); ++c) {
            QVariant v = in[source[c]];
            if (!v.isNull() && m_fields[c]->IsNumeric())
                v = QVariant(v.toDouble());
            row.append(v);
        }
        rows.append(std::move(row));
    }
    // A filter that cannot be applied must fail before anything changes.
    if (m_filtered && !m_filter.trimmed().isEmpty())
        parseFilter(m_filter);
    m_rows = std::move(rows);
    m_active = true;
    rebuildView();
    First();
    emit contentReplaced();
}

void TClientDataSet::Open()
{
    if (m_active)
        return;
    m_active = true;
    rebuildView();
    First();
    emit contentReplaced();
}

void TClientDataSet::Close()
{
    if (!m_active && m_rows.isEmpty())
        return;
    m_active = false;
    m_rows.clear();
    m_view.clear();
    m_pos = 0;
    m_eof = true;
    emit contentReplaced();
}

TClientDataSet::Condition TClientDataSet::parseFilter(const QString& expression) const
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*([A-Za-z_][A-Za-z0-9_]*)\s*(=|<>)\s*'((?:[^']|'')*)'\s*$)"));
    const auto m = re.match(expression);
    if (!m.hasMatch())
        throw EDatabaseError(QStringLiteral("%1: expressão de filtro não suportada: %2").arg(objectName(), expression));
    TField* field = FindField(m.captured(1));
    if (!field)
        throw EDatabaseError(QStringLiteral("%1: campo '%2' do filtro não encontrado").arg(objectName(), m.captured(1)));
    Condition c;
    c.field = field->Index();
    c.equal = m.captured(2) == QLatin1String("=");
    c.text = m.captured(3).replace(QStringLiteral("''"), QStringLiteral("'"));
    return c;
}

void TClientDataSet::rebuildView()
{
    m_view.clear();
    if (!m_active)
        return;
    const bool filtering = m_filtered && !m_filter.trimmed().isEmpty();
    Condition c;
    if (filtering)
        c = parseFilter(m_filter);
    for (int r = 0; r < m_rows.size(); ++r) {
        if (filtering) {
            const QVariant& v = m_rows[r][c.field];
            const QString text = v.isNull() ? QString() : m_fields[c.field]->DisplayTextOf(v);
            const bool same = m_fields[c.field]->IsNumeric() ? text == c.text : v.toString() == c.text;
            if (same != c.equal)
                continue;
        }
        m_view.append(r);
    }
}

void TClientDataSet::SetFilter(const QString& expression)
{
    if (m_filtered && m_active && !expression.trimmed().isEmpty())
        parseFilter(expression); // refuse before changing anything
    m_filter = expression;
    if (m_filtered && m_active) {
        rebuildView();
        First();
        emit contentReplaced();
    }
}

void TClientDataSet::SetFiltered(bool on)
{
    if (on == m_filtered)
        return;
    if (on && m_active && !m_filter.trimmed().isEmpty())
        parseFilter(m_filter);
    m_filtered = on;
    if (m_active) {
        rebuildView();
        First();
        emit contentReplaced();
    }
}

void TClientDataSet::First()
{
    m_pos = 0;
    m_eof = m_view.isEmpty();
    emit cursorMoved();
}

void TClientDataSet::Next()
{
    if (m_view.isEmpty()) {
        m_eof = true;
        return;
    }
    if (m_pos + 1 < m_view.size())
        ++m_pos;
    else
        m_eof = true;
    emit cursorMoved();
}

bool TClientDataSet::Eof() const { return m_eof || m_view.isEmpty(); }

int TClientDataSet::RecNo() const { return m_view.isEmpty() ? 0 : m_pos + 1; }

int TClientDataSet::rowOfCurrent() const
{
    if (m_paintRow >= 0)
        return m_paintRow < m_view.size() ? m_view[m_paintRow] : -1;
    return m_view.isEmpty() ? -1 : m_view[m_pos];
}

QVariant TClientDataSet::ValueAt(int viewRow, int fieldIndex) const
{
    if (viewRow < 0 || viewRow >= m_view.size() || fieldIndex < 0 || fieldIndex >= m_fields.size())
        return {};
    return m_rows[m_view[viewRow]][fieldIndex];
}

QVariant TClientDataSet::CurrentValue(int fieldIndex) const
{
    const int row = rowOfCurrent();
    if (row < 0 || fieldIndex < 0 || fieldIndex >= m_fields.size())
        return {};
    return m_rows[row][fieldIndex];
}

TClientDataSet::RecordScope::RecordScope(const TClientDataSet* dataSet, int viewRow)
    : m_dataSet(dataSet), m_previous(dataSet->m_paintRow)
{
    m_dataSet->m_paintRow = viewRow;
}

TClientDataSet::RecordScope::~RecordScope() { m_dataSet->m_paintRow = m_previous; }
