#include "cockpitfields.h"

#include "presentation.h"

namespace cockpit {

const QVector<FieldPresentation>& FieldPresentations()
{
    static const QVector<FieldPresentation> list = [] {
        const QString reg = QStringLiteral("Reg.");
        const QString filial = QStringLiteral("Filial");
        const QString pct = QStringLiteral("#0.0%");
        QVector<FieldPresentation> out;
        for (const QString& ranking : {QStringLiteral("cdsTop10"), QStringLiteral("cdsBottom10")}) {
            out.append({ranking, QStringLiteral("CDAREAGERE"), reg, {}});
            out.append({ranking, QStringLiteral("NMFILIAL"), filial, {}});
            out.append({ranking, QStringLiteral("RESULTADO"), QStringLiteral("%Result."), pct});
            out.append({ranking, QStringLiteral("ROWNUM"), {}, pct});
        }
        const QString stock = QStringLiteral("cdsDiasEstoque");
        out.append({stock, QStringLiteral("CDAREAGERE"), reg, {}});
        out.append({stock, QStringLiteral("NMFILIAL"), filial, {}});
        out.append({stock, QStringLiteral("DIASESTOQUE"), QString::fromUtf8("Nº Dias"), QStringLiteral("#0.0")});
        return out;
    }();
    return list;
}

const QStringList& DashboardMessages()
{
    static const QStringList messages{
        QString::fromUtf8("REGIONAIS>5|Há mais de 5 regionais cadastradas no sistema.Este cockpit está programado "
                          "para exibir dados de apenas 5 regionais."),
        QString::fromUtf8("DTULTATU|Última Atualização : "),
        QStringLiteral("QTFILI|Quantidade de Unidades: "),
        QStringLiteral("TITULO|BI Business Intelligence - Resultados Operacionais "),
    };
    return messages;
}

QString DashboardMessage(const QString& key) { return KeyedText(DashboardMessages(), key); }

} // namespace cockpit
