#include "serveroptions.h"

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
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            out.help = true;
            return true;
        }
        if (arg == QLatin1String("--version")) {
            out.version = true;
            return true;
        }
        if (arg == QLatin1String("--init-schema")) {
            out.initSchema = true;
            continue;
        }
        if (arg == QLatin1String("--rebuild-summary")) {
            out.rebuildSummary = true;
            continue;
        }
        if (arg == QLatin1String("--no-keep")) {
            out.noKeep = true;
            continue;
        }
        if (arg == QLatin1String("--no-summary")) {
            out.noSummary = true;
            continue;
        }
        if (arg == QLatin1String("--insecure-listen")) {
            out.insecureListen = true;
            continue;
        }
        static const QStringList withValue{"--db", "--listen", "--tls-cert", "--tls-key", "--tls-client-ca",
                                           "--init-demo", "--branches", "--months", "--end-month", "--db-pool",
                                           "--db-queue", "--import", "--log", "--keep-memory", "--alert-rules"};
        if (!withValue.contains(arg)) {
            error = QStringLiteral("Opção desconhecida: %1").arg(arg);
            return false;
        }
        if (i + 1 >= args.size()) {
            error = QStringLiteral("A opção %1 precisa de um valor.").arg(arg);
            return false;
        }
        const QString value = args[++i];
        if (arg == QLatin1String("--db")) {
            out.dbPath = value;
        } else if (arg == QLatin1String("--listen")) {
            if (!validListen(value)) {
                error = QStringLiteral("Endereço de escuta inválido: \"%1\" (use HOST:PORTA).").arg(value);
                return false;
            }
            out.listen = value;
        } else if (arg == QLatin1String("--tls-cert")) {
            out.tlsCert = value;
        } else if (arg == QLatin1String("--tls-key")) {
            out.tlsKey = value;
        } else if (arg == QLatin1String("--tls-client-ca")) {
            out.tlsClientCa = value;
        } else if (arg == QLatin1String("--import")) {
            out.importDir = value;
        } else if (arg == QLatin1String("--alert-rules")) {
            out.alertRules = value;
        } else if (arg == QLatin1String("--log")) {
            out.logPath = value;
        } else if (arg == QLatin1String("--db-pool")) {
            bool ok = false;
            out.dbPool = value.toInt(&ok);
            if (!ok || out.dbPool < 1 || out.dbPool > 1000) {
                error = QStringLiteral("Valor inválido em --db-pool: \"%1\" (use um inteiro de 1 a 1000).").arg(value);
                return false;
            }
        } else if (arg == QLatin1String("--db-queue")) {
            bool ok = false;
            out.dbQueue = value.toInt(&ok);
            if (!ok || out.dbQueue < 0 || out.dbQueue > 10000) {
                error = QStringLiteral("Valor inválido em --db-queue: \"%1\" (use um inteiro de 0 a 10000).").arg(value);
                return false;
            }
        } else if (arg == QLatin1String("--keep-memory")) {
            bool ok = false;
            out.keepMemoryMib = value.toInt(&ok);
            if (!ok || out.keepMemoryMib < 1 || out.keepMemoryMib > 65536) {
                error = QStringLiteral("Valor inválido em --keep-memory: \"%1\" (use um inteiro de 1 a 65536 MiB).").arg(value);
                return false;
            }
        } else if (arg == QLatin1String("--init-demo")) {
            out.initDemoPath = value;
        } else if (arg == QLatin1String("--end-month")) {
            out.endMonth = QDate::fromString(value + QStringLiteral("-01"), Qt::ISODate);
            if (!out.endMonth.isValid()) {
                error = QStringLiteral("Mês inválido em --end-month: \"%1\" (use AAAA-MM).").arg(value);
                return false;
            }
        } else {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (!ok || n < 1 || n > 100000) {
                error = QStringLiteral("Valor inválido em %1: \"%2\" (use um inteiro positivo).").arg(arg, value);
                return false;
            }
            (arg == QLatin1String("--branches") ? out.branches : out.months) = n;
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
