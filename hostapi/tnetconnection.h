#pragma once

#include "tappserver.h"

#include <QObject>
#include <memory>

class TRemoteCallClient;

// Connection to one remote data module of the application server.
//  - Switching Connected on from off runs BeforeConnect (sender: the connection), then opens the link with
//    the Host and Port as they are after the event. A failed open raises ERemoteError and leaves the
//    connection off. Switching to the state it already has does nothing and raises no event.
//  - AppServer() is usable as soon as Connected is on; calls through it block until the server answers
//    or the call deadline (30 s unless the host set another) expires.
//  - ThrowException is a stored setting: a failure to connect or to call is always raised, whatever its
//    value, since nothing that needs the server may go on as if connected.
class TNetConnection : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString ServerName READ ServerName WRITE SetServerName)
    Q_PROPERTY(QString Host READ Host WRITE SetHost)
    Q_PROPERTY(int Port READ Port WRITE SetPort)
    Q_PROPERTY(bool ThrowException READ ThrowException WRITE SetThrowException)
    Q_PROPERTY(bool Connected READ Connected WRITE SetConnected STORED false)
public:
    explicit TNetConnection(QObject* owner = nullptr);
    ~TNetConnection() override;

    QString ServerName() const { return m_serverName; }
    void SetServerName(const QString& name) { m_serverName = name; }
    QString Host() const;
    void SetHost(const QString& host);
    int Port() const;
    void SetPort(int port);
    bool ThrowException() const { return m_throwException; }
    void SetThrowException(bool on) { m_throwException = on; }

    // Deadline of each call in milliseconds; 0 uses the process-wide default.
    int CallTimeoutMs() const;
    void SetCallTimeoutMs(int ms);

    bool Connected() const;
    void SetConnected(bool on);

    // The remote data module. Throws ERemoteError when the connection is not open.
    TAppServer* AppServer();

    // Late-bound call on the module named ServerName; used by TAppServer.
    QVariant Invoke(const QString& method, QVariantList& args);

signals:
    // Emitted while switching Connected on, before the link opens. A handler that fails (inside the
    // boundary) stops the opening: SetConnected then ends by EAbort and the connection stays off.
    void BeforeConnect(QObject* sender);

private:
    QString m_serverName;
    bool m_throwException = true;
    std::unique_ptr<TRemoteCallClient> m_client;
    TAppServer m_appServer{this};
};
