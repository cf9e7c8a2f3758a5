#include "invokeservice.h"

#include "calllog.h"
#include "moduleregistry.h"

#include <grpcpp/impl/rpc_service_method.h>
#include <grpcpp/support/method_handler.h>

#include <QElapsedTimer>

#include <exception>

namespace appserver {

namespace {

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
    const auto deadline = context->deadline();
    if (deadline != std::chrono::system_clock::time_point::max()) {
        const auto left = deadline - std::chrono::system_clock::now();
        scope.deadline = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(left);
    }
    scope.ended = [context] { return callEnd(context); };
    return scope;
}

// gRPC cancels the calls still running when the stop's grace ends, as it does when a client leaves.
const std::string kCutByStop = "A chamada foi interrompida pelo encerramento do servidor.";

// The sync server learns whether a client left by polling the call's queue, which costs as much as a
// whole call on a kept answer; a call answered sooner than this only has its deadline checked.
constexpr qint64 kAskIfCancelledAfterNs = 1'000'000;

std::optional<CallEnd> deadlinePassed(grpc::ServerContext* context)
{
    if (std::chrono::system_clock::now() >= context->deadline())
        return CallEnd::DeadlineExceeded;
    return std::nullopt;
}

// Bytes kept with an answer, handed to gRPC as they are: the slice holds the answer until it is sent.
grpc::ByteBuffer sharedBytes(std::shared_ptr<const std::string> bytes)
{
    auto* owner = new std::shared_ptr<const std::string>(std::move(bytes));
    grpc::Slice slice(const_cast<char*>((*owner)->data()), (*owner)->size(),
                      [](void* p) { delete static_cast<std::shared_ptr<const std::string>*>(p); }, owner);
    return grpc::ByteBuffer(&slice, 1);
}

} // namespace

InvokeService::InvokeService(const ModuleRegistry& registry, CallLog& log) : m_registry(registry), m_log(log)
{
    // What the generated service registers, with bytes for the reply.
    AddMethod(new grpc::internal::RpcServiceMethod(
        "/kpd.rpc.RemoteDataModule/Invoke", grpc::internal::RpcMethod::NORMAL_RPC,
        new grpc::internal::RpcMethodHandler<InvokeService, kpd::rpc::InvokeRequest, grpc::ByteBuffer,
                                             grpc::protobuf::MessageLite, grpc::ByteBuffer>(
            [](InvokeService* service, grpc::ServerContext* context, const kpd::rpc::InvokeRequest* request,
               grpc::ByteBuffer* out) { return service->Invoke(context, request, out); },
            this)));
}

grpc::Status InvokeService::Invoke(grpc::ServerContext* context, const kpd::rpc::InvokeRequest* request,
                                   grpc::ByteBuffer* out)
{
    kpd::rpc::InvokeReply message;
    kpd::rpc::InvokeReply* const reply = &message;
    std::shared_ptr<const std::string> replyBytes;
    QElapsedTimer timer;
    timer.start();
    const QString moduleName = CallLog::echoed(request->server_name());
    const QString methodName = CallLog::echoed(request->method());
    QString detail = QStringLiteral("-");
    QString failureForLog;
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
            status = grpc::Status(statusCode(e.reason()), e.reason() == CallEnd::Cancelled && m_stopping
                                                               ? kCutByStop
                                                               : e.message().toStdString());
        } catch (const std::exception& e) {
            status = grpc::Status(grpc::StatusCode::INTERNAL,
                                  QStringLiteral("Erro interno no servidor de aplicação: %1")
                                      .arg(CallLog::echoedMessage(QString::fromUtf8(e.what())))
                                      .toStdString());
        }
        if (!call.logDetail.isEmpty())
            detail = call.logDetail;
        failureForLog = call.logMessage;
        replyBytes = std::move(call.replyBytes);
        // An answer nobody waits for any more is logged as what the client saw.
        if (status.ok()) {
            if (const std::optional<CallEnd> end = timer.nsecsElapsed() >= kAskIfCancelledAfterNs ? callEnd(context)
                                                                                                 : deadlinePassed(context))
                status = grpc::Status(statusCode(*end), end != CallEnd::Cancelled ? "O prazo da chamada terminou."
                                                        : m_stopping                  ? kCutByStop
                                                                                      : "A chamada foi cancelada pelo cliente.");
        }
    }

    CallLog::Call logged{moduleName, methodName,
                         method ? QString::fromStdString(request->method()) : QStringLiteral("desconhecido"), detail,
                         timer.nsecsElapsed(), QString::fromLatin1(codeName(status.error_code())), {}};
    if (!status.ok())
        logged.message = QString::fromStdString(status.error_message());
    else if (!replyBytes && reply->result().kind_case() == kpd::rpc::Variant::kTextValue) {
        logged.outcome = QStringLiteral("FALHA");
        logged.message = failureForLog.isEmpty() ? QString::fromStdString(reply->result().text_value()) : failureForLog;
    }
    m_log.record(logged);
    if (!status.ok())
        return status;
    if (replyBytes) {
        *out = sharedBytes(std::move(replyBytes));
        return status;
    }
    bool ownBuffer = false;
    return grpc::SerializationTraits<kpd::rpc::InvokeReply>::Serialize(message, out, &ownBuffer);
}

} // namespace appserver
