#include "remotecallclient.h"

#include "exceptions.h"
#include "packetcodec.h"
#include "remotefailure.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <chrono>
#include <map>

#include <grpcpp/grpcpp.h>

#include "kpd.grpc.pb.h"

namespace {

constexpr int kDefaultCallTimeoutMs = 30000;
constexpr int kDefaultConnectTimeoutMs = 5000;
// A reply above this is refused unread rather than decoded into memory (see RemoteFailure).
constexpr int kMaxMessageBytes = RemoteFailure::kMaxReplyBytes;

std::atomic<int> g_callTimeoutMs{kDefaultCallTimeoutMs};
std::atomic<int> g_connectTimeoutMs{kDefaultConnectTimeoutMs};
QMutex g_tlsMutex;
QString g_tlsCaFile;
QString g_tlsCertFile;
QString g_tlsKeyFile;

std::string toStd(const QString& s)
{
    const QByteArray utf8 = s.toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}

std::chrono::system_clock::time_point after(int ms)
{
    return std::chrono::system_clock::now() + std::chrono::milliseconds(ms);
}


// The contents of a PEM file of the TLS set-up; an empty file is refused, not taken for "none" (an empty
// authority would trust every public one).
std::string readPem(const QString& path, const QString& what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ERemoteError(QStringLiteral("Não foi possível ler %1 %2.").arg(what, path));
    const QByteArray pem = file.readAll();
    if (pem.trimmed().isEmpty())
        throw ERemoteError(QStringLiteral("O arquivo %1 (%2) está vazio.").arg(path, what));
    return std::string(pem.constData(), static_cast<size_t>(pem.size()));
}

// gRPC connects lazily: drives the channel until it is ready. False as soon as it reports a failure
// (rather than letting it retry until the deadline) or when the deadline passes.
bool WaitUntilReady(grpc::Channel& channel, std::chrono::system_clock::time_point deadline)
{
    grpc_connectivity_state state = channel.GetState(true);
    while (state != GRPC_CHANNEL_READY) {
        if (state == GRPC_CHANNEL_TRANSIENT_FAILURE || state == GRPC_CHANNEL_SHUTDOWN)
            return false;
        if (!channel.WaitForStateChange(state, deadline))
            return false;
        state = channel.GetState(true);
    }
    return true;
}

// The process's channels by address and TLS files. Never destroyed: channels torn down during static
// destruction would race gRPC's own shutdown; the process's end closes their sockets.
class ChannelCache {
public:
    static std::shared_ptr<grpc::Channel> Find(const std::string& key)
    {
        QMutexLocker lock(&mutex());
        const auto it = map().find(key);
        return it == map().end() ? nullptr : it->second;
    }
    static void Keep(const std::string& key, std::shared_ptr<grpc::Channel> channel)
    {
        QMutexLocker lock(&mutex());
        map()[key] = std::move(channel);
    }
    static void Forget(const std::string& key, const std::shared_ptr<grpc::Channel>& channel)
    {
        QMutexLocker lock(&mutex());
        const auto it = map().find(key);
        if (it != map().end() && it->second == channel)
            map().erase(it);
    }

private:
    static QMutex& mutex()
    {
        static QMutex* m = new QMutex;
        return *m;
    }
    static std::map<std::string, std::shared_ptr<grpc::Channel>>& map()
    {
        static auto* m = new std::map<std::string, std::shared_ptr<grpc::Channel>>;
        return *m;
    }
};

} // namespace

struct TRemoteCallClient::Link {
    std::shared_ptr<grpc::Channel> channel;
    std::unique_ptr<kpd::rpc::RemoteDataModule::Stub> stub;
};

TRemoteCallClient::TRemoteCallClient() = default;
TRemoteCallClient::~TRemoteCallClient() = default;

int TRemoteCallClient::DefaultCallTimeoutMs() { return g_callTimeoutMs.load(); }
void TRemoteCallClient::SetDefaultCallTimeoutMs(int ms) { g_callTimeoutMs = ms > 0 ? ms : kDefaultCallTimeoutMs; }
int TRemoteCallClient::ConnectTimeoutMs() { return g_connectTimeoutMs.load(); }
void TRemoteCallClient::SetConnectTimeoutMs(int ms) { g_connectTimeoutMs = ms > 0 ? ms : kDefaultConnectTimeoutMs; }

QString TRemoteCallClient::TlsCaFile()
{
    QMutexLocker lock(&g_tlsMutex);
    return g_tlsCaFile;
}

void TRemoteCallClient::SetTlsCaFile(const QString& path)
{
    QMutexLocker lock(&g_tlsMutex);
    g_tlsCaFile = path;
}

QString TRemoteCallClient::TlsCertFile()
{
    QMutexLocker lock(&g_tlsMutex);
    return g_tlsCertFile;
}

QString TRemoteCallClient::TlsKeyFile()
{
    QMutexLocker lock(&g_tlsMutex);
    return g_tlsKeyFile;
}

void TRemoteCallClient::SetTlsClientCertificate(const QString& certPath, const QString& keyPath)
{
    QMutexLocker lock(&g_tlsMutex);
    g_tlsCertFile = certPath;
    g_tlsKeyFile = keyPath;
}

int TRemoteCallClient::EffectiveCallTimeoutMs() const
{
    return m_callTimeoutMs > 0 ? m_callTimeoutMs : DefaultCallTimeoutMs();
}

QString TRemoteCallClient::Address() const
{
    // An IPv6 literal needs brackets before the port.
    const bool v6 = m_host.contains(QLatin1Char(':')) && !m_host.startsWith(QLatin1Char('['));
    return (v6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(m_host).arg(m_port);
}

bool TRemoteCallClient::Connected() const { return m_link != nullptr; }

void TRemoteCallClient::Disconnect() { m_link.reset(); }

void TRemoteCallClient::Connect()
{
    m_link.reset();
    const QString address = Address();
    if (m_host.trimmed().isEmpty() || m_port <= 0 || m_port > 65535)
        throw ERemoteError(QStringLiteral("Não foi possível conectar ao servidor de aplicação %1: endereço inválido.")
                               .arg(address));

    std::shared_ptr<grpc::ChannelCredentials> credentials;
    const QString caFile = TlsCaFile();
    const RemoteFailure::Where where{m_host, address, !caFile.isEmpty()};
    if (caFile.isEmpty()) {
        credentials = grpc::InsecureChannelCredentials();
    } else {
        grpc::SslCredentialsOptions options;
        options.pem_root_certs = readPem(caFile, QStringLiteral("o certificado da autoridade certificadora"));
        const QString certFile = TlsCertFile();
        if (!certFile.isEmpty()) {
            options.pem_cert_chain = readPem(certFile, QStringLiteral("o certificado do cliente"));
            options.pem_private_key = readPem(TlsKeyFile(), QStringLiteral("a chave do certificado do cliente"));
        }
        credentials = grpc::SslCredentials(options);
    }

    // One channel per address and TLS set-up for the life of the process: a connect after the first finds
    // its TCP, TLS and HTTP/2 handshakes done. A cached channel that is not usable at once may be a
    // subchannel still backing off from an earlier refusal, which would fail a connect to a server that
    // has come up since: it is dropped and the connect tried once more on a new channel.
    const std::string key = toStd(address + QLatin1Char('\n') + caFile + QLatin1Char('\n') + TlsCertFile()
                                  + QLatin1Char('\n') + TlsKeyFile());
    const auto deadline = after(ConnectTimeoutMs());
    QElapsedTimer waited;
    waited.start();
    std::shared_ptr<grpc::Channel> channel = ChannelCache::Find(key);
    if (channel && !WaitUntilReady(*channel, deadline)) {
        ChannelCache::Forget(key, channel);
        channel.reset();
    }
    if (!channel) {
        grpc::ChannelArguments arguments;
        // Subchannels of its own: one shared with an earlier, refused channel would inherit its back-off.
        arguments.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
        arguments.SetMaxReceiveMessageSize(kMaxMessageBytes);
        arguments.SetMaxSendMessageSize(kMaxMessageBytes);
        channel = grpc::CreateCustomChannel(toStd(address), credentials, arguments);
        if (!WaitUntilReady(*channel, deadline)) {
            if (channel->GetState(false) == GRPC_CHANNEL_TRANSIENT_FAILURE || channel->GetState(false) == GRPC_CHANNEL_SHUTDOWN)
                throw ERemoteError(RemoteFailure::ConnectFailed(*channel, where));
            throw ERemoteError(RemoteFailure::ConnectTimedOut(where, waited.elapsed()));
        }
        ChannelCache::Keep(key, channel);
    }

    auto link = std::make_unique<Link>();
    link->stub = kpd::rpc::RemoteDataModule::NewStub(channel);
    link->channel = std::move(channel);
    m_link = std::move(link);
}

QVariant TRemoteCallClient::Invoke(const QString& serverName, const QString& method, QVariantList& args)
{
    if (!m_link)
        throw ERemoteError(QStringLiteral("Não há conexão aberta com o servidor de aplicação."));

    kpd::rpc::InvokeRequest request;
    request.set_server_name(toStd(serverName));
    request.set_method(toStd(method));
    for (int i = 0; i < args.size(); ++i) {
        try {
            PacketCodec::EncodeVariant(args[i], request.add_args());
        } catch (const WireError& e) {
            throw ERemoteError(QStringLiteral("Argumento %1 de %2: %3").arg(i + 1).arg(method, e.Message()));
        }
    }

    const int timeoutMs = EffectiveCallTimeoutMs();
    grpc::ClientContext context;
    context.set_deadline(after(timeoutMs));
    kpd::rpc::InvokeReply reply;
    QElapsedTimer elapsed;
    elapsed.start();
    const grpc::Status status = m_link->stub->Invoke(&context, request, &reply);
    if (!status.ok())
        throw ERemoteError(RemoteFailure::CallFailed(status, {m_host, Address(), !TlsCaFile().isEmpty()},
                                                     serverName + QLatin1Char('.') + method, elapsed.elapsed(),
                                                     timeoutMs));

    // Decode everything before touching the caller's arguments, so a malformed reply changes nothing.
    if (reply.args_size() != args.size())
        throw ERemoteError(QStringLiteral("O servidor de aplicação devolveu %1 argumentos em %2; esperados %3.")
                               .arg(reply.args_size())
                               .arg(method)
                               .arg(args.size()));
    QVariant result;
    try {
        result = PacketCodec::DecodeVariant(reply.result());
    } catch (const WireError& e) {
        throw ERemoteError(e.Message());
    }
    QVariantList returned;
    returned.reserve(args.size());
    for (int i = 0; i < reply.args_size(); ++i) {
        try {
            returned.append(PacketCodec::DecodeVariant(reply.args(i)));
        } catch (const WireError& e) {
            throw ERemoteError(QStringLiteral("Argumento %1 de %2: %3").arg(i + 1).arg(method, e.Message()));
        }
    }
    args = std::move(returned);
    return result;
}
