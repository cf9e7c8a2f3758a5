#include "monthfigures.h"

#include "database.h"

#include <QDateTime>

namespace appserver::figures {

QString lastLoad(Database& db)
{
    QString text;
    db.forEachRow(QStringLiteral("SELECT MAX(dtcarga) FROM carga_etl"), {}, [&](const Database::Row& row) {
        const QDateTime when = row.isNull(0) ? QDateTime() : Database::toDateTime(QString::fromUtf8(row.text(0)));
        if (when.isValid())
            text = when.date().toString(QStringLiteral("dd/MM/yyyy"));
    });
    return text;
}

} // namespace appserver::figures
