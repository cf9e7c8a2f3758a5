#include "mailrelay.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <QUrl>

#include <sys/stat.h>

bool MailRelay::loopback() const
{
    const QString host = QUrl(url).host().toLower();
    return host == QLatin1String("localhost") || host.startsWith(QLatin1String("127.")) || host == QLatin1String("::1");
}

bool MailRelay::readPassword(QByteArray* password, QString* error) const
{
    password->clear();
    if (passwordFile.isEmpty())
        return true;
    // Under systemd the secret may come as a credential of the unit (LoadCredential=), found at run time.
    QString path = passwordFile;
    if (path.startsWith(QLatin1String("$CREDENTIALS_DIRECTORY/")))
        path.replace(0, int(qstrlen("$CREDENTIALS_DIRECTORY")), qEnvironmentVariable("CREDENTIALS_DIRECTORY"));
    QFile file(path);
    struct stat st {};
    if (!file.open(QIODevice::ReadOnly) || fstat(file.handle(), &st) != 0) {
        *error = QStringLiteral("Não foi possível ler a senha do servidor de e-mail em \"%1\": %2.")
                     .arg(path, file.exists() ? QStringLiteral("sem permissão de leitura") : QStringLiteral("o arquivo não existe"));
        return false;
    }
    // The same rule as ssh's keys: a secret others may read is no longer one.
    if (st.st_mode & (S_IROTH | S_IWOTH | S_IWGRP)) {
        *error = QStringLiteral("Recusado: a senha do servidor de e-mail \"%1\" pode ser lida ou alterada por outros "
                                "usuários da máquina (permissões %2). Use chmod 640 ou 600.")
                     .arg(passwordFile)
                     .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
        return false;
    }
    *password = file.readLine();
    while (password->endsWith('\n') || password->endsWith('\r'))
        password->chop(1);
    return true;
}

namespace {

bool seconds(QSettings& settings, const char* key, std::chrono::seconds* value, int most, QString* error)
{
    const QVariant v = settings.value(QLatin1String(key));
    if (!v.isValid())
        return true;
    bool ok = false;
    const int n = v.toString().toInt(&ok);
    if (!ok || n < 1 || n > most) {
        *error = QStringLiteral("valor inválido em relay/%1: \"%2\" (segundos, de 1 a %3)")
                     .arg(QLatin1String(key), v.toString())
                     .arg(most);
        return false;
    }
    *value = std::chrono::seconds(n);
    return true;
}

// Whether a setting holds a character that would end or split a line of the SMTP dialogue or of a header
// (CR and LF reach it through the INI file's escapes) or that no reader shows.
bool hasControl(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == QChar(0x2028) || c == QChar(0x2029);
    });
}

// The line of the INI file where the group's key is set, for a message a person can act on; 0 when not found.
int lineOf(const QString& file, const QString& group, const QString& key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    QString section;
    int line = 0;
    while (!f.atEnd()) {
        ++line;
        const QString text = QString::fromUtf8(f.readLine()).trimmed();
        if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
            section = text.mid(1, text.size() - 2).trimmed();
        else if (section.compare(group, Qt::CaseInsensitive) == 0 && text.section(QLatin1Char('='), 0, 0).trimmed() == key)
            return line;
    }
    return 0;
}

QString besideFile(const QSettings& settings, const QString& path)
{
    if (path.isEmpty() || QFileInfo(path).isAbsolute() || path.startsWith(QLatin1Char('$')))
        return path;
    return QFileInfo(settings.fileName()).dir().filePath(path);
}

} // namespace

bool MailRelay::load(QSettings& settings, MailRelay* relay, QString* error)
{
    settings.beginGroup(QStringLiteral("relay"));
    const QString other = besideFile(settings, settings.value(QStringLiteral("arquivo")).toString());
    settings.endGroup();
    if (!other.isEmpty()) {
        if (!QFileInfo::exists(other)) {
            *error = QStringLiteral("o arquivo do servidor de e-mail \"%1\" (relay/arquivo) não existe").arg(other);
            return false;
        }
        QSettings shared(other, QSettings::IniFormat);
        return load(shared, relay, error);
    }
    if (settings.status() != QSettings::NoError) {
        *error = QStringLiteral("o arquivo \"%1\" não pôde ser lido como INI").arg(settings.fileName());
        return false;
    }
    settings.beginGroup(QStringLiteral("relay"));
    for (const char* key : {"url", "remetente", "usuario", "arquivo_senha", "ca"}) {
        if (hasControl(settings.value(QLatin1String(key)).toString())) {
            const int line = lineOf(settings.fileName(), QStringLiteral("relay"), QLatin1String(key));
            *error = QStringLiteral("relay/%1 com caractere de controle (quebra de linha ou outro que não se vê)%2: recusado")
                         .arg(QLatin1String(key), line > 0 ? QStringLiteral(" na linha %1 de \"%2\"").arg(line).arg(settings.fileName())
                                                          : QString());
            settings.endGroup();
            return false;
        }
    }
    MailRelay r;
    r.url = settings.value(QStringLiteral("url")).toString().trimmed();
    r.from = settings.value(QStringLiteral("remetente")).toString().trimmed();
    r.user = settings.value(QStringLiteral("usuario")).toString();
    r.passwordFile = besideFile(settings, settings.value(QStringLiteral("arquivo_senha")).toString());
    r.caFile = besideFile(settings, settings.value(QStringLiteral("ca")).toString());
    const bool ok = seconds(settings, "prazo", &r.timeout, 600, error) && seconds(settings, "tentar_por", &r.retryFor, 86400, error)
                    && seconds(settings, "primeira_espera", &r.firstRetry, 600, error);
    settings.endGroup();
    if (!ok)
        return false;
    const QUrl url(r.url);
    if (!url.isValid() || (url.scheme() != QLatin1String("smtp") && url.scheme() != QLatin1String("smtps")) || url.host().isEmpty()) {
        *error = QStringLiteral("relay/url deve ser smtp://SERVIDOR:PORTA ou smtps://SERVIDOR:PORTA (veio \"%1\")").arg(r.url);
        return false;
    }
    if (!r.from.contains(QLatin1Char('@'))) {
        *error = QStringLiteral("relay/remetente deve ser um endereço de e-mail (veio \"%1\")").arg(r.from);
        return false;
    }
    if (!r.user.isEmpty() && r.passwordFile.isEmpty()) {
        *error = QStringLiteral("relay/usuario pede relay/arquivo_senha: o arquivo com a senha");
        return false;
    }
    *relay = r;
    return true;
}
