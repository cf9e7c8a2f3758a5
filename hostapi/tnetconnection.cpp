#include "tnetconnection.h"

#include "eventboundary.h"

#include "exceptions.h"
#include "remotecallclient.h"

TNetConnection::TNetConnection(QObject* owner) : QObject(owner), m_client(std::make_unique<TRemoteCallClient>()) {}

TNetConnection::~TNetConnection() = default;

QString TNetConnection::Host() const { return m_client->Host(); }
void TNetConnection::SetHost(const QString& host) { m_client->SetHost(host); }
int TNetConnection::Port() const { return m_client->Port(); }
void TNetConnection::SetPort(int port) { m_client->SetPort(port); }
int TNetConnection::CallTimeoutMs() const { return m_client->CallTimeoutMs(); }
void TNetConnection::SetCallTimeoutMs(int ms) { m_client->SetCallTimeoutMs(ms); }

bool TNetConnection::Connected() const { return m_client->Connected(); }

void TNetConnection::SetConnected(bool on)
{
    if (on == Connected())
        return;
    if (!on) {
        m_client->Disconnect();
        return;
    }
    const int failures = HandlerFailures();
    emit BeforeConnect(this);
    if (HandlerFailures() != failures)
        throw EAbort(); // the boundary has told the user already
    m_client->Connect();
}

TAppServer* TNetConnection::AppServer()
{
    if (!Connected())
        throw ERemoteError(QStringLiteral("A conexão com o servidor de aplicação %1 não está aberta.")
                               .arg(m_client->Address()));
    return &m_appServer;
}

QVariant TNetConnection::Invoke(const QString& method, QVariantList& args)
{
    if (!Connected())
        throw ERemoteError(QStringLiteral("A conexão com o servidor de aplicação %1 não está aberta.")
                               .arg(m_client->Address()));
    return m_client->Invoke(m_serverName, method, args);
}
