#include "jsondiff.h"

#include "cockpitfields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void JsonDifferences(const QJsonValue& desktop, const QJsonValue& view, const QString& path, QStringList& out)
{
    if (desktop.isObject() && view.isObject()) {
        QJsonObject v = view.toObject();
        const QJsonObject d = desktop.toObject();
        if (path.endsWith(QLatin1String("]")) && path.contains(QLatin1String("slices")))
            for (const char* own : {"color", "fraction"})
                if (!d.contains(QLatin1String(own)))
                    v.remove(QLatin1String(own));
        for (auto it = d.begin(); it != d.end(); ++it)
            JsonDifferences(it.value(), v.value(it.key()), path + QLatin1Char('.') + it.key(), out);
        for (auto it = v.begin(); it != v.end(); ++it)
            if (!d.contains(it.key()))
                out << path + QLatin1Char('.') + it.key() + QStringLiteral(" só no navegador");
        return;
    }
    if (desktop.isArray() && view.isArray()) {
        const QJsonArray d = desktop.toArray(), v = view.toArray();
        if (d.size() != v.size()) {
            out << QStringLiteral("%1: %2 itens no painel, %3 no navegador").arg(path).arg(d.size()).arg(v.size());
            return;
        }
        for (qsizetype i = 0; i < d.size(); ++i)
            if (!(path.endsWith(QLatin1String("rowColors")) && d[i].isNull()))
                JsonDifferences(d[i], v[i], QStringLiteral("%1[%2]").arg(path).arg(i), out);
        return;
    }
    if (desktop != view)
        out << QStringLiteral("%1: painel %2, navegador %3")
                   .arg(path, QString::fromUtf8(QJsonDocument(QJsonArray{desktop}).toJson(QJsonDocument::Compact)),
                        QString::fromUtf8(QJsonDocument(QJsonArray{view}).toJson(QJsonDocument::Compact)));
}

QJsonObject PageInDesktopNames(const QJsonObject& page)
{
    using namespace cockpit;
    QJsonObject labels{{"lblTitulo", page["title"]}, {"lblQtFiliais", page["branches"]}, {"lblDtAtu", page["lastLoad"]},
                       {"lblAviso", page["notice"]}};
    QJsonObject panels, notes, gauges, grids, charts;
    int row = 0;
    for (const QJsonValue& v : page["scopes"].toArray()) {
        const QJsonObject scope = v.toObject();
        const bool company = scope["kind"].toString() == QLatin1String("empresa");
        if (!company && ++row > kRegionRows)
            break;
        const QString n = company ? QString() : QString::number(row);
        if (!company)
            labels[QLatin1String(kRegionLabel) + n] = scope["code"];
        for (const IndicatorColumn& c : kIndicatorColumns) {
            const QJsonObject m = scope[QLatin1String(info(c.indicator).key)].toObject();
            const QString panel = company ? QLatin1String(c.totalPanel) : QLatin1String(c.regionPanel) + n;
            const QString gauge = company ? QLatin1String(c.totalGauge) : QLatin1String(c.regionGauge) + n;
            panels[panel] = m["text"];
            if (!m["notes"].toArray().isEmpty())
                notes[panel] = m["notes"];
            if (m["dial"].isObject())
                gauges[gauge] = m["dial"];
        }
    }
    for (const ListInfo& l : kLists) {
        QJsonObject list = page["lists"][QLatin1String(l.key)].toObject();
        list.remove(QStringLiteral("title"));
        grids[QLatin1String(l.grid)] = list;
        labels[QLatin1String(l.titleLabel)] = page["lists"][QLatin1String(l.key)]["title"];
    }
    for (const PieInfo& p : kPies)
        charts[QLatin1String(p.chart)] = page["pies"][QLatin1String(p.key)];
    return {{"labels", labels}, {"panels", panels}, {"notes", notes}, {"gauges", gauges}, {"grids", grids}, {"charts", charts}};
}

QJsonObject DesktopPart(const QJsonObject& desktop, const QJsonObject& like)
{
    QJsonObject out;
    for (auto group = like.begin(); group != like.end(); ++group) {
        if (group.key() == QLatin1String("notes")) {
            out[group.key()] = desktop[group.key()];
            continue;
        }
        QJsonObject part;
        const QJsonObject mine = desktop[group.key()].toObject();
        for (auto it = mine.begin(); it != mine.end(); ++it)
            for (const QString& name : group.value().toObject().keys())
                if (it.key().compare(name, Qt::CaseInsensitive) == 0)
                    part[name] = it.value();
        out[group.key()] = part;
    }
    return out;
}
