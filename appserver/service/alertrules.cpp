#include "alertrules.h"

#include "regioncode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace appserver {

bool AlertRule::watches(const cockpit::Scope& s) const
{
    switch (scope) {
    case Scope::Company:
        return s.kind == cockpit::ScopeKind::Company;
    case Scope::Region:
        return s.kind == cockpit::ScopeKind::Region && s.code.trimmed() == region;
    case Scope::AnyRegion:
        return s.kind == cockpit::ScopeKind::Region;
    }
    return false;
}

QString AlertRule::key() const
{
    const QString where = scope == Scope::Company ? QStringLiteral("TOTAL") : scope == Scope::AnyRegion ? QStringLiteral("*") : region;
    return QStringLiteral("%1 %2 %3").arg(where, QLatin1String(cockpit::info(indicator).key), cockpit::ZoneWord(zone));
}

namespace {

bool parseRule(const QString& value, AlertRule* rule, QString* why)
{
    const QStringList words = value.split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
    if (words.size() < 4) {
        *why = QStringLiteral("esperado: alerta = ESCOPO INDICADOR ZONA DESTINATÁRIO...");
        return false;
    }
    const QString scope = words[0];
    if (scope == QLatin1String("TOTAL")) {
        rule->scope = AlertRule::Scope::Company;
    } else if (scope == QLatin1String("*")) {
        rule->scope = AlertRule::Scope::AnyRegion;
    } else if (cockpit::IsRegionCode(scope)) {
        rule->scope = AlertRule::Scope::Region;
        rule->region = scope;
    } else {
        *why = QStringLiteral("escopo inválido \"%1\" (TOTAL, * para qualquer regional, ou o código de uma regional)").arg(scope);
        return false;
    }
    bool found = false;
    QStringList keys;
    for (const cockpit::IndicatorInfo& i : cockpit::kIndicators) {
        keys << QLatin1String(i.key);
        if (words[1] == QLatin1String(i.key)) {
            rule->indicator = i.id;
            found = true;
        }
    }
    if (!found) {
        *why = QStringLiteral("indicador desconhecido \"%1\" (%2)").arg(words[1], keys.join(QStringLiteral(", ")));
        return false;
    }
    found = false;
    for (cockpit::Zone z : {cockpit::Zone::Red, cockpit::Zone::Yellow, cockpit::Zone::Green})
        if (words[2] == cockpit::ZoneWord(z)) {
            rule->zone = z;
            found = true;
        }
    if (!found) {
        *why = QStringLiteral("zona desconhecida \"%1\" (vermelho, amarelo ou verde)").arg(words[2]);
        return false;
    }
    for (const QString& to : words.mid(3)) {
        if (!QRegularExpression(QStringLiteral("^[^@\\s<>]+@[^@\\s<>]+$")).match(to).hasMatch()) {
            *why = QStringLiteral("destinatário inválido \"%1\"").arg(to);
            return false;
        }
        rule->recipients << to;
    }
    return true;
}

} // namespace

bool AlertRules::load(const QString& path, AlertRules* out, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("Não foi possível ler as regras de alerta \"%1\": %2.")
                     .arg(path, file.exists() ? QStringLiteral("sem permissão de leitura") : QStringLiteral("o arquivo não existe"));
        return false;
    }
    AlertRules result;
    QString relayFile;
    const auto refuse = [&](int line, const QString& why) {
        *error = QStringLiteral("Regras de alerta recusadas: %1, linha %2: %3.").arg(path).arg(line).arg(why);
        return false;
    };
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            return refuse(number, QStringLiteral("esperado NOME = VALOR"));
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (name == QLatin1String("alerta")) {
            AlertRule rule;
            rule.line = number;
            QString why;
            if (!parseRule(value, &rule, &why))
                return refuse(number, why);
            for (const AlertRule& other : result.rules)
                if (other.key() == rule.key())
                    return refuse(number, QStringLiteral("a mesma regra já está na linha %1").arg(other.line));
            result.rules << rule;
        } else if (name == QLatin1String("relay")) {
            relayFile = QFileInfo(value).isAbsolute() ? value : QFileInfo(path).dir().filePath(value);
            if (!QFileInfo::exists(relayFile))
                return refuse(number, QStringLiteral("o arquivo do servidor de e-mail \"%1\" não existe").arg(relayFile));
            QSettings settings(relayFile, QSettings::IniFormat);
            QString why;
            if (!MailRelay::load(settings, &result.relay, &why))
                return refuse(number, why);
        } else if (name == QLatin1String("pagina")) {
            if (!value.startsWith(QLatin1String("http://")) && !value.startsWith(QLatin1String("https://")))
                return refuse(number, QStringLiteral("pagina deve ser um endereço http:// ou https://"));
            result.pageBase = value.endsWith(QLatin1Char('/')) ? value.chopped(1) : value;
        } else {
            return refuse(number, QStringLiteral("nome desconhecido \"%1\" (alerta, relay ou pagina)").arg(name));
        }
    }
    if (relayFile.isEmpty())
        return refuse(number, QStringLiteral("falta relay = ARQUIVO com o servidor de e-mail"));
    if (result.rules.isEmpty())
        return refuse(number, QStringLiteral("nenhuma regra (alerta = ESCOPO INDICADOR ZONA DESTINATÁRIO...)"));
    *out = result;
    return true;
}

} // namespace appserver
