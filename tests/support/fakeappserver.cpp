#include "fakeappserver.h"

#include <set>

#include "packetcodec.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class FakeAppServer::Service final : public kpd::rpc::RemoteDataModule::Service {
public:
    grpc::Status Invoke(grpc::ServerContext* context, const kpd::rpc::InvokeRequest* request,
                        kpd::rpc::InvokeReply* reply) override
    {
        Handler handler;
        {
            std::lock_guard lock(mutex);
            ++calls;
            peers.insert(context->peer());
            last = *request;
            handler = this->handler;
        }
        return handler ? handler(*request, reply) : echo(*request, reply);
    }

    mutable std::mutex mutex;
    Handler handler;
    int calls = 0;
    std::set<std::string> peers;
    kpd::rpc::InvokeRequest last;
};

int FakeAppServer::connections() const
{
    std::lock_guard lock(m_service->mutex);
    return static_cast<int>(m_service->peers.size());
}

FakeAppServer::FakeAppServer(Handler handler, std::shared_ptr<grpc::ServerCredentials> credentials)
    : m_service(std::make_unique<Service>())
{
    m_service->handler = std::move(handler);
    grpc::ServerBuilder builder;
    builder.AddListeningPort("127.0.0.1:0", credentials ? credentials : grpc::InsecureServerCredentials(), &m_port);
    builder.RegisterService(m_service.get());
    m_server = builder.BuildAndStart();
}

FakeAppServer::~FakeAppServer() { stop(); }

void FakeAppServer::stop()
{
    if (!m_server)
        return;
    // Calls still sleeping in a handler are cancelled rather than awaited.
    m_server->Shutdown(std::chrono::system_clock::now() + std::chrono::milliseconds(100));
    m_server->Wait();
    m_server.reset();
}

void FakeAppServer::setHandler(Handler handler)
{
    std::lock_guard lock(m_service->mutex);
    m_service->handler = std::move(handler);
}

int FakeAppServer::calls() const
{
    std::lock_guard lock(m_service->mutex);
    return m_service->calls;
}

kpd::rpc::InvokeRequest FakeAppServer::lastRequest() const
{
    std::lock_guard lock(m_service->mutex);
    return m_service->last;
}

grpc::Status FakeAppServer::echo(const kpd::rpc::InvokeRequest& request, kpd::rpc::InvokeReply* reply)
{
    reply->mutable_result()->set_int_value(0);
    *reply->mutable_args() = request.args();
    return grpc::Status::OK;
}

grpc::Status MakeCkpReply(kpd::rpc::InvokeReply* reply, const QVariant& result, const QVariant& date,
                          const QVector<QVariant>& packets7)
{
    PacketCodec::EncodeVariant(result, reply->mutable_result());
    PacketCodec::EncodeVariant(date, reply->add_args());
    for (int i = 0; i < 7; ++i)
        PacketCodec::EncodeVariant(packets7.value(i), reply->add_args());
    return grpc::Status::OK;
}

TDataPacket MakePacket(const QStringList& stringFields, const QStringList& floatFields,
                       const QVector<QVector<QVariant>>& rows)
{
    TDataPacket p;
    for (const QString& f : stringFields)
        p.fields.append({f, TFieldType::ftString, 30, false});
    for (const QString& f : floatFields)
        p.fields.append({f, TFieldType::ftFloat, 0, false});
    p.rows = rows;
    return p;
}

QVector<QVariant> SampleCkpPackets()
{
    const TDataPacket indicadores =
        MakePacket({"CDAREAGERE", "DTULTATUETL"}, {"QTFILIAIS", "VRFATLIQGER", "CONSUMO", "MDO", "DESPESAS", "RESULTADO"},
                   {{"TOTAL", "02/03/2026", 3.0, 4.5, 40.0, 20.0, 10.0, 30.0},
                    {"SUL", "02/03/2026", 2.0, 3.0, 41.0, 21.0, 11.0, 27.0},
                    {"NOR", "02/03/2026", 1.0, 1.5, 38.0, 18.0, 8.0, 36.0}});
    const TDataPacket top = MakePacket({"CDAREAGERE", "NMFILIAL"}, {"RESULTADO", "ROWNUM"},
                                       {{"NOR", "Filial Norte", 12.34, 1.0}, {"SUL", "Filial Sul", 5.0, 2.0}});
    const TDataPacket bottom = MakePacket({"CDAREAGERE", "NMFILIAL"}, {"RESULTADO", "ROWNUM"},
                                          {{"SUL", "Filial Sul", -3.5, 1.0}});
    const TDataPacket pizza = MakePacket({"CDAREAGERE"}, {"VRFATLIQGER", "CUSTO", "RESULTADO"},
                                         {{"SUL", 3.0, 2.19, 0.81}, {"NOR", 1.5, 0.96, 0.54}});
    const TDataPacket dias = MakePacket({"CDAREAGERE", "NMFILIAL"}, {"ROWNUM", "DIASESTOQUE"},
                                        {{"SUL", "Filial Sul", 1.0, 45.0}});
    return {QVariant::fromValue(indicadores), QVariant::fromValue(top), QVariant::fromValue(bottom),
            QVariant::fromValue(pizza), QVariant(), QVariant(), QVariant::fromValue(dias)};
}

int ClosedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}
