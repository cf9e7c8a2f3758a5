#pragma once

#include "importtables.h"

#include <QChar>
#include <QDate>
#include <QVariant>

namespace appserver {
class Database;
}

namespace appserver::importing {

// A value as a refusal quotes it: cut, and with its control characters escaped for the terminal.
QString shown(const QString& text);

// One value of a record, checked and made ready to bind for db; a non-empty reason refuses it. A day
// read is also left in day.
QVariant convert(Database& db, Kind kind, const QString& text, QChar separator, QString& reason, QDate* day);

} // namespace appserver::importing
