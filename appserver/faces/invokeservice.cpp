#include "invokeservice.h"

#include "metrics.h"
#include "moduleregistry.h"
#include "printable.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <exception>

namespace appserver {

namespace {

// Status texts and the log quote a failure message at most this long.
constexpr qsizetype kEchoedMessageChars = 400;

const char* codeName(grpc::StatusCode code)
{
    switch (code) {
    case grpc::StatusCode::OK: return "OK";
    case grpc::StatusCode::CANCELLED: return "CANCELLED";
    case grpc::StatusCode::DEADLINE_EXCEEDED: return "DEADLINE_EXCEEDED";
    case grpc::StatusCode::RESOURCE_EXHAUSTED: return "RESOURCE_EXHAUSTED";
    case grpc::StatusCode::NOT_FOUND: return "NOT_FOUND";
    case grpc::StatusCode::INVALID_ARGUMENT: return "INVALID_ARGUMENT";
    case grpc::StatusCode::INTERNAL: return "INTERNAL";
    default: return "ERRO";
    }
}

grpc::StatusCode statusCode(CallEnd end)
{
    switch (end) {
    case CallEnd::Cancelled: return grpc::StatusCode::CANCELLED;
    case CallEnd::DeadlineExceeded: return grpc::StatusCode::DEADLINE_EXCEEDED;
    case CallEnd::Overloaded: break;
    }
    return grpc::StatusCode::RESOURCE_EXHAUSTED;
}

// A name from the request as the log and the status texts repeat it.
QString echoed(const std::string& name)
{
    if (name.empty())
        return QStringLiteral("\"\"");
    // Decoding a multi-megabyte name only to cut it would cost more than the call itself.
    // (More than maxChars characters are left after the cut, so printable() still marks it.)
    const size_t bytes = std::min(name.size(), size_t(kEchoedNameChars * 4 + 4));
    return printable(QString::fromUtf8(name.data(), qsizetype(bytes)), kEchoedNameChars);
}

QString echoedMessage(const std::string& message)
{
    return printable(QString::fromStdString(message), kEchoedMessageChars);
}

// Whether the call has ended on the client's side, and how. gRPC cancels a call whose deadline passed,
// so a cancelled call at (or a hair before) its deadline counts as a deadline.
std::optional<CallEnd> callEnd(grpc::ServerContext* context)
{
    const auto now = std::chrono::system_clock::now();
    const auto deadline = context->deadline();
    if (now >= deadline)
        return CallEnd::DeadlineExceeded;
    if (!context->IsCancelled())
        return std::nullopt;
    return now + std::chrono::milliseconds(10) >= deadline ? CallEnd::DeadlineExceeded : CallEnd::Cancelled;
}

CallScope scopeOf(grpc::ServerContext* context)
{
    CallScope scope;
    if (!context)
        return scope;
    const auto deadline = context->deadline();
    if (deadline != std::chrono::system_clock::time_point::max()) {
        const auto left = deadline - std::chrono::system_clock::now();
        scope.deadline = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(left);
    }
    scope.ended = [context] { return callEnd(context); };
    return scope;
}

} // namespace

InvokeService::InvokeService(const ModuleRegistry& registry, std::FILE* log) : m_registry(registry), m_log(log) {}

grpc::Status InvokeService::Invoke(grpc::ServerContext* context, const kpd::rpc::InvokeRequest* request,
                                   kpd::rpc::InvokeReply* reply)
{
    QElapsedTimer timer;
    timer.start();
    const QString moduleName = echoed(request->server_name());
    const QString methodName = echoed(request->method());
    QString detail = QStringLiteral("-");
    grpc::Status status;

    // Lookups use the full names: a cut name must not find a module.
    RemoteDataModule* module = m_registry.find(QString::fromStdString(request->server_name()));
    const RemoteDataModule::Method* method = module ? module->findMethod(QString::fromStdString(request->method())) : nullptr;
    if (!module) {
        status = grpc::Status(grpc::StatusCode::NOT_FOUND,
                              QStringLiteral("O servidor de aplicação não tem o módulo remoto \"%1\".").arg(moduleName).toStdString());
    } else if (!method) {
        status = grpc::Status(grpc::StatusCode::NOT_FOUND,
                              QStringLiteral("O módulo remoto \"%1\" não tem o método \"%2\".")
                                  .arg(module->registeredName(), methodName)
                                  .toStdString());
    } else {
        *reply->mutable_args() = request->args();
        Invocation call{*reply, {}, scopeOf(context)};
        try {
            status = (*method)(call);
        } catch (const CallEnded& e) {
            status = grpc::Status(statusCode(e.reason()), e.message().toStdString());
        } catch (const std::exception& e) {
            status = grpc::Status(grpc::StatusCode::INTERNAL,
                                  QStringLiteral("Erro interno no servidor de aplicação: %1")
                                      .arg(echoedMessage(e.what()))
                                      .toStdString());
        }
        if (!call.logDetail.isEmpty())
            detail = call.logDetail;
        // An answer nobody waits for any more is logged as what the client saw.
        if (status.ok() && context) {
            if (const std::optional<CallEnd> end = callEnd(context))
                status = grpc::Status(statusCode(*end), end == CallEnd::Cancelled ? "A chamada foi cancelada pelo cliente."
                                                                                  : "O prazo da chamada terminou.");
        }
    }

    if (m_log) {
        QString outcome = QString::fromLatin1(codeName(status.error_code()));
        if (!status.ok())
            outcome += QStringLiteral(": ") + echoedMessage(status.error_message());
        else if (reply->result().kind_case() == kpd::rpc::Variant::kTextValue)
            outcome = QStringLiteral("FALHA: ") + echoedMessage(reply->result().text_value());
        const QString line = QStringLiteral("%1 %2 %3 ref=%4 %5 ms %6\n")
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                      moduleName, methodName, detail, QString::number(timer.nsecsElapsed() / 1e6, 'f', 2), outcome);
        const QByteArray bytes = line.toUtf8();
        std::lock_guard lock(m_logMutex);
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_log);
        std::fflush(m_log);
    }
    if (m_metrics) {
        // Only names the server knows become labels: a caller must not grow the series without end.
        const bool failed = status.ok() && reply->result().kind_case() == kpd::rpc::Variant::kTextValue;
        const QString methodLabel = method ? QString::fromStdString(request->method()) : QStringLiteral("desconhecido");
        m_metrics->recordCall(methodLabel, failed ? QStringLiteral("FALHA") : QString::fromLatin1(codeName(status.error_code())),
                              static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (failed)
            m_metrics->recordDatabaseError();
    }
    if (!status.ok())
        reply->Clear();
    return status;
}

} // namespace appserver
