#pragma once

// An in-process stand-in for kpd-appserver: a gRPC RemoteDataModule on a free loopback port whose answer
// each test scripts.

#include "datapacket.h"

#include <QVariantList>
#include <functional>
#include <memory>
#include <mutex>

#include <grpcpp/grpcpp.h>

#include "kpd.grpc.pb.h"

class FakeAppServer {
public:
    using Handler = std::function<grpc::Status(const kpd::rpc::InvokeRequest&, kpd::rpc::InvokeReply*)>;

    explicit FakeAppServer(Handler handler = {}, std::shared_ptr<grpc::ServerCredentials> credentials = {});
    ~FakeAppServer();

    int port() const { return m_port; }
    void setHandler(Handler handler);
    int calls() const;
    // Client connections (address and port) its calls came over.
    int connections() const;
    kpd::rpc::InvokeRequest lastRequest() const;
    void stop();

    // Echoes every argument and answers int 0: the shape of a successful call.
    static grpc::Status echo(const kpd::rpc::InvokeRequest& request, kpd::rpc::InvokeReply* reply);

private:
    class Service;
    std::unique_ptr<Service> m_service;
    std::unique_ptr<grpc::Server> m_server;
    int m_port = 0;
};

// A reply of getCkpData: the given result, the date and the eight packets (null entries stay unset).
grpc::Status MakeCkpReply(kpd::rpc::InvokeReply* reply, const QVariant& result, const QVariant& date,
                          const QVector<QVariant>& packets7);

// A packet with the given string and float columns; `rows` are given in the same column order.
TDataPacket MakePacket(const QStringList& stringFields, const QStringList& floatFields,
                       const QVector<QVector<QVariant>>& rows);

// The five packets of a small month, at argument positions 2..8 (index 0 = argument 2).
QVector<QVariant> SampleCkpPackets();

// A loopback port on which nothing listens (free a moment ago).
int ClosedLoopbackPort();
