#include "ckppackets.h"

namespace CkpPackets {

namespace {

TPacketFieldDef text(const char* name, int size)
{
    return {QString::fromLatin1(name), TFieldType::ftString, size, false};
}

TPacketFieldDef number(const char* name, bool readOnly = false)
{
    return {QString::fromLatin1(name), TFieldType::ftFloat, 0, readOnly};
}

TPacketFieldDef date(const char* name)
{
    return {QString::fromLatin1(name), TFieldType::ftDateTime, 0, true};
}

} // namespace

const QVector<TPacketFieldDef>& Indicadores()
{
    static const QVector<TPacketFieldDef> layout{
        text("CDAREAGERE", 5), number("QTFILIAIS"), number("VRFATLIQGER"), number("CONSUMO"), number("MDO"),
        number("DESPESAS"), number("RESULTADO"), text("DTULTATUETL", 10)};
    return layout;
}

const QVector<TPacketFieldDef>& Ranking()
{
    static const QVector<TPacketFieldDef> layout{
        text("CDAREAGERE", 3), text("NMFILIAL", 30), number("RESULTADO"), number("ROWNUM")};
    return layout;
}

const QVector<TPacketFieldDef>& GrafPizza()
{
    static const QVector<TPacketFieldDef> layout{
        text("CDAREAGERE", 3), number("VRFATLIQGER", true), number("CUSTO", true), number("RESULTADO", true)};
    return layout;
}

const QVector<TPacketFieldDef>& DiasEstoque()
{
    static const QVector<TPacketFieldDef> layout{
        text("CDAREAGERE", 3), number("ROWNUM"), text("NMFILIAL", 30), number("DIASESTOQUE", true)};
    return layout;
}

const QVector<TPacketFieldDef>& Metas()
{
    static const QVector<TPacketFieldDef> layout{text("CDAREAGERE", 10), number("VRFATLIQGER", true), number("CONSUMO", true),
                                                 number("MDO", true), number("DESPESAS", true), number("RESULTADO", true),
                                                 text("FONTEFAT", 10), date("DTULTMOV"),
                                                 number("QTMESTOP", true), number("QTMESBOTTOM", true),
                                                 number("ROWNUMTOP", true), number("ROWNUMBOTTOM", true)};
    return layout;
}

const QVector<TPacketFieldDef>& Comparacoes()
{
    static const QVector<TPacketFieldDef> layout{date("DTREFERENCIA"), text("CDAREAGERE", 5), number("VRFATLIQGER", true),
                                                 number("CONSUMO", true), number("MDO", true), number("DESPESAS", true),
                                                 number("RESULTADO", true), number("VRFATLIQ", true),
                                                 number("VRRESULT", true), number("METAFAT", true), number("METARES", true),
                                                 number("VRFATDIA", true)};
    return layout;
}

} // namespace CkpPackets

namespace RegionPackets {

const QVector<TPacketFieldDef>& Filiais()
{
    static const QVector<TPacketFieldDef> layout{
        {QStringLiteral("CDFILIAL"), TFieldType::ftFloat, 0, true},     {QStringLiteral("NMFILIAL"), TFieldType::ftString, 30, true},
        {QStringLiteral("VRFATLIQGER"), TFieldType::ftFloat, 0, true},  {QStringLiteral("CONSUMO"), TFieldType::ftFloat, 0, true},
        {QStringLiteral("MDO"), TFieldType::ftFloat, 0, true},          {QStringLiteral("DESPESAS"), TFieldType::ftFloat, 0, true},
        {QStringLiteral("RESULTADO"), TFieldType::ftFloat, 0, true},    {QStringLiteral("DIASESTOQUE"), TFieldType::ftFloat, 0, true},
        {QStringLiteral("ROWNUM"), TFieldType::ftFloat, 0, true}};
    return layout;
}

} // namespace RegionPackets
