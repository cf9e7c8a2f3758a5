#pragma once

#include "cockpitfields.h"
#include "datapacket.h"
#include "presentation.h"
#include "wireerror.h"

#include <QHash>
#include <QString>
#include <QVector>

namespace cockpit {

// A packet read through its layout, the way the dashboard's dataset reads it: the layout gives each
// field's type, the dashboard's presentation its title and number format.
class PacketTable {
public:
    PacketTable(const QString& name, const TDataPacket& packet, const QVector<TPacketFieldDef>& layout)
        : m_name(name), m_packet(packet), m_layout(layout)
    {
        for (const TPacketFieldDef& def : layout) {
            const int i = packet.fieldIndex(def.name);
            if (i < 0)
                throw WireError(QStringLiteral("%1: o pacote não tem o campo %2.").arg(name, def.name));
            m_columns.append(i);
        }
        for (const FieldPresentation& p : FieldPresentations())
            if (p.dataSet == name)
                m_presentation.insert(p.field, p);
    }

    int rowCount() const { return static_cast<int>(m_packet.rows.size()); }
    QVariant value(int row, const QString& field) const
    {
        const int f = layoutIndex(field);
        return row >= 0 && row < rowCount() ? m_packet.rows[row].value(m_columns[f]) : QVariant();
    }
    QString asString(int row, const QString& field) const
    {
        return FieldText(value(row, field), m_layout[layoutIndex(field)].type, BrazilLocale());
    }
    QString displayText(int row, const QString& field) const
    {
        return FieldText(value(row, field), m_layout[layoutIndex(field)].type, BrazilLocale(),
                         m_presentation.value(field).format);
    }
    QString title(const QString& field) const
    {
        const QString label = m_presentation.value(field).label;
        return label.isEmpty() ? m_layout[layoutIndex(field)].name : label;
    }

private:
    int layoutIndex(const QString& field) const
    {
        for (int i = 0; i < m_layout.size(); ++i)   // the usual spelling first: this runs for every cell
            if (m_layout[i].name == field)
                return i;
        for (int i = 0; i < m_layout.size(); ++i)
            if (m_layout[i].name.compare(field, Qt::CaseInsensitive) == 0)
                return i;
        throw WireError(QStringLiteral("%1: campo '%2' não encontrado").arg(m_name, field));
    }

    QString m_name;
    const TDataPacket& m_packet;
    const QVector<TPacketFieldDef>& m_layout;
    QVector<int> m_columns;
    QHash<QString, FieldPresentation> m_presentation;
};

} // namespace cockpit
