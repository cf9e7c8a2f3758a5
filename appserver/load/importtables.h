#pragma once

#include <QString>

#include <array>
#include <vector>

namespace appserver::importing {

// What a value of a column must be, and how it is checked and stored.
enum class Kind { Code, Name, Branch, Day, Month, Money, Scope, Indicator };

struct Column {
    const char* name;
    Kind kind;
};

// A table the import loads: its columns in the file's terms, the first `keys` the primary key.
struct Table {
    const char* name;
    std::vector<Column> columns;
    int keys;
};

// The tables an import may load, in load order (parents first).
const std::array<Table, 5>& tables();
const char* sqlType(Kind kind);
// The staging table of t, the file it is read from, and whether it holds the daily figures.
QString staging(const Table& t);
QString fileOf(const Table& t);
bool isDaily(const Table& t);

} // namespace appserver::importing
