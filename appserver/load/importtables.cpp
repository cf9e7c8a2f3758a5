#include "importtables.h"

namespace appserver::importing {

const std::array<Table, 5>& tables()
{
    static const std::array<Table, 5> all{{
        {"regional", {{"cdareagere", Kind::Code}, {"nmareagere", Kind::Name}}, 1},
        {"filial", {{"cdfilial", Kind::Branch}, {"nmfilial", Kind::Name}, {"cdareagere", Kind::Code}}, 1},
        {"movimento_diario",
         {{"cdfilial", Kind::Branch},
          {"dtmovimento", Kind::Day},
          {"vrfatliq", Kind::Money},
          {"vrconsumo", Kind::Money},
          {"vrmdo", Kind::Money},
          {"vrdespesas", Kind::Money}},
         2},
        {"estoque_mensal", {{"cdfilial", Kind::Branch}, {"mes", Kind::Month}, {"vrestoque", Kind::Money}}, 2},
        {"meta_mensal",
         {{"mes", Kind::Month}, {"escopo", Kind::Scope}, {"indicador", Kind::Indicator}, {"vrmeta", Kind::Money}},
         3},
    }};
    return all;
}

const char* sqlType(Kind kind)
{
    switch (kind) {
    case Kind::Code:
    case Kind::Name:
    case Kind::Scope:
    case Kind::Indicator: return "TEXT";
    case Kind::Branch: return "INTEGER";
    case Kind::Day:
    case Kind::Month: return "DATE";
    case Kind::Money: return "NUMERIC";
    }
    return "TEXT";
}

QString staging(const Table& t) { return QStringLiteral("imp_%1").arg(QLatin1String(t.name)); }
QString fileOf(const Table& t) { return QStringLiteral("%1.csv").arg(QLatin1String(t.name)); }
bool isDaily(const Table& t) { return qstrcmp(t.name, "movimento_diario") == 0; }

} // namespace appserver::importing
