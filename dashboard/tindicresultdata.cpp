#include "tindicresultdata.h"

#include "ckppackets.h"
#include "cockpitfields.h"
#include "refmonth.h"
#include "eventboundary.h"
#include "exceptions.h"
#include "hostfunctions.h"
#include "modulestate.h"
#include "tclientdataset.h"
#include "tdatasource.h"
#include "tnetconnection.h"
#include "variantdate.h"

#include <array>

namespace {

// A dataset whose persistent fields are those of the packet it loads, as the server defines them.
TClientDataSet* newDataSet(QObject* owner, const char* name, const QVector<TPacketFieldDef>& layout)
{
    auto* cds = new TClientDataSet(owner);
    // Field objects take their names from the dataset, so the name comes first.
    cds->setObjectName(QString::fromLatin1(name));
    for (const TPacketFieldDef& def : layout)
        cds->AddField(def.name, def.type, def.size)->SetReadOnly(def.readOnly);
    return cds;
}

// What the dashboard adds to its fields: column titles and number formats, shared with the browser view.
void present(const QList<TClientDataSet*>& dataSets)
{
    for (const cockpit::FieldPresentation& p : cockpit::FieldPresentations())
        for (TClientDataSet* cds : dataSets) {
            if (cds->objectName() != p.dataSet)
                continue;
            TField* f = cds->FieldByName(p.field);
            if (!p.label.isEmpty())
                f->SetDisplayLabel(p.label);
            if (!p.format.isEmpty())
                f->SetDisplayFormat(p.format);
        }
}

TDataSource* newDataSource(QObject* owner, const char* name, TClientDataSet* cds)
{
    auto* dts = new TDataSource(owner);
    dts->setObjectName(QString::fromLatin1(name));
    dts->SetDataSet(cds);
    return dts;
}

// The packet a by-reference argument brought back; a missing one is refused like a packet without fields.
TDataPacket packetOf(const QVariantList& args, int index, const TClientDataSet* target)
{
    const QVariant& v = args.value(index);
    if (v.typeId() != qMetaTypeId<TDataPacket>())
        throw EDatabaseError(QStringLiteral("%1: o servidor de aplicação não devolveu o pacote de dados (argumento %2).")
                                 .arg(target->objectName())
                                 .arg(index + 1));
    return v.value<TDataPacket>();
}

} // namespace

TIndicResultData::TIndicResultData(QObject* owner) : QObject(owner)
{
    setObjectName(QStringLiteral("dmIndicResult"));
    netIndicResult = new TNetConnection(this);
    netIndicResult->setObjectName(QStringLiteral("netIndicResult"));
    netIndicResult->SetServerName(QLatin1String(CkpPackets::kServerName));
    netIndicResult->SetHost(QStringLiteral("127.0.0.1"));
    netIndicResult->SetPort(213);
    netIndicResult->SetThrowException(false);
    ConnectGuarded(netIndicResult, &TNetConnection::BeforeConnect, this, &TIndicResultData::netIndicResultBeforeConnect);

    cdsIndicadores = newDataSet(this, "cdsIndicadores", CkpPackets::Indicadores());
    cdsTop10 = newDataSet(this, "cdsTop10", CkpPackets::Ranking());
    cdsBottom10 = newDataSet(this, "cdsBottom10", CkpPackets::Ranking());
    cdsGrafPizza = newDataSet(this, "cdsGrafPizza", CkpPackets::GrafPizza());
    cdsDiasEstoque = newDataSet(this, "cdsDiasEstoque", CkpPackets::DiasEstoque());

    present({cdsTop10, cdsBottom10, cdsDiasEstoque});

    dtsTop10 = newDataSource(this, "dtsTop10", cdsTop10);
    dtsBottom10 = newDataSource(this, "dtsBottom10", cdsBottom10);
    dtsDiasEstoque = newDataSource(this, "dtsDiasEstoque", cdsDiasEstoque);
}

void TIndicResultData::netIndicResultBeforeConnect(QObject* sender)
{
    Q_UNUSED(sender);
    netIndicResult->SetHost(WebURL());
    netIndicResult->SetPort(WebPort());
}

cockpit::MonthFigures TIndicResultData::FetchCkpData()
{
    TAppServer* server = netIndicResult->AppServer();

    QVariantList args(CkpPackets::kArgCount);
    args[CkpPackets::kDateArg] = VariantDate::FromDateTime(dtData);
    const QVariant result = server->Invoke(QLatin1String(CkpPackets::kMethod), args);
    CheckResultServ(result, true, 0);

    // Everything the reply brought is checked before anything changes: a bad packet leaves every dataset,
    // and the reference date, as they were before the fetch.
    TDateTime newDate = 0.0;
    if (!VariantDate::ToDateTime(args[CkpPackets::kDateArg], &newDate))
        throw ERemoteError(QStringLiteral("O servidor de aplicação devolveu a data de referência em formato inválido."));
    // The figures are shown under the month that was asked for, so they must be that month's.
    const cockpit::RefMonth asked(DateTimeUtil::toDate(dtData));
    const cockpit::RefMonth returned(DateTimeUtil::toDate(newDate));
    if (returned != asked)
        throw ERemoteError(QStringLiteral("O servidor de aplicação devolveu os dados de %1/%2 para o pedido de %3/%4.")
                               .arg(NomeMes(newDate))
                               .arg(returned.firstDay().year())
                               .arg(NomeMes(dtData))
                               .arg(asked.firstDay().year()));

    struct Load {
        TClientDataSet* target;
        int arg;
    };
    const std::array<Load, 5> loads{{{cdsIndicadores, CkpPackets::kIndicadoresArg},
                                     {cdsTop10, CkpPackets::kTop10Arg},
                                     {cdsBottom10, CkpPackets::kBottom10Arg},
                                     {cdsGrafPizza, CkpPackets::kGrafPizzaArg},
                                     {cdsDiasEstoque, CkpPackets::kDiasEstoqueArg}}};
    std::array<TDataPacket, 5> packets;
    for (size_t i = 0; i < loads.size(); ++i) {
        packets[i] = packetOf(args, loads[i].arg, loads[i].target);
        loads[i].target->CheckPacket(packets[i]);
    }

    // The targets and the figures to compare with load into no dataset; a server without them sends them empty.
    const auto optional = [&args](int arg, const QVector<TPacketFieldDef>& layout, int required = -1) {
        return cockpit::OptionalPacket(args.value(arg).value<TDataPacket>(), layout, required);
    };
    cockpit::MonthFigures figures = cockpit::DecodeMonth(
        {returned.firstDay(), packets[0], packets[1], packets[2], packets[3], packets[4],
         optional(CkpPackets::kFirstEmptyArg, CkpPackets::Metas(), CkpPackets::kMetasFirstFields),
         optional(CkpPackets::kSecondEmptyArg, CkpPackets::Comparacoes(), CkpPackets::kComparacoesFirstFields)});

    dtData = newDate;
    for (size_t i = 0; i < loads.size(); ++i)
        loads[i].target->SetData(packets[i]);
    return figures;
}
