#include "httpoptions.h"

#include "serveroptions.h"

#include <QRegularExpression>

namespace appserver {

bool HttpOptions::extract(QStringList& args, HttpOptions& out, QString& error)
{
    static const QRegularExpression hostPort(QStringLiteral(R"(^(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9.-]+):([0-9]{1,5})$)"));
    out = HttpOptions();
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--http-deadline")) {
            bool ok = false;
            const double seconds = i + 1 < args.size() ? args[i + 1].toDouble(&ok) : 0;
            const int ms = ok ? int(seconds * 1000 + 0.5) : 0;
            if (ms < 1 || ms > ServerOptions::kStatementTimeoutMs) {
                error = QStringLiteral("--http-deadline precisa de um número de segundos, maior que zero e de até %1.")
                            .arg(ServerOptions::kStatementTimeoutMs / 1000);
                return false;
            }
            out.callDeadlineMs = ms;
            ++i;
            continue;
        }
        if (arg == QLatin1String("--ldap-timeout")) {
            bool ok = false;
            const double seconds = i + 1 < args.size() ? args[i + 1].toDouble(&ok) : 0;
            const int ms = ok ? int(seconds * 1000 + 0.5) : 0;
            if (ms < 100 || ms > 60000) {
                error = QStringLiteral("--ldap-timeout precisa de um número de segundos, de 0,1 a 60.");
                return false;
            }
            out.ldapTimeoutMs = ms;
            ++i;
            continue;
        }
        if (arg == QLatin1String("--ldap-bind-password")) {
            error = QStringLiteral("A senha da conta de serviço não vai na linha de comando, onde outros usuários da máquina "
                                   "a leriam: use --ldap-bind-password-file ARQUIVO ou a variável KPD_LDAP_BIND_PASSWORD.");
            return false;
        }
        if (arg == QLatin1String("--http-per-address")) {
            bool ok = false;
            const int n = i + 1 < args.size() ? args[i + 1].toInt(&ok) : 0;
            if (!ok || n < 1 || n > 100000) {
                error = QStringLiteral("--http-per-address precisa de um número de conexões, de 1 a 100000.");
                return false;
            }
            out.connectionsPerAddress = n;
            ++i;
            continue;
        }
        QString* target = arg == QLatin1String("--http")           ? &out.http
                          : arg == QLatin1String("--metrics-only") ? &out.metricsOnly
                          : arg == QLatin1String("--users")        ? &out.users
                          : arg == QLatin1String("--add-user")     ? &out.addUser
                          : arg == QLatin1String("--remove-user")  ? &out.removeUser
                          : arg == QLatin1String("--audit")        ? &out.audit
                          : arg == QLatin1String("--ldap")         ? &out.ldap
                          : arg == QLatin1String("--ldap-base")    ? &out.ldapBase
                          : arg == QLatin1String("--ldap-filter")  ? &out.ldapFilter
                          : arg == QLatin1String("--ldap-bind-dn") ? &out.ldapBindDn
                          : arg == QLatin1String("--ldap-bind-user") ? &out.ldapBindUser
                          : arg == QLatin1String("--ldap-bind-password-file") ? &out.ldapBindPasswordFile
                          : arg == QLatin1String("--ldap-group")   ? &out.ldapGroup
                          : arg == QLatin1String("--ldap-ca")      ? &out.ldapCa
                                                                   : nullptr;
        if (!target) {
            rest << arg;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = QStringLiteral("A opção %1 precisa de um valor.").arg(arg);
            return false;
        }
        *target = args[++i];
        if ((target == &out.http || target == &out.metricsOnly)
            && (!hostPort.match(*target).hasMatch() || hostPort.match(*target).captured(2).toInt() > 65535)) {
            error = QStringLiteral("Endereço inválido em %1: \"%2\" (use HOST:PORTA).").arg(arg, *target);
            return false;
        }
    }
    if (!out.http.isEmpty() && !out.metricsOnly.isEmpty()) {
        error = QStringLiteral("--metrics-only é para quando não se quer --http, que já serve /metrics; use só um dos dois.");
        return false;
    }
    for (const auto& [option, value] : {std::pair{"--add-user", &out.addUser}, std::pair{"--remove-user", &out.removeUser}}) {
        if (!value->isEmpty() && out.users.isEmpty()) {
            error = QStringLiteral("%1 precisa de --users ARQUIVO, o arquivo de usuários a alterar.").arg(QLatin1String(option));
            return false;
        }
    }
    if (!out.addUser.isEmpty() && !out.removeUser.isEmpty()) {
        error = QStringLiteral("Use --add-user ou --remove-user, um de cada vez.");
        return false;
    }
    if (!out.users.isEmpty() && out.addUser.isEmpty() && out.removeUser.isEmpty() && out.http.isEmpty()
        && out.metricsOnly.isEmpty()) {
        error = QStringLiteral("--users vale para --http ou --metrics-only (ou --add-user, --remove-user).");
        return false;
    }
    const bool ldapDetails = !(out.ldapBase + out.ldapFilter + out.ldapBindDn + out.ldapBindUser + out.ldapBindPasswordFile
                               + out.ldapGroup + out.ldapCa)
                                  .isEmpty();
    if (ldapDetails && out.ldap.isEmpty()) {
        error = QStringLiteral("As opções --ldap-... precisam de --ldap URI, o endereço do diretório.");
        return false;
    }
    if (!out.ldap.isEmpty() && out.http.isEmpty() && out.metricsOnly.isEmpty()) {
        error = QStringLiteral("--ldap vale para --http ou --metrics-only.");
        return false;
    }
    if (!out.audit.isEmpty() && out.http.isEmpty()) {
        error = QStringLiteral("--audit registra o que se vê pelo navegador: use-o com --http.");
        return false;
    }
    args = rest;
    return true;
}

QString HttpOptions::usage()
{
    return QStringLiteral(
        "\n"
        "  Navegador e métricas (com --db):\n"
        "  --http HOST:PORTA    serve o painel no navegador (/), os dados (/api/cockpit?month=AAAA-MM)\n"
        "                       e /metrics; fora do endereço local exige --tls-cert, --tls-key e\n"
        "                       --users ou --ldap\n"
        "  --metrics-only HOST:PORTA\n"
        "                       serve só /metrics (formato do Prometheus)\n"
        "  --users ARQUIVO      usuários que podem entrar; sem ele o painel só abre no endereço local\n"
        "  --ldap URI           também confere as senhas no diretório da empresa: ldaps://SERVIDOR, ou\n"
        "                       ldap://SERVIDOR com StartTLS (sem TLS só no endereço local); um nome\n"
        "                       que está em --users entra pela senha de lá\n"
        "  --ldap-base DN --ldap-filter FILTRO\n"
        "                       onde e como achar o usuário; %s no filtro é o nome digitado, por\n"
        "                       exemplo (&(objectClass=inetOrgPerson)(uid=%s))\n"
        "  --ldap-bind-dn PADRAO\n"
        "                       em vez da busca, o DN do usuário, como uid=%s,ou=pessoas,dc=empresa,dc=br\n"
        "  --ldap-bind-user DN  conta de serviço que faz a busca (sem ela, busca anônima); sua senha vem\n"
        "                       de --ldap-bind-password-file ARQUIVO ou de KPD_LDAP_BIND_PASSWORD\n"
        "  --ldap-group DN      só os membros deste grupo (atributo member) entram; lido a cada entrada\n"
        "  --ldap-ca ARQUIVO    autoridade certificadora do diretório (PEM)\n"
        "  --ldap-timeout SEGUNDOS\n"
        "                       prazo de cada chamada ao diretório (padrão %4)\n"
        "  --audit ARQUIVO      registra neste arquivo, uma linha por evento, cada entrada (quem, de onde,\n"
        "                       como, aceita ou recusada e por quê), saída e fim de sessão, cada mês ou\n"
        "                       regional vista e cada lista baixada; nunca uma senha. SIGHUP o reabre\n"
        "  --http-deadline SEGUNDOS\n"
        "                       prazo de cada mês pedido pelo navegador (padrão %1; no máximo %2, o\n"
        "                       limite de cada consulta ao banco); passado o prazo, a consulta é\n"
        "                       interrompida e a conexão volta ao pool\n"
        "  --http-per-address N conexões que um mesmo endereço pode manter abertas (padrão %3; atrás de\n"
        "                       um proxy, todas vêm do endereço dele)\n"
        "  kpd-appserver --add-user NOME --users ARQUIVO\n"
        "                       inclui o usuário (ou troca sua senha), lendo a senha da entrada padrão\n"
        "  kpd-appserver --remove-user NOME --users ARQUIVO\n"
        "                       retira o usuário; suas sessões terminam no servidor em execução\n"
        "  O arquivo de usuários é relido quando muda (e com SIGHUP): uma senha trocada vale na hora e\n"
        "  as sessões do usuário terminam.\n"
        "\n"
        "Exemplos:\n"
        "  kpd-appserver --init-demo demo.db\n"
        "  kpd-appserver --db demo.db --listen 127.0.0.1:2113 --http 127.0.0.1:8080\n"
        "  kpd-appserver --import /srv/carga --db /var/lib/kpd-appserver/kpd.db\n")
        .arg(kDefaultCallDeadlineMs / 1000)
        .arg(ServerOptions::kStatementTimeoutMs / 1000)
        .arg(kDefaultConnectionsPerAddress)
        .arg(kDefaultLdapTimeoutMs / 1000);
}

} // namespace appserver
