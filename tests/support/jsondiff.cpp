#include "jsondiff.h"

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
