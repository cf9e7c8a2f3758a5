#include "testcertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

// The commands docs/deploy.md shows, on P-256 keys so that making them is quick.
bool openssl(const QStringList& args, QString* error)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("openssl %1: %2 %3").arg(args.join(QLatin1Char(' ')), p.errorString(),
                                                             QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool authority(const QString& dir, const QString& name, QString* error)
{
    return openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                    "-subj", "/CN=" + name, "-keyout", dir + "/" + name + ".key", "-out", dir + "/" + name + ".pem"},
                   error);
}

// A certificate for name signed by the authority ca, with the extensions given.
bool issued(const QString& dir, const QString& ca, const QString& name, const QString& extensions, QString* error)
{
    const QString base = dir + "/" + name;
    QFile ext(base + ".ext");
    if (!ext.open(QIODevice::WriteOnly) || ext.write(extensions.toUtf8()) < 0)
        return false;
    ext.close();
    return openssl({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj",
                    "/CN=" + name, "-keyout", base + ".key", "-out", base + ".csr"},
                   error)
           && openssl({"x509", "-req", "-in", base + ".csr", "-CA", dir + "/" + ca + ".pem", "-CAkey",
                       dir + "/" + ca + ".key", "-CAcreateserial", "-days", "2", "-extfile", base + ".ext", "-out",
                       base + ".pem"},
                      error);
}

} // namespace

bool TestCertificates::create(const QString& dir, QString* error)
{
    const QString server = QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n");
    const QString client = QStringLiteral("extendedKeyUsage=clientAuth\n");
    if (!authority(dir, "ca", error) || !issued(dir, "ca", "server", server, error)
        || !issued(dir, "ca", "client", client, error) || !authority(dir, "other-ca", error)
        || !issued(dir, "other-ca", "other-client", client, error))
        return false;
    const QDir d(dir);
    ca = d.filePath("ca.pem");
    serverCert = d.filePath("server.pem");
    serverKey = d.filePath("server.key");
    clientCert = d.filePath("client.pem");
    clientKey = d.filePath("client.key");
    otherCa = d.filePath("other-ca.pem");
    otherClientCert = d.filePath("other-client.pem");
    otherClientKey = d.filePath("other-client.key");
    return true;
}

std::string TestCertificates::read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}
