#include "rdmindicresultface.h"

#include "ckppackets.h"
#include "databaseerror.h"
#include "daycount.h"
#include "rdmindicresult.h"
#include "regioncode.h"
#include "wiretext.h"

#include <cmath>
#include <optional>

namespace appserver {

namespace {

QString kindName(const kpd::rpc::Variant& v)
{
    switch (v.kind_case()) {
    case kpd::rpc::Variant::kBoolValue: return QStringLiteral("um valor lógico");
    case kpd::rpc::Variant::kIntValue: return QStringLiteral("um inteiro");
    case kpd::rpc::Variant::kDoubleValue: return QStringLiteral("um número");
    case kpd::rpc::Variant::kTextValue: return QStringLiteral("um texto");
    case kpd::rpc::Variant::kDatetimeValue: return QStringLiteral("uma data");
    case kpd::rpc::Variant::kPacketValue: return QStringLiteral("um pacote de dados");
    case kpd::rpc::Variant::KIND_NOT_SET: break;
    }
    return QStringLiteral("um valor vazio");
}

grpc::Status invalid(const QString& message)
{
    return grpc::Status(grpc::StatusCode::INVALID_ARGUMENT, message.toStdString());
}

// The day of the reference date, or nothing when the value is not a finite number within the years 1 to
// 9999. The bound on the magnitude comes first so that no nonsense reaches the date arithmetic.
std::optional<QDate> referenceDay(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
        return std::nullopt;
    const QDate date = DayCount::toDate(value);
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return std::nullopt;
    return date;
}

// The reference date a method was given, or nothing with *refusal saying why.
std::optional<QDate> dateOf(const kpd::rpc::Variant& arg, const char* method, QString* refusal)
{
    double wire = 0;
    if (arg.kind_case() == kpd::rpc::Variant::kDatetimeValue)
        wire = arg.datetime_value();
    else if (arg.kind_case() == kpd::rpc::Variant::kDoubleValue)
        wire = arg.double_value();
    else {
        *refusal = QStringLiteral("O argumento 1 de %1 (data de referência) deve ser uma data; foi recebido %2.")
                       .arg(QLatin1String(method), kindName(arg));
        return std::nullopt;
    }
    const std::optional<QDate> date = referenceDay(wire);
    if (!date)
        *refusal = QStringLiteral("O argumento 1 de %1 (data de referência) não é uma data válida.").arg(QLatin1String(method));
    return date;
}

} // namespace

RdmIndicResultFace::RdmIndicResultFace(const RdmIndicResult& module)
    : RemoteDataModule(QString::fromLatin1(RdmIndicResult::kRegisteredName)), m_module(module)
{
    registerMethod(QLatin1String(CkpPackets::kMethod), [this](Invocation& call) { return getCkpData(call); });
    registerMethod(QLatin1String(RegionPackets::kMethod), [this](Invocation& call) { return getRegionData(call); });
}

grpc::Status RdmIndicResultFace::getCkpData(Invocation& call)
{
    auto& args = *call.reply.mutable_args();
    if (args.size() != kCkpDataArgs)
        return invalid(QStringLiteral("O método getCkpData espera %1 argumentos; foram recebidos %2.")
                           .arg(kCkpDataArgs)
                           .arg(args.size()));

    QString refusal;
    const std::optional<QDate> date = dateOf(args.Get(CkpPackets::kDateArg), "getCkpData", &refusal);
    if (!date)
        return invalid(refusal);
    call.logDetail = date->toString(Qt::ISODate);

    try {
        call.replyBytes = m_module.monthReply(cockpit::RefMonth(*date), call.scope);
    } catch (const DatabaseError& e) {
        // A failure of the data, not of the call: the client shows the message as the call's status, in words
        // a manager can act on; the log keeps what support needs.
        call.reply.mutable_result()->set_text_value(e.userMessage().toStdString());
        call.logMessage = e.message();
    }
    return grpc::Status::OK;
}

grpc::Status RdmIndicResultFace::getRegionData(Invocation& call)
{
    auto& args = *call.reply.mutable_args();
    if (args.size() != RegionPackets::kArgCount && args.size() != RegionPackets::kFirstArgCount)
        return invalid(QStringLiteral("O método getRegionData espera %1 argumentos; foram recebidos %2.")
                           .arg(RegionPackets::kArgCount)
                           .arg(args.size()));
    const bool withTargets = args.size() == RegionPackets::kArgCount;
    QString refusal;
    const std::optional<QDate> date = dateOf(args.Get(RegionPackets::kDateArg), "getRegionData", &refusal);
    if (!date)
        return invalid(refusal);
    const kpd::rpc::Variant& regionArg = args.Get(RegionPackets::kRegionArg);
    const QString region = regionArg.kind_case() == kpd::rpc::Variant::kTextValue ? QString::fromStdString(regionArg.text_value())
                                                                                    : QString();
    if (!cockpit::IsRegionCode(region))
        return invalid(QStringLiteral("O argumento 2 de getRegionData deve ser o código de uma regional."));
    call.logDetail = date->toString(Qt::ISODate) + QStringLiteral(" regional=") + WireText::Printable(region, 16);

    try {
        call.replyBytes = m_module.regionReply(cockpit::RefMonth(*date), region, call.scope);
        if (!withTargets) {
            // A client from before the targets gets back the arguments it sent.
            kpd::rpc::InvokeReply older;
            if (older.ParseFromString(*call.replyBytes) && older.args_size() > RegionPackets::kFirstArgCount) {
                older.mutable_args()->DeleteSubrange(RegionPackets::kFirstArgCount,
                                                     older.args_size() - RegionPackets::kFirstArgCount);
                call.replyBytes = std::make_shared<const std::string>(older.SerializeAsString());
            }
        }
    } catch (const DatabaseError& e) {
        call.reply.mutable_result()->set_text_value(e.userMessage().toStdString());
        call.logMessage = e.message();
    }
    return grpc::Status::OK;
}

} // namespace appserver
