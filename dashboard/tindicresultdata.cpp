#include "tindicresultdata.h"

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

TClientDataSet* newDataSet(QObject* owner, const char* name)
{
    auto* cds = new TClientDataSet(owner);
    // Field objects take their names from the dataset, so the name comes first.
    cds->setObjectName(QString::fromLatin1(name));
    return cds;
}

TField* addField(TClientDataSet* cds, const char* name, TFieldType type, int size = 0, const QString& label = {},
                 const QString& format = {}, bool readOnly = false)
{
    TField* f = cds->AddField(QString::fromLatin1(name), type, size);
    if (!label.isEmpty())
        f->SetDisplayLabel(label);
    if (!format.isEmpty())
        f->SetDisplayFormat(format);
    f->SetReadOnly(readOnly);
    return f;
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
    netIndicResult->SetServerName(QStringLiteral("KPD00100.rdmIndicResult"));
    netIndicResult->SetHost(QStringLiteral("127.0.0.1"));
    netIndicResult->SetPort(213);
    netIndicResult->SetThrowException(false);
    ConnectGuarded(netIndicResult, &TNetConnection::BeforeConnect, this, &TIndicResultData::netIndicResultBeforeConnect);

    const auto ftString = TFieldType::ftString;
    const auto ftFloat = TFieldType::ftFloat;
    const QString reg = QStringLiteral("Reg.");
    const QString filial = QStringLiteral("Filial");
    const QString pct = QStringLiteral("#0.0%");

    cdsIndicadores = newDataSet(this, "cdsIndicadores");
    addField(cdsIndicadores, "CDAREAGERE", ftString, 5);
    addField(cdsIndicadores, "QTFILIAIS", ftFloat);
    addField(cdsIndicadores, "VRFATLIQGER", ftFloat);
    addField(cdsIndicadores, "CONSUMO", ftFloat);
    addField(cdsIndicadores, "MDO", ftFloat);
    addField(cdsIndicadores, "DESPESAS", ftFloat);
    addField(cdsIndicadores, "RESULTADO", ftFloat);
    addField(cdsIndicadores, "DTULTATUETL", ftString, 10);

    cdsTop10 = newDataSet(this, "cdsTop10");
    addField(cdsTop10, "CDAREAGERE", ftString, 3, reg);
    addField(cdsTop10, "NMFILIAL", ftString, 30, filial);
    addField(cdsTop10, "RESULTADO", ftFloat, 0, QStringLiteral("%Result."), pct);
    addField(cdsTop10, "ROWNUM", ftFloat, 0, {}, pct);

    cdsBottom10 = newDataSet(this, "cdsBottom10");
    addField(cdsBottom10, "CDAREAGERE", ftString, 3, reg);
    addField(cdsBottom10, "NMFILIAL", ftString, 30, filial);
    addField(cdsBottom10, "RESULTADO", ftFloat, 0, QStringLiteral("%Result."), pct);
    addField(cdsBottom10, "ROWNUM", ftFloat, 0, {}, pct);

    cdsGrafPizza = newDataSet(this, "cdsGrafPizza");
    addField(cdsGrafPizza, "CDAREAGERE", ftString, 3);
    addField(cdsGrafPizza, "VRFATLIQGER", ftFloat, 0, {}, {}, true);
    addField(cdsGrafPizza, "CUSTO", ftFloat, 0, {}, {}, true);
    addField(cdsGrafPizza, "RESULTADO", ftFloat, 0, {}, {}, true);

    cdsDiasEstoque = newDataSet(this, "cdsDiasEstoque");
    addField(cdsDiasEstoque, "CDAREAGERE", ftString, 3, reg);
    addField(cdsDiasEstoque, "ROWNUM", ftFloat);
    addField(cdsDiasEstoque, "NMFILIAL", ftString, 30, filial);
    addField(cdsDiasEstoque, "DIASESTOQUE", ftFloat, 0, QString::fromUtf8("Nº Dias"), QStringLiteral("#0.0"), true);

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

void TIndicResultData::FetchCkpData()
{
    TAppServer* server = netIndicResult->AppServer();

    QVariantList args(8);
    args[0] = VariantDate::FromDateTime(dtData);
    const QVariant result = server->Invoke(QStringLiteral("getCkpData"), args);
    CheckResultServ(result, true, 0);

    // Everything the reply brought is checked before anything changes: a bad packet leaves every dataset,
    // and the reference date, as they were before the fetch.
    TDateTime newDate = 0.0;
    if (!VariantDate::ToDateTime(args[0], &newDate))
        throw ERemoteError(QStringLiteral("O servidor de aplicação devolveu a data de referência em formato inválido."));

    struct Load {
        TClientDataSet* target;
        int arg;
    };
    // Packets 6 and 7 (indexes 5 and 6) are received and discarded.
    const std::array<Load, 5> loads{{{cdsIndicadores, 1}, {cdsTop10, 2}, {cdsBottom10, 3}, {cdsGrafPizza, 4},
                                     {cdsDiasEstoque, 7}}};
    std::array<TDataPacket, 5> packets;
    for (size_t i = 0; i < loads.size(); ++i) {
        packets[i] = packetOf(args, loads[i].arg, loads[i].target);
        loads[i].target->CheckPacket(packets[i]);
    }

    dtData = newDate;
    for (size_t i = 0; i < loads.size(); ++i)
        loads[i].target->SetData(packets[i]);
}
