#include "remotefailure.h"

#include "floattostr.h"
#include "wiretext.h"

#include <QLocale>

#include <cmath>

#include <grpcpp/impl/client_unary_call.h>
#include <grpcpp/impl/codegen/proto_utils.h>
#include <grpcpp/impl/rpc_method.h>

#include "kpd.pb.h"

namespace RemoteFailure {

namespace {

// What went wrong with the link, read from the text gRPC gives a failed connection. gRPC reports these only
// as UNAVAILABLE with an English description, so the description is the one place to tell them apart.
enum class Fault { Refused, UnknownHost, Unreachable, Untrusted, NameMismatch, NotTls, Closed, Other };

Fault faultOf(const std::string& text)
{
    const auto has = [&text](const char* part) { return text.find(part) != std::string::npos; };
    if (has("DNS resolution failed") || has("Domain name not found"))
        return Fault::UnknownHost;
    if (has("Connection refused"))
        return Fault::Refused;
    if (has("is not in peer certificate"))
        return Fault::NameMismatch;
    if (has("certificate verify failed") || has("CERTIFICATE_VERIFY_FAILED"))
        return Fault::Untrusted;
    if (has("wrong version number") || has("WRONG_VERSION_NUMBER"))
        return Fault::NotTls;
    if (has("Network is unreachable") || has("No route to host"))
        return Fault::Unreachable;
    if (has("Socket closed") || has("Connection reset") || has("Broken pipe") || has("End of TCP stream"))
        return Fault::Closed;
    return Fault::Other;
}

QString quoted(const QString& text) { return QLatin1Char('"') + WireText::Printable(text, 100) + QLatin1Char('"'); }

QString reasonOf(Fault fault, const Where& where, bool connecting)
{
    switch (fault) {
    case Fault::Refused:
        return connecting ? QStringLiteral("a conexão foi recusada (não há servidor em execução nesse endereço)")
                          : QStringLiteral("a conexão foi recusada (o servidor deixou de atender nesse endereço)");
    case Fault::UnknownHost:
        return QStringLiteral("o nome %1 não foi encontrado (confira o endereço do servidor)").arg(quoted(where.host));
    case Fault::Unreachable: return QStringLiteral("a rede não alcança esse endereço");
    case Fault::Untrusted:
        return QStringLiteral("o certificado do servidor não é de confiança (não foi emitido pela autoridade "
                              "certificadora configurada)");
    case Fault::NameMismatch:
        return QStringLiteral("o certificado do servidor não foi emitido para o nome %1").arg(quoted(where.host));
    case Fault::NotTls:
        return QStringLiteral("o servidor não usa TLS, e este cliente está configurado para usá-lo");
    case Fault::Closed:
        if (!connecting)
            return QStringLiteral("o servidor encerrou a conexão");
        return where.tls ? QStringLiteral("o servidor encerrou a conexão ao estabelecer o TLS (ele pode exigir um "
                                          "certificado de cliente que não foi apresentado ou que ele não aceita)")
                         : QStringLiteral("o servidor encerrou a conexão sem responder (ele pode exigir TLS)");
    case Fault::Other: break;
    }
    return QStringLiteral("falha de comunicação");
}

QString seconds(qint64 ms) { return FloatToStr(std::round(ms / 10.0) / 100.0); }

QString mebibytes(double bytes) { return QLocale().toString(bytes / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MiB"); }

// gRPC's own texts, which come with codes a server also uses: HTTP/2 resets, HTTP statuses of something that
// is not a gRPC server, an unreadable message. Shown never: they are English and say nothing to a user.
bool isTransportText(const std::string& text)
{
    for (const char* prefix : {"Received ", "Failed to ", "Stream removed", "No message returned"})
        if (text.rfind(prefix, 0) == 0)
            return true;
    return false;
}

const char* codeName(grpc::StatusCode code)
{
    switch (code) {
    case grpc::StatusCode::CANCELLED: return "CANCELLED";
    case grpc::StatusCode::UNKNOWN: return "UNKNOWN";
    case grpc::StatusCode::INVALID_ARGUMENT: return "INVALID_ARGUMENT";
    case grpc::StatusCode::DEADLINE_EXCEEDED: return "DEADLINE_EXCEEDED";
    case grpc::StatusCode::NOT_FOUND: return "NOT_FOUND";
    case grpc::StatusCode::ALREADY_EXISTS: return "ALREADY_EXISTS";
    case grpc::StatusCode::PERMISSION_DENIED: return "PERMISSION_DENIED";
    case grpc::StatusCode::UNAUTHENTICATED: return "UNAUTHENTICATED";
    case grpc::StatusCode::RESOURCE_EXHAUSTED: return "RESOURCE_EXHAUSTED";
    case grpc::StatusCode::FAILED_PRECONDITION: return "FAILED_PRECONDITION";
    case grpc::StatusCode::ABORTED: return "ABORTED";
    case grpc::StatusCode::OUT_OF_RANGE: return "OUT_OF_RANGE";
    case grpc::StatusCode::UNIMPLEMENTED: return "UNIMPLEMENTED";
    case grpc::StatusCode::INTERNAL: return "INTERNAL";
    case grpc::StatusCode::UNAVAILABLE: return "UNAVAILABLE";
    case grpc::StatusCode::DATA_LOSS: return "DATA_LOSS";
    default: break;
    }
    return "?";
}

QString oversized(const std::string& text, const QString& call)
{
    // "Received message larger than max (N vs. M)"
    const size_t open = text.find('(');
    const long long size = open == std::string::npos ? 0 : std::atoll(text.c_str() + open + 1);
    if (size > 0)
        return QStringLiteral("A resposta do servidor de aplicação a %1 tem %2, acima do limite de %3 deste cliente; "
                              "ela foi recusada.")
            .arg(call, mebibytes(double(size)), mebibytes(kMaxReplyBytes));
    return QStringLiteral("A resposta do servidor de aplicação a %1 passa do limite de %2 deste cliente; ela foi "
                          "recusada.")
        .arg(call, mebibytes(kMaxReplyBytes));
}

} // namespace

QString ConnectFailed(grpc::Channel& channel, const Where& where)
{
    // A method no server implements: should the channel have come up meanwhile, the call reaches no
    // module and leaves no trace in the server's log.
    static const grpc::internal::RpcMethod probe("/kpd.rpc.RemoteDataModule/-", grpc::internal::RpcMethod::NORMAL_RPC);
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(2));
    kpd::rpc::InvokeRequest request;
    kpd::rpc::InvokeReply reply;
    const grpc::Status status = grpc::internal::BlockingUnaryCall(&channel, probe, &context, request, &reply);
    return QStringLiteral("Não foi possível conectar ao servidor de aplicação %1: %2.")
        .arg(where.address, reasonOf(faultOf(status.error_message()), where, true));
}

QString ConnectTimedOut(const Where& where, qint64 elapsedMs)
{
    return QStringLiteral("Não foi possível conectar ao servidor de aplicação %1: o servidor não respondeu em %2 s.")
        .arg(where.address, seconds(elapsedMs));
}

QString CallFailed(const grpc::Status& status, const Where& where, const QString& call, qint64 elapsedMs,
                   int deadlineMs)
{
    const std::string& text = status.error_message();
    switch (status.error_code()) {
    case grpc::StatusCode::DEADLINE_EXCEEDED:
        // The server (or a proxy on the way) may give up before the client does: say which happened.
        if (elapsedMs + 100 < deadlineMs)
            return QStringLiteral("O servidor de aplicação encerrou %1 por prazo esgotado após %2 s (o prazo desta "
                                  "chamada era de %3 s).")
                .arg(call, seconds(elapsedMs), seconds(deadlineMs));
        return QStringLiteral("O servidor de aplicação não respondeu em %1 s (prazo desta chamada: %2 s).")
            .arg(seconds(elapsedMs), seconds(deadlineMs));
    case grpc::StatusCode::RESOURCE_EXHAUSTED:
        if (text.rfind("Received message larger than max", 0) == 0)
            return oversized(text, call);
        return QStringLiteral("O servidor de aplicação está sobrecarregado; tente novamente em instantes.");
    case grpc::StatusCode::UNAVAILABLE:
        return QStringLiteral("A conexão com o servidor de aplicação %1 foi perdida: %2.")
            .arg(where.address, reasonOf(faultOf(text), where, false));
    case grpc::StatusCode::CANCELLED:
        return QStringLiteral("O servidor de aplicação %1 cancelou %2 (ele pode estar sendo encerrado); tente "
                              "novamente em instantes.")
            .arg(where.address, call);
    case grpc::StatusCode::UNIMPLEMENTED:
        if (text.rfind("No message returned", 0) == 0)
            return QStringLiteral("O servidor de aplicação devolveu uma resposta malformada a %1: não foi possível "
                                  "lê-la.")
                .arg(call);
        return QStringLiteral("O servidor em %1 não atende %2: não é um servidor de aplicação compatível.")
            .arg(where.address, call);
    case grpc::StatusCode::NOT_FOUND:
    case grpc::StatusCode::INVALID_ARGUMENT:
    case grpc::StatusCode::INTERNAL:
    case grpc::StatusCode::FAILED_PRECONDITION:
    case grpc::StatusCode::PERMISSION_DENIED:
    case grpc::StatusCode::UNAUTHENTICATED:
        // The codes whose text the application server writes for the user (docs/protocol.md).
        if (!text.empty() && !isTransportText(text))
            return QStringLiteral("O servidor de aplicação recusou %1: %2")
                .arg(call, WireText::Printable(QString::fromUtf8(text.data(), qsizetype(text.size())), 500));
        break;
    default: break;
    }
    return QStringLiteral("A chamada %1 ao servidor de aplicação %2 falhou (código gRPC %3).")
        .arg(call, where.address, QLatin1String(codeName(status.error_code())));
}

} // namespace RemoteFailure
