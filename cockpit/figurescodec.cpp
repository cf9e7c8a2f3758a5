#include "figurescodec.h"

#include "ckppackets.h"
#include "packetbuilder.h"
#include "presentation.h"
#include "wireerror.h"

#include <QDateTime>
#include <QHash>

namespace cockpit {

namespace {

// A packet read by field name; a field the packet does not carry reads as empty.
class Fields {
public:
    explicit Fields(const TDataPacket& packet) : m_packet(packet) {}
    int rows() const { return static_cast<int>(m_packet.rows.size()); }
    bool has(const char* field) const { return index(field) >= 0; }
    QVariant value(int row, const char* field) const
    {
        const int f = index(field);
        return f < 0 || row < 0 || row >= rows() ? QVariant() : m_packet.rows[row].value(f);
    }
    QString text(int row, const char* field) const { return value(row, field).toString().trimmed(); }
    std::optional<double> number(int row, const char* field) const
    {
        const QVariant v = value(row, field);
        if (v.isNull() || !v.isValid())
            return std::nullopt;
        return FieldFloat(v);
    }
    IndicatorValues indicators(int row) const
    {
        IndicatorValues out;
        for (const IndicatorInfo& i : kIndicators)
            out[size_t(i.id)] = number(row, i.field);
        return out;
    }
    // Where a packet every server sends lacks a field of its layout, the reply is not one to show.
    void require(const QString& name, const QVector<TPacketFieldDef>& layout) const
    {
        for (const TPacketFieldDef& def : layout)
            if (m_packet.fieldIndex(def.name) < 0)
                throw WireError(QStringLiteral("%1: o pacote não tem o campo %2.").arg(name, def.name));
    }

private:
    int index(const char* field) const
    {
        const auto it = m_fields.constFind(field);
        if (it != m_fields.cend())
            return it.value();
        const int f = m_packet.fieldIndex(QLatin1String(field));
        m_fields.insert(field, f);
        return f;
    }

    const TDataPacket& m_packet;
    mutable QHash<const char*, int> m_fields;
};

QDate dayOf(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().date();
    if (v.typeId() == QMetaType::QDate)
        return v.toDate();
    return QDate::fromString(v.toString().trimmed(), QStringLiteral("dd/MM/yyyy"));
}

ScopeFigures scopeOf(const Fields& rows, int r)
{
    return {rows.text(r, "CDAREAGERE"), rows.number(r, "QTFILIAIS"), rows.indicators(r)};
}

QVector<ListedBranch> rankingOf(const Fields& rows, const char* valueField)
{
    QVector<ListedBranch> out;
    for (int r = 0; r < rows.rows(); ++r)
        out.append({rows.text(r, "CDAREAGERE"), rows.value(r, "NMFILIAL").toString(), rows.number(r, valueField),
                    int(rows.number(r, "ROWNUM").value_or(0))});
    return out;
}

QVector<ScopeTargets> targetsOf(const Fields& metas)
{
    QVector<ScopeTargets> out;
    for (int r = 0; r < metas.rows(); ++r) {
        ScopeTargets t;
        t.scope = metas.text(r, "CDAREAGERE");
        t.targets = metas.indicators(r);
        t.revenueFromBranches = metas.text(r, "FONTEFAT") == QLatin1String("filiais");
        if (const QVariant v = metas.value(r, "DTULTMOV"); !v.isNull())
            t.lastFigures = dayOf(v);
        t.monthsTop = metas.number(r, "QTMESTOP");
        t.monthsBottom = metas.number(r, "QTMESBOTTOM");
        t.placeTop = metas.number(r, "ROWNUMTOP");
        t.placeBottom = metas.number(r, "ROWNUMBOTTOM");
        out.append(t);
    }
    return out;
}

void writeValues(PacketBuilder& p, const IndicatorValues& values)
{
    for (const std::optional<double>& v : values)
        p.number(v);
}

void writeScope(PacketBuilder& p, const ScopeFigures& s, const QString& lastLoad)
{
    p.row().text(s.code).number(s.branches);
    writeValues(p, s.values);
    if (lastLoad.isEmpty())
        p.null();
    else
        p.text(lastLoad);
}

kpd::rpc::DataPacket targetsPacket(const QVector<ScopeTargets>& targets)
{
    PacketBuilder metas(CkpPackets::Metas());
    for (const ScopeTargets& t : targets) {
        metas.row().text(t.scope);
        writeValues(metas, t.targets);
        if (t.revenueFromBranches)
            metas.text(QStringLiteral("filiais"));
        else
            metas.null();
        if (t.lastFigures.isValid())
            metas.date(t.lastFigures);
        else
            metas.null();
        metas.number(t.monthsTop).number(t.monthsBottom).number(t.placeTop).number(t.placeBottom);
    }
    return metas.take();
}

} // namespace

MonthFigures DecodeMonth(const CockpitPackets& packets)
{
    MonthFigures out;
    out.month = RefMonth(packets.month);
    const Fields indicadores(packets.indicadores), top10(packets.top10), bottom10(packets.bottom10),
        pizza(packets.grafPizza), stock(packets.diasEstoque), metas(packets.metas), comparacoes(packets.comparacoes);
    indicadores.require(QStringLiteral("cdsIndicadores"), CkpPackets::Indicadores());
    top10.require(QStringLiteral("cdsTop10"), CkpPackets::Ranking());
    bottom10.require(QStringLiteral("cdsBottom10"), CkpPackets::Ranking());
    pizza.require(QStringLiteral("cdsGrafPizza"), CkpPackets::GrafPizza());
    stock.require(QStringLiteral("cdsDiasEstoque"), CkpPackets::DiasEstoque());

    for (int r = 0; r < indicadores.rows(); ++r) {
        out.scopes.append(scopeOf(indicadores, r));
        if (out.lastLoad.isEmpty() && out.scopes.back().code == QLatin1String(kCompanyCode))
            out.lastLoad = indicadores.text(r, "DTULTATUETL");
    }
    out.top10 = rankingOf(top10, "RESULTADO");
    out.bottom10 = rankingOf(bottom10, "RESULTADO");
    out.stock = rankingOf(stock, "DIASESTOQUE");
    for (int r = 0; r < pizza.rows(); ++r)
        out.slices.append({pizza.value(r, "CDAREAGERE").toString(), pizza.number(r, "VRFATLIQGER"), pizza.number(r, "CUSTO"),
                           pizza.number(r, "RESULTADO")});
    out.targets = targetsOf(metas);
    out.toldLastFigures = metas.has("DTULTMOV");
    out.toldHistory = comparacoes.has("VRFATLIQ") && comparacoes.has("VRRESULT");
    for (int r = 0; r < comparacoes.rows(); ++r) {
        HistoryMonth h;
        h.month = RefMonth(comparacoes.value(r, "DTREFERENCIA").toDateTime().date());
        h.scope = comparacoes.text(r, "CDAREAGERE");
        h.values = comparacoes.indicators(r);
        h.revenue = comparacoes.number(r, "VRFATLIQ");
        h.result = comparacoes.number(r, "VRRESULT");
        h.revenueTarget = comparacoes.number(r, "METAFAT");
        h.resultTarget = comparacoes.number(r, "METARES");
        h.revenueToDay = comparacoes.number(r, "VRFATDIA");
        out.history.append(h);
    }
    return out;
}

RegionFigures DecodeRegion(const RegionReply& packets)
{
    RegionFigures out;
    out.month = RefMonth(packets.month);
    out.region = packets.region.trimmed();
    const Fields own(packets.regionRow), branches(packets.branches), metas(packets.metas);
    for (int r = 0; r < own.rows() && !out.own; ++r)
        if (own.text(r, "CDAREAGERE") == out.region) {
            out.own = scopeOf(own, r);
            out.lastLoad = own.text(r, "DTULTATUETL");
        }
    for (int r = 0; r < branches.rows(); ++r) {
        BranchFigures b;
        if (const std::optional<double> code = branches.number(r, "CDFILIAL"))
            b.code = qint64(*code);
        b.name = branches.text(r, "NMFILIAL");
        b.values = branches.indicators(r);
        b.stockDays = branches.number(r, "DIASESTOQUE");
        b.place = int(branches.number(r, "ROWNUM").value_or(0));
        out.branches.append(b);
    }
    out.targets = targetsOf(metas);
    out.toldLastFigures = metas.has("DTULTMOV");
    return out;
}

EncodedMonth EncodeMonth(const MonthFigures& figures)
{
    EncodedMonth out;
    PacketBuilder indicadores(CkpPackets::Indicadores());
    for (const ScopeFigures& s : figures.scopes)
        writeScope(indicadores, s, figures.lastLoad);
    out.indicadores = indicadores.take();

    const auto ranking = [](const QVector<ListedBranch>& list) {
        PacketBuilder p(CkpPackets::Ranking());
        for (const ListedBranch& b : list)
            p.row().text(b.region).text(b.name).number(b.value).number(b.place);
        return p.take();
    };
    out.top10 = ranking(figures.top10);
    out.bottom10 = ranking(figures.bottom10);
    PacketBuilder stock(CkpPackets::DiasEstoque());
    for (const ListedBranch& b : figures.stock)
        stock.row().text(b.region).number(b.place).text(b.name).number(b.value);
    out.diasEstoque = stock.take();

    PacketBuilder pizza(CkpPackets::GrafPizza());
    for (const RegionSlice& s : figures.slices)
        pizza.row().text(s.region).number(s.revenue).number(s.cost).number(s.result);
    out.grafPizza = pizza.take();

    out.metas = targetsPacket(figures.targets);

    PacketBuilder comparacoes(CkpPackets::Comparacoes());
    for (const HistoryMonth& h : figures.history) {
        comparacoes.row().date(h.month.firstDay()).text(h.scope);
        writeValues(comparacoes, h.values);
        comparacoes.number(h.revenue).number(h.result).number(h.revenueTarget).number(h.resultTarget).number(h.revenueToDay);
    }
    out.comparacoes = comparacoes.take();
    return out;
}

EncodedRegion EncodeRegion(const RegionFigures& figures)
{
    EncodedRegion out;
    PacketBuilder own(CkpPackets::Indicadores());
    if (figures.own)
        writeScope(own, *figures.own, figures.lastLoad);
    out.regionRow = own.take();
    PacketBuilder list(::RegionPackets::Filiais());
    for (const BranchFigures& b : figures.branches) {
        list.row().number(b.code ? std::optional<double>(double(*b.code)) : std::nullopt).text(b.name);
        writeValues(list, b.values);
        list.number(b.stockDays).number(b.place);
    }
    out.branches = list.take();
    out.metas = targetsPacket(figures.targets);
    return out;
}

} // namespace cockpit
