// Sign-in against a real directory: Debian's slapd, started on loopback with a throwaway configuration,
// two people and a group. A member, a non-member, a wrong and an empty password, a name with the
// filter's and the DN's special characters, and the directory stopped or silent; each as the sign-in
// page sees it and as the audit record keeps it.
#include "directoryaccounts.h"
#include "refreshserver.h"
#include "serverprocess.h"
#include "testcertificates.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const kSuffix = "dc=kpd,dc=test";

const char* const kEntries = R"(dn: dc=kpd,dc=test
objectClass: dcObject
objectClass: organization
o: kpd
dc: kpd

dn: ou=pessoas,dc=kpd,dc=test
objectClass: organizationalUnit
ou: pessoas

dn: ou=grupos,dc=kpd,dc=test
objectClass: organizationalUnit
ou: grupos

dn: uid=ana,ou=pessoas,dc=kpd,dc=test
objectClass: inetOrgPerson
uid: ana
cn: Ana
sn: Souza
userPassword: senha-da-ana

dn: uid=beto,ou=pessoas,dc=kpd,dc=test
objectClass: inetOrgPerson
uid: beto
cn: Beto
sn: Lima
userPassword: senha-do-beto

dn: uid=c*(x)\5Cy,ou=pessoas,dc=kpd,dc=test
objectClass: inetOrgPerson
uid: c*(x)\y
cn: Caio
sn: Reis
userPassword: senha-do-caio

dn: cn=painel,ou=grupos,dc=kpd,dc=test
objectClass: groupOfNames
cn: painel
member: uid=ana,ou=pessoas,dc=kpd,dc=test
member: uid=c*(x)\5Cy,ou=pessoas,dc=kpd,dc=test
)";

// A socket listening on a free loopback port; its port in port. Nobody accepts on it: the kernel takes
// the connections, and nothing ever answers them.
int listenOnLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 16);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    port = ntohs(a.sin_port);
    return fd;
}

bool answers(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(quint16(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

class TestLdapSignIn : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    RefreshServer m_data;
    QProcess m_slapd;
    QByteArray m_slapdLog;
    ServerProcess m_server;   // searches as the service account
    ServerProcess m_pattern;  // binds by a DN pattern, beside a users file
    QString m_audit;
    int m_from = 0;   // each attempt from its own loopback address, so the throttle holds none back

    bool startSlapd(QString& why)
    {
        const QString slapd = QStandardPaths::findExecutable(QStringLiteral("slapd"), {QStringLiteral("/usr/sbin")});
        const QString slapadd = QStandardPaths::findExecutable(QStringLiteral("slapadd"), {QStringLiteral("/usr/sbin")});
        if (slapd.isEmpty() || slapadd.isEmpty()) {
            why = QStringLiteral("slapd is not installed");
            return false;
        }
        if (!m_certs.create(m_dir.path(), &why))
            return false;
        const QString conf = m_dir.filePath(QStringLiteral("slapd.conf")), db = m_dir.filePath(QStringLiteral("db"));
        QDir().mkpath(db);
        QFile c(conf), l(m_dir.filePath(QStringLiteral("entries.ldif")));
        c.open(QIODevice::WriteOnly);
        c.write(QStringLiteral("include /etc/ldap/schema/core.schema\ninclude /etc/ldap/schema/cosine.schema\n"
                               "include /etc/ldap/schema/inetorgperson.schema\npidfile %1/slapd.pid\n"
                               "TLSCertificateFile %4\nTLSCertificateKeyFile %5\n"
                               "modulepath /usr/lib/ldap\nmoduleload back_mdb\ndatabase mdb\nmaxsize 10485760\n"
                               "suffix \"%2\"\nrootdn \"cn=servico,%2\"\nrootpw senha-do-servico\ndirectory %3\n"
                               "access to attrs=userPassword by anonymous auth by * none\naccess to * by * read\n")
                    .arg(m_dir.path(), QLatin1String(kSuffix), db, m_certs.serverCert, m_certs.serverKey)
                    .toUtf8());
        c.close();
        l.open(QIODevice::WriteOnly);
        l.write(kEntries);
        l.close();
        QProcess add;
        add.start(slapadd, {"-q", "-f", conf, "-l", l.fileName()});
        if (!add.waitForFinished(30000) || add.exitCode() != 0) {
            why = QStringLiteral("slapadd failed: ") + QString::fromLocal8Bit(add.readAllStandardError());
            return false;
        }
        int port = 0, tlsPort = 0;
        const int a = listenOnLoopback(port), b = listenOnLoopback(tlsPort);
        ::close(a);
        ::close(b);
        // -d stats: in the foreground, each operation on standard error, so the test sees the binds.
        m_slapd.setProcessChannelMode(QProcess::MergedChannels);
        m_slapd.start(slapd, {"-f", conf, "-h", QStringLiteral("ldap://127.0.0.1:%1/ ldaps://127.0.0.1:%2/").arg(port).arg(tlsPort),
                              "-d", "stats"});
        for (QElapsedTimer t; !t.isValid() || t.elapsed() < 10000; t.isValid() ? void() : t.start()) {
            if (answers(port) && answers(tlsPort)) {
                m_port = port;
                m_tlsPort = tlsPort;
                return true;
            }
            if (m_slapd.state() == QProcess::NotRunning)
                break;
            QTest::qWait(100);
        }
        why = QStringLiteral("slapd did not start: ") + QString::fromLocal8Bit(m_slapd.readAll());
        return false;
    }
    int m_port = 0, m_tlsPort = 0;
    TestCertificates m_certs;

    // Found by a search as the service account, or (byPattern) bound by a DN pattern, beside the users file.
    QStringList ldapOptions(int port, bool byPattern = false) const
    {
        QStringList found = byPattern ? QStringList{"--ldap-bind-dn", QStringLiteral("uid=%s,ou=pessoas,%1").arg(kSuffix),
                                                    "--users", m_dir.filePath(QStringLiteral("usuarios"))}
                                      : QStringList{"--ldap-base", QStringLiteral("ou=pessoas,%1").arg(kSuffix), "--ldap-filter",
                                                    "(&(objectClass=inetOrgPerson)(uid=%s))", "--ldap-bind-user",
                                                    QStringLiteral("cn=servico,%1").arg(kSuffix), "--ldap-bind-password-file",
                                                    m_dir.filePath(QStringLiteral("senha-do-servico"))};
        return QStringList{"--db", m_data.databasePath(), "--http", "127.0.0.1:0", "--audit", m_audit, "--ldap",
                           QStringLiteral("ldap://127.0.0.1:%1").arg(port), "--ldap-group",
                           QStringLiteral("cn=painel,ou=grupos,%1").arg(kSuffix), "--ldap-timeout", "2"}
               + found;
    }

    // The status and the message of a sign-in, from a loopback address of its own.
    std::pair<int, QString> signIn(int port, const QString& name, const QString& password)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{}, server{};
        local.sin_family = server.sin_family = AF_INET;
        inet_pton(AF_INET, qPrintable(QStringLiteral("127.0.7.%1").arg(++m_from)), &local.sin_addr);
        inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
        server.sin_port = htons(quint16(port));
        timeval wait{30, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        const QByteArray body = QJsonDocument(QJsonObject{{"usuario", name}, {"senha", password}}).toJson();
        const QByteArray request = "POST /api/entrar HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                                   + "\r\nConnection: close\r\nContent-Type: application/json\r\nContent-Length: "
                                   + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        QByteArray answer;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0
            && ::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0) {
            ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
            char buffer[8192];
            for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, n);
        }
        ::close(fd);
        const QByteArray json = answer.mid(answer.indexOf("\r\n\r\n") + 4);
        return {answer.size() > 12 ? answer.mid(9, 3).toInt() : 0,
                QJsonDocument::fromJson(json).object()[QStringLiteral("erro")].toString()};
    }

    // The binds slapd has logged, once it has gone quiet.
    qsizetype binds()
    {
        while (m_slapd.waitForReadyRead(300))
            m_slapdLog += m_slapd.readAll();
        return m_slapdLog.count(" BIND ");
    }

    QString lastAudit() const
    {
        QFile f(m_audit);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        return lines.isEmpty() ? QString() : lines.last().section(' ', 1);
    }

private slots:
    void initTestCase()
    {
        QString why;
        if (!startSlapd(why))
            QSKIP(qPrintable(why));
        QVERIFY2(m_data.start(&why), qPrintable(why));
        m_audit = m_dir.filePath(QStringLiteral("auditoria.log"));
        QFile secret(m_dir.filePath(QStringLiteral("senha-do-servico")));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("senha-do-servico\n") > 0);
        secret.close();
        QVERIFY(secret.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        // Someone in the users file, for /metrics while the directory is away.
        QProcess add;
        add.start(QStringLiteral(KPD_APPSERVER_BIN), {"--add-user", "prometheus", "--users", m_dir.filePath(QStringLiteral("usuarios"))});
        add.write("senha-do-prometheus\n");
        add.closeWriteChannel();
        QVERIFY(add.waitForFinished(30000) && add.exitCode() == 0);
        QVERIFY2(m_server.start(ldapOptions(m_port), &why), qPrintable(why));
        QVERIFY2(m_pattern.start(ldapOptions(m_port, true), &why), qPrintable(why));
    }

    void shouldEscapeTheLoginName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("dn");
        QTest::newRow("plain") << "ana.souza" << "ana.souza" << "ana.souza";
        QTest::newRow("filter's specials") << "a*(b)\\c" << "a\\2A\\28b\\29\\5Cc" << "a*(b)\\\\c";
        QTest::newRow("dn's specials") << "x,y+z=\"w\"<v>;" << "x,y+z=\"w\"<v>;" << "x\\,y\\+z\\=\\\"w\\\"\\<v\\>\\;";
        QTest::newRow("blanks and # at the ends") << "#a b " << "#a b " << "\\#a b\\ ";
        QTest::newRow("a NUL") << QString(QChar(0)) << "\\00" << "\\00";
    }

    void shouldEscapeTheLoginName()
    {
        QFETCH(QString, name);
        QFETCH(QString, filter);
        QFETCH(QString, dn);
        QCOMPARE(appserver::DirectoryAccounts::escapeFilter(name), filter);
        QCOMPARE(appserver::DirectoryAccounts::escapeDn(name), dn);
    }

    void shouldSignInMembersOfTheGroupOnly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("audited");
        QTest::newRow("member") << "ana" << "senha-da-ana" << 200 << "resultado=aceita";
        QTest::newRow("not a member") << "beto" << "senha-do-beto" << 403 << "motivo=fora-do-grupo";
        QTest::newRow("wrong password") << "ana" << "senha-do-beto" << 401 << "motivo=usuario-ou-senha";
        QTest::newRow("empty password") << "ana" << "" << 401 << "motivo=senha-vazia";
        // Unescaped, "an*" would find ana and sign in with her password.
        QTest::newRow("a wildcard in the name") << "an*" << "senha-da-ana" << 401 << "motivo=usuario-ou-senha";
        QTest::newRow("a filter in the name") << "ana)(uid=*" << "senha-da-ana" << 401 << "motivo=usuario-ou-senha";
        QTest::newRow("a name with * ( ) and \\") << "c*(x)\\y" << "senha-do-caio" << 200 << "resultado=aceita";
    }

    void shouldSignInMembersOfTheGroupOnly()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(int, status);
        QFETCH(QString, audited);
        for (ServerProcess* server : {&m_server, &m_pattern}) {
            const qsizetype before = binds();
            const auto [got, message] = signIn(server->httpPort(), name, password);
            QCOMPARE(got, status);
            QVERIFY2((status == 200) == message.isEmpty(), qPrintable(message));
            QTRY_VERIFY2(lastAudit().contains(audited) && lastAudit().contains(QStringLiteral("metodo=ldap")), qPrintable(lastAudit()));
            QVERIFY(!lastAudit().contains(QStringLiteral("senha-d")));
            if (password.isEmpty())
                QCOMPARE(binds(), before);
        }
    }

    // ldaps: the directory's certificate must be signed by --ldap-ca; another authority's is a directory
    // that cannot be trusted, so nobody signs in.
    void shouldCheckTheDirectorysCertificate_data()
    {
        QTest::addColumn<bool>("ownAuthority");
        QTest::addColumn<int>("status");
        QTest::newRow("signed by --ldap-ca") << true << 200;
        QTest::newRow("signed by another authority") << false << 503;
    }

    void shouldCheckTheDirectorysCertificate()
    {
        QFETCH(bool, ownAuthority);
        QFETCH(int, status);
        QStringList options = ldapOptions(m_tlsPort, true);
        options[options.indexOf(QStringLiteral("--ldap")) + 1] = QStringLiteral("ldaps://127.0.0.1:%1").arg(m_tlsPort);
        options << "--ldap-ca" << (ownAuthority ? m_certs.ca : m_certs.otherCa);
        ServerProcess server;
        QString why;
        QVERIFY2(server.start(options, &why), qPrintable(why));
        QCOMPARE(signIn(server.httpPort(), QStringLiteral("ana"), QStringLiteral("senha-da-ana")).first, status);
        QVERIFY(server.stop());
    }

    // A directory that is gone or never answers: a Portuguese message within the time bound, counted for
    // Prometheus, and no sign-in.
    void shouldSayTheDirectoryIsAway()
    {
        int silentPort = 0;
        const int silent = listenOnLoopback(silentPort);
        ServerProcess quiet;
        QString why;
        QVERIFY2(quiet.start(ldapOptions(silentPort), &why), qPrintable(why));
        m_slapd.terminate();
        QVERIFY(m_slapd.waitForFinished(10000));
        for (ServerProcess* server : {&m_pattern, &quiet}) {
            QElapsedTimer timer;
            timer.start();
            const auto [status, message] = signIn(server->httpPort(), QStringLiteral("ana"), QStringLiteral("senha-da-ana"));
            QCOMPARE(status, 503);
            QVERIFY2(timer.elapsed() < 3 * 2000, qPrintable(QString::number(timer.elapsed())));
            QVERIFY2(message.contains(QStringLiteral("diretório")), qPrintable(message));
            httplib::Client client("127.0.0.1", server->httpPort());
            QVERIFY(client.Get("/api/cockpit?month=2008-04")->status == 401);
        }
        QTRY_VERIFY(lastAudit().contains(QStringLiteral("motivo=diretorio-indisponivel")));
        // A name in the users file still signs in, and sees the failures counted.
        httplib::Client client("127.0.0.1", m_pattern.httpPort());
        const auto metrics = client.Get("/metrics", {{"Authorization", "Basic " + QByteArray("prometheus:senha-do-prometheus").toBase64().toStdString()}});
        QVERIFY(metrics && metrics->status == 200);
        QVERIFY2(metrics->body.find("kpd_signins_total{method=\"ldap\",result=\"indisponivel\"} 1") != std::string::npos,
                 metrics->body.c_str());
        QVERIFY(quiet.stop());
        ::close(silent);
    }

    void cleanupTestCase()
    {
        if (m_slapd.state() != QProcess::NotRunning) {
            m_slapd.terminate();
            m_slapd.waitForFinished(10000);
        }
        for (ServerProcess* server : {&m_server, &m_pattern})
            if (server->process().state() == QProcess::Running)
                QVERIFY(server->stop());
        m_data.stop();
    }
};

QTEST_GUILESS_MAIN(TestLdapSignIn)
#include "tst_ldapsignin.moc"
