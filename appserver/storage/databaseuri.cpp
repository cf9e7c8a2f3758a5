#include "databaseuri.h"

#include <QRegularExpression>

#include <libpq-fe.h>

#include <memory>

namespace appserver {

namespace {

// A libpq keyword value, quoted as its connection strings want it. The Qt driver joins options
// with ';', so a value cannot hold one.
QString quoted(QString value)
{
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// The argument as messages may show it: what stands between the scheme and the last "@" is the user and
// maybe a password, and a password= parameter may be there too; a malformed URI can hold either
// anywhere, so both are masked wherever they are.
QString shown(const QString& argument)
{
    QString text = argument;
    const qsizetype scheme = text.indexOf(QLatin1Char(':'));
    if (scheme >= 0) {
        qsizetype from = scheme + 1;
        while (from < text.size() && text.at(from) == QLatin1Char('/'))
            ++from;
        const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
        if (at > from) {
            const qsizetype colon = text.indexOf(QLatin1Char(':'), from);
            if (colon >= 0 && colon < at)
                text.replace(colon + 1, at - colon - 1, QStringLiteral("***"));
        }
    }
    static const QRegularExpression password(QStringLiteral("(password\\s*=)[^&;\\s]*"),
                                             QRegularExpression::CaseInsensitiveOption);
    text.replace(password, QStringLiteral("\\1***"));
    return text;
}

using Options = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

// The URI as libpq reads it, or nothing where libpq refuses it. Its message is not kept: it quotes the
// whole URI, password and all.
Options parsed(const QString& uri)
{
    char* message = nullptr;
    Options options(PQconninfoParse(uri.toUtf8().constData(), &message), &PQconninfoFree);
    PQfreemem(message);
    return options;
}

// The name of the parameter libpq refused in a URI it refused, where the rest of it would do.
QString refusedParameter(const QString& uri)
{
    const qsizetype question = uri.indexOf(QLatin1Char('?'));
    if (question < 0 || !parsed(uri.left(question)))
        return {};
    for (const QString& item : uri.mid(question + 1).split(QLatin1Char('&')))
        if (!parsed(uri.left(question + 1) + item))
            return item.section(QLatin1Char('='), 0, 0);
    return {};
}

} // namespace

bool DatabaseUri::isPostgres(const QString& argument)
{
    return argument.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
           || argument.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

std::optional<DatabaseSettings> DatabaseUri::parse(const QString& argument, QString& error)
{
    DatabaseSettings settings;
    const QString invalidUri = QStringLiteral("Endereço de banco de dados inválido: \"%1\" (use "
                                              "postgresql://USUARIO@HOST:PORTA/BANCO).");
    static const QRegularExpression postgresLike(QStringLiteral("^postgres(ql)?:"), QRegularExpression::CaseInsensitiveOption);
    if (!isPostgres(argument) && postgresLike.match(argument).hasMatch()) {
        // Not a file name either: taken for one, it would be repeated whole in "does not exist".
        error = invalidUri.arg(shown(argument));
        return std::nullopt;
    }
    if (!isPostgres(argument)) {
        if (argument.trimmed().isEmpty()) {
            error = QStringLiteral("Informe o banco de dados em --db.");
            return std::nullopt;
        }
        settings.databaseName = argument;
        return settings;
    }

    // libpq knows its scheme in lower case only.
    const qsizetype colon = argument.indexOf(QLatin1Char(':'));
    const QString uri = argument.left(colon).toLower() + argument.mid(colon);
    const Options options = parsed(uri);
    if (!options) {
        const QString refused = refusedParameter(uri);
        error = refused.isEmpty() ? invalidUri.arg(shown(argument))
                                  : QStringLiteral("Parâmetro inválido no endereço do banco de dados: \"%1\".").arg(refused);
        return std::nullopt;
    }
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o)
        if (o->val && qstrcmp(o->keyword, "password") == 0) {
            error = QStringLiteral("Não informe a senha do banco de dados na linha de comando: use a variável PGPASSWORD "
                                   "ou o arquivo ~/.pgpass.");
            return std::nullopt;
        }
    settings.driver = QStringLiteral("QPSQL");
    bool timeoutGiven = false;
    bool nameGiven = false;
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        const QString key = QString::fromUtf8(o->keyword);
        const QString value = QString::fromUtf8(o->val);
        if (value.contains(QLatin1Char(';'))) {
            error = QStringLiteral("O parâmetro \"%1\" do endereço do banco de dados não pode conter \";\".").arg(key);
            return std::nullopt;
        }
        if (key == QLatin1String("host")) {
            settings.hostName = value;
        } else if (key == QLatin1String("port")) {
            bool ok = false;
            settings.port = value.toInt(&ok);
            if (!ok || settings.port <= 0 || settings.port > 65535) {
                error = QStringLiteral("Porta inválida no endereço do banco de dados: \"%1\".").arg(value);
                return std::nullopt;
            }
        } else if (key == QLatin1String("user")) {
            settings.userName = value;
        } else if (key == QLatin1String("dbname")) {
            if (value.contains(QLatin1Char('/'))) {
                error = QStringLiteral("Nome de banco de dados inválido em \"%1\".").arg(shown(argument));
                return std::nullopt;
            }
            settings.databaseName = value;
        } else {
            timeoutGiven = timeoutGiven || key == QLatin1String("connect_timeout");
            nameGiven = nameGiven || key == QLatin1String("application_name");
            settings.connectOptions << key + QLatin1Char('=') + quoted(value);
        }
    }
    if (!timeoutGiven)
        settings.connectOptions << QStringLiteral("connect_timeout=10");
    if (!nameGiven)
        settings.connectOptions << QStringLiteral("application_name=kpd-appserver");
    return settings;
}

} // namespace appserver
