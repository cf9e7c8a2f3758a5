#include "serveroptions.h"

#include "refmonth.h"

#include <QCommandLineParser>

#include <algorithm>

namespace appserver {

namespace {

bool validListen(const QString& listen)
{
    const int colon = listen.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const int port = listen.mid(colon + 1).toInt(&ok);
    return ok && port >= 0 && port <= 65535;
}

} // namespace

QString ServerOptions::usage()
{
    return QStringLiteral(
        "Uso:\n"
        "  kpd-appserver --db BANCO [--db-pool N] [--db-queue N] [--init-schema] [--listen HOST:PORTA]\n"
        "                [--tls-cert ARQUIVO --tls-key ARQUIVO [--tls-client-ca ARQUIVO]] [--insecure-listen]\n"
        "                [--no-summary] [--no-keep] [--keep-memory MIB] [--alert-rules ARQUIVO]\n"
        "  kpd-appserver --import PASTA --db BANCO [--init-schema]\n"
        "  kpd-appserver --rebuild-summary --db BANCO\n"
        "  kpd-appserver --init-demo ARQUIVO [--branches N] [--months M] [--end-month AAAA-MM]\n"
        "\n"
        "  --db BANCO           arquivo SQLite, ou postgresql://USUARIO@HOST:PORTA/BANCO (a senha vem de\n"
        "                       PGPASSWORD ou ~/.pgpass); esquema em docs/schema.sql\n"
        "  --db-pool N          conexões simultâneas com o banco (padrão %2)\n"
        "  --db-queue N         chamadas que podem esperar por uma conexão; as demais são recusadas na\n"
        "                       hora como sobrecarga (padrão %3)\n"
        "  --init-schema        cria as tabelas se o banco ainda não as tem\n"
        "  --rebuild-summary    soma de novo o resumo mensal (movimento_mensal) a partir dos movimentos\n"
        "                       diários, criando-o e a seus gatilhos se faltarem, e termina\n"
        "  --no-summary         lê cada mês somando os movimentos diários, sem o resumo mensal\n"
        "  --no-keep            calcula o mês a cada chamada, sem guardar a resposta até a próxima mudança\n"
        "                       dos dados\n"
        "  --keep-memory MIB    memória, em MiB, que as respostas guardadas podem ocupar neste servidor;\n"
        "                       as mais antigas saem primeiro (padrão %4)\n"
        "  --alert-rules ARQUIVO\n"
        "                       envia um e-mail quando um indicador entra na zona de uma regra (uma\n"
        "                       mensagem por mudança; veja /usr/share/doc/kpd-appserver/mail.md)\n"
        "  --import PASTA       carrega regional.csv, filial.csv, movimento_diario.csv,\n"
        "                       estoque_mensal.csv e meta_mensal.csv da pasta numa só\n"
        "                       transação e termina\n"
        "  --listen HOST:PORTA  endereço de escuta (padrão %1; porta 0 escolhe uma porta livre)\n"
        "  --tls-cert ARQUIVO   certificado PEM do servidor (com --tls-key, liga o TLS)\n"
        "  --tls-key ARQUIVO    chave privada PEM do servidor\n"
        "  --tls-client-ca ARQUIVO\n"
        "                       exige de cada cliente um certificado assinado por esta autoridade (PEM)\n"
        "  --insecure-listen    permite escutar sem TLS num endereço que não é o local (só numa rede\n"
        "                       fechada: qualquer um que alcance o endereço lê os números)\n"
        "  --log ARQUIVO        acrescenta o registro a este arquivo em vez da saída de erros; SIGHUP o\n"
        "                       reabre (depois de um logrotate) e relê o arquivo de usuários\n"
        "  --init-demo ARQUIVO  grava um banco de demonstração e termina\n"
        "  --branches N         filiais do banco de demonstração (padrão 60)\n"
        "  --months M           meses de movimento do banco de demonstração (padrão 36)\n"
        "  --end-month AAAA-MM  último mês do banco de demonstração (padrão: o mês atual, até hoje)\n")
        .arg(QString::fromLatin1(kDefaultListen))
        .arg(kDefaultPool)
        .arg(kDefaultQueue)
        .arg(kDefaultKeepMemoryMib);
}

bool ServerOptions::parse(const QStringList& args, ServerOptions& out, QString& error)
{
    out = ServerOptions();
    static const QStringList flags{"init-schema", "rebuild-summary", "no-keep", "no-summary", "insecure-listen",
                                   "version"};
    static const QStringList valued{"db", "listen", "tls-cert", "tls-key", "tls-client-ca", "init-demo",
                                    "branches", "months", "end-month", "db-pool", "db-queue", "import", "log",
                                    "keep-memory", "alert-rules"};
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    for (const QString& name : flags)
        parser.addOption(QCommandLineOption(name));
    for (const QString& name : valued)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("VALOR")));
    // parse(), not process(): that one ends the program with an English message.
    const bool parsed = parser.parse(QStringList{QStringLiteral("kpd-appserver")} + args);
    out.help = parser.isSet(QStringLiteral("help"));
    out.version = parser.isSet(QStringLiteral("version"));
    if (out.help || out.version)
        return true;
    if (!parsed) {
        // The parser keeps a refused option by its name alone, and says why in English: the message here
        // quotes the argument as it was typed.
        const auto nameOf = [](const QString& arg) {
            const QString option = arg.section(QLatin1Char('='), 0, 0);
            return option.mid(option.startsWith(QLatin1String("--")) ? 2 : 1);
        };
        const QStringList unknown = parser.unknownOptionNames();
        const QString& last = args.last();
        if (unknown.isEmpty() && valued.contains(nameOf(last)) && !last.contains(QLatin1Char('='))) {
            error = QStringLiteral("A opção %1 precisa de um valor.").arg(last);
            return false;
        }
        // An unknown option, or a switch given a value (--no-keep=1).
        const auto refused = std::find_if(args.cbegin(), args.cend(), [&](const QString& arg) {
            if (!arg.startsWith(QLatin1Char('-')))
                return false;
            return unknown.isEmpty() ? arg.contains(QLatin1Char('=')) && flags.contains(nameOf(arg))
                                     : nameOf(arg) == unknown.constFirst();
        });
        error = QStringLiteral("Opção desconhecida: %1").arg(refused != args.cend() ? *refused : last);
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Opção desconhecida: %1").arg(parser.positionalArguments().constFirst());
        return false;
    }

    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    // An integer option within its range, or the refusal (%1: what was given).
    const auto integer = [&](const char* name, int min, int max, int* target, const QString& refusal) {
        if (!parser.isSet(QLatin1String(name)))
            return true;
        bool ok = false;
        const int n = value(name).toInt(&ok);
        if (!ok || n < min || n > max) {
            error = refusal.arg(value(name));
            return false;
        }
        *target = n;
        return true;
    };
    out.dbPath = value("db");
    out.tlsCert = value("tls-cert");
    out.tlsKey = value("tls-key");
    out.tlsClientCa = value("tls-client-ca");
    out.importDir = value("import");
    out.alertRules = value("alert-rules");
    out.logPath = value("log");
    out.initDemoPath = value("init-demo");
    out.initSchema = parser.isSet(QStringLiteral("init-schema"));
    out.rebuildSummary = parser.isSet(QStringLiteral("rebuild-summary"));
    out.noKeep = parser.isSet(QStringLiteral("no-keep"));
    out.noSummary = parser.isSet(QStringLiteral("no-summary"));
    out.insecureListen = parser.isSet(QStringLiteral("insecure-listen"));
    if (parser.isSet(QStringLiteral("listen"))) {
        if (!validListen(value("listen"))) {
            error = QStringLiteral("Endereço de escuta inválido: \"%1\" (use HOST:PORTA).").arg(value("listen"));
            return false;
        }
        out.listen = value("listen");
    }
    if (!integer("db-pool", 1, 1000, &out.dbPool,
                 QStringLiteral("Valor inválido em --db-pool: \"%1\" (use um inteiro de 1 a 1000)."))
        || !integer("db-queue", 0, 10000, &out.dbQueue,
                    QStringLiteral("Valor inválido em --db-queue: \"%1\" (use um inteiro de 0 a 10000)."))
        || !integer("keep-memory", 1, 65536, &out.keepMemoryMib,
                    QStringLiteral("Valor inválido em --keep-memory: \"%1\" (use um inteiro de 1 a 65536 MiB)."))
        || !integer("branches", 1, 100000, &out.branches,
                    QStringLiteral("Valor inválido em --branches: \"%1\" (use um inteiro positivo)."))
        || !integer("months", 1, 100000, &out.months,
                    QStringLiteral("Valor inválido em --months: \"%1\" (use um inteiro positivo).")))
        return false;
    if (parser.isSet(QStringLiteral("end-month"))) {
        out.endMonth = cockpit::RefMonth::fromKey(value("end-month")).firstDay();
        if (!out.endMonth.isValid()) {
            error = QStringLiteral("Mês inválido em --end-month: \"%1\" (use AAAA-MM).").arg(value("end-month"));
            return false;
        }
    }
    if (out.initDemoPath.isEmpty() && out.dbPath.isEmpty()) {
        error = QStringLiteral("Informe o banco de dados com --db ARQUIVO (ou --init-demo ARQUIVO).");
        return false;
    }
    if (!out.importDir.isEmpty() && out.dbPath.isEmpty()) {
        error = QStringLiteral("Informe com --db o banco de dados em que --import deve carregar.");
        return false;
    }
    if (out.tlsCert.isEmpty() != out.tlsKey.isEmpty()) {
        error = QStringLiteral("Para usar TLS informe --tls-cert e --tls-key juntos.");
        return false;
    }
    if (!out.tlsClientCa.isEmpty() && out.tlsCert.isEmpty()) {
        error = QStringLiteral("--tls-client-ca exige o TLS do servidor: informe também --tls-cert e --tls-key.");
        return false;
    }
    return true;
}

} // namespace appserver
