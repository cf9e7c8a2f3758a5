#include "httpendpoint.h"

#include "databasepool.h"
#include "healthmonitor.h"
#include "httpface.h"
#include "httpoptions.h"
#include "serverlog.h"
#include "serveroptions.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace appserver {

namespace {

// The service account's password: from its file (readable by no one but the server's user and group) or
// from the environment, which is then cleared; never from the command line, which ps shows everyone.
bool ldapServicePassword(const HttpOptions& http, QByteArray& password, QString& error)
{
    if (http.ldapBindPasswordFile.isEmpty()) {
        password = qgetenv("KPD_LDAP_BIND_PASSWORD");
        qunsetenv("KPD_LDAP_BIND_PASSWORD");
        return true;
    }
    QFile file(http.ldapBindPasswordFile);
    struct stat st {};
    if (!file.open(QIODevice::ReadOnly) || fstat(file.handle(), &st) != 0) {
        error = QStringLiteral("Não foi possível ler a senha da conta de serviço do diretório \"%1\": %2.")
                    .arg(http.ldapBindPasswordFile, file.errorString());
        return false;
    }
    if (st.st_mode & (S_IROTH | S_IWOTH | S_IWGRP)) {
        error = QStringLiteral("Recusado: a senha da conta de serviço do diretório \"%1\" pode ser lida ou alterada por "
                               "outros usuários da máquina (permissões %2). Use chmod 640 ou 600.")
                    .arg(http.ldapBindPasswordFile)
                    .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
        return false;
    }
    password = file.readLine();
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    return true;
}

bool configureDirectory(const HttpOptions& http, DirectoryAccounts& directory, QString& error)
{
    if (http.ldap.isEmpty())
        return true;
    DirectoryAccounts::Settings settings;
    settings.uri = http.ldap;
    settings.base = http.ldapBase;
    settings.filter = http.ldapFilter;
    settings.bindDnPattern = http.ldapBindDn;
    settings.serviceDn = http.ldapBindUser;
    settings.group = http.ldapGroup;
    settings.caFile = http.ldapCa;
    settings.timeout = std::chrono::milliseconds(http.ldapTimeoutMs);
    if (!settings.serviceDn.isEmpty() && !ldapServicePassword(http, settings.servicePassword, error))
        return false;
    return directory.configure(settings, error);
}

} // namespace

HttpEndpoint::HttpEndpoint(const ServerOptions& options, const HttpOptions& http) : m_options(options), m_http(http) {}

int HttpEndpoint::prepare()
{
    QString error;
    if (!m_http.users.isEmpty() && !m_users.load(m_http.users, error)) {
        ServerLog::fail(error);
        return 1;
    }
    if (!m_http.audit.isEmpty() && !m_audit.open(m_http.audit, error)) {
        ServerLog::fail(error);
        return 1;
    }
    if (!configureDirectory(m_http, m_directory, error)) {
        ServerLog::fail(error);
        return 2;
    }
    return 0;
}

bool HttpEndpoint::start(HttpFace& face, HealthMonitor& health, const DatabasePool& pool, int descriptorBudget)
{
    const QString httpListen = m_http.http.isEmpty() ? m_http.metricsOnly : m_http.http;
    if (httpListen.isEmpty())
        return true;
    HttpFace::Setup setup;
    setup.listen = httpListen;
    setup.metricsOnly = m_http.http.isEmpty();
    setup.tlsCert = m_options.tlsCert;
    setup.tlsKey = m_options.tlsKey;
    setup.users = m_http.users.isEmpty() ? nullptr : &m_users;
    setup.callDeadline = std::chrono::milliseconds(m_http.callDeadlineMs);
    // Browsers share the descriptors above gRPC's silent connections with them: half each at most.
    setup.connections = unsigned(std::max(64, descriptorBudget / 2));
    setup.connectionsPerAddress = unsigned(m_http.connectionsPerAddress);
    setup.callWorkers = pool.size() + 4;
    setup.callQueue = pool.maxQueued();
    setup.health = [&health] { return health.report(); };
    setup.audit = m_http.audit.isEmpty() ? nullptr : &m_audit;
    setup.directory = m_directory.isConfigured() ? &m_directory : nullptr;
    setup.warn = ServerLog::fail;
    setup.report = [](const QString& message) {
        ServerLog::fail(QStringLiteral("%1 Os usuários lidos antes continuam valendo.").arg(message));
    };
    QString error;
    if (!face.start(setup, error)) {
        ServerLog::fail(error);
        return false;
    }
    return true;
}

void HttpEndpoint::reload()
{
    QString error;
    if (!m_audit.reopen(error))
        ServerLog::fail(QStringLiteral("%1 A auditoria continua no arquivo aberto antes.").arg(error));
    if (m_http.users.isEmpty())
        return;
    if (m_users.refresh(error, true))
        std::fprintf(stderr, "kpd-appserver: arquivo de usuários %s relido: %d usuários\n",
                     m_http.users.toUtf8().constData(), m_users.count());
    else
        ServerLog::fail(QStringLiteral("%1 Os usuários lidos antes continuam valendo.").arg(error));
}

} // namespace appserver
