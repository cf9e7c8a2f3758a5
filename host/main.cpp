#include "headlessrun.h"
#include "hostfunctions.h"
#include "hostsettings.h"
#include "mainwindow.h"
#include "moduleloader.h"
#include "remotecallclient.h"
#include "sendsubscription.h"
#include "subscription.h"
#include "tapplication.h"
#include "wallscreen.h"
#include "wiretext.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>
#include <QSettings>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

#include <grpc/support/log.h>

namespace {

// The headless mode (and --help) must work on a machine without a display, so choose the offscreen
// platform there unless the user chose one.
void chooseOffscreenWithoutDisplay(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return;
    // A wall screen's --month is the month it shows: it needs the display it was started for.
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--kiosk")
            return;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg.startsWith("--month") || arg.startsWith("--send-subscription") || arg == "--now" || arg.startsWith("--export") || arg == "--help" || arg == "-h" ||
            arg == "--version" || arg == "-v") {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return;
        }
    }
}

// A command line that cannot be followed: the message on standard error and status 2.
int refuse(const QString& message)
{
    std::fprintf(stderr, "kpd-host: %s\n", message.toUtf8().constData());
    return 2;
}

QString shown(const QString& argument) { return WireText::Printable(argument, 80); }

// gRPC writes its own diagnostics (a failed TLS handshake, for one) to standard error in English, beside
// the host's messages, which already say what went wrong. GRPC_VERBOSITY brings them back for a diagnosis.
void quietTransportLog()
{
    if (!qEnvironmentVariableIsSet("GRPC_VERBOSITY"))
        gpr_set_log_function([](gpr_log_func_args*) {});
}

// Qt's own remarks (a platform that cannot raise a window, a runtime folder it had to choose) are for
// developers: the user's terminal gets only real problems, in the host's words. KPD_QT_AVISOS=1 shows all.
void quietQtLog()
{
    if (qEnvironmentVariableIsSet("KPD_QT_AVISOS"))
        return;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "kpd-host: erro da biblioteca gráfica: %s\n", message.toUtf8().constData());
    });
}

// Qt wants a private runtime folder; without one (a service, a container, su) it names one itself, with a
// warning. One of the host's own, made private, keeps it quiet and safe.
void ensureRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QByteArray folder = QByteArray("/tmp/kpd-host-") + QByteArray::number(uint(getuid()));
    if ((::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST) && ::chmod(folder.constData(), 0700) == 0) {
        struct stat st {};
        if (::lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid())
            qputenv("XDG_RUNTIME_DIR", folder);
    }
}

// --help in Portuguese: every option, its value, its default, and examples.
void printHelp(const QList<QCommandLineOption>& options)
{
    QString text = QStringLiteral("Uso:\n  kpd-host [opções]\n\nAplicação hospedeira dos Indicadores de Resultado.\n\nOpções:\n");
    for (const QCommandLineOption& o : options) {
        QStringList names;
        for (const QString& n : o.names())
            names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
        QString head = names.join(QStringLiteral(", "));
        if (!o.valueName().isEmpty())
            head += QLatin1Char(' ') + o.valueName();
        QString description = o.description();
        if (!o.defaultValues().isEmpty())
            description += QStringLiteral(" (padrão: %1)").arg(o.defaultValues().join(QStringLiteral(", ")));
        text += QStringLiteral("  %1\n      %2\n").arg(head, description);
    }
    text += QStringLiteral(
        "\nExemplos:\n"
        "  kpd-host --server 127.0.0.1:2113 --launch\n"
        "  kpd-host --server 127.0.0.1:2113 --month 2026-01..2026-06 --pdf caderno.pdf --company \"Minha Empresa\"\n"
        "  kpd-host --server 127.0.0.1:2113 --month 2026-06 --export-csv listas --export-json painel.json\n"
        "  kpd-host --send-subscription /etc/kpd-host/assinatura.ini\n");
    std::fputs(text.toUtf8().constData(), stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    chooseOffscreenWithoutDisplay(argc, argv);
    quietTransportLog();
    quietQtLog();
    ensureRuntimeFolder();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("kpd"));
    QCoreApplication::setApplicationName(QStringLiteral("kpd-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KPD_VERSION));
    QLocale::setDefault(BrazilLocale());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Aplicação hospedeira dos Indicadores de Resultado"));
    QCommandLineOption helpOpt({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Mostra esta ajuda e termina."));
    QCommandLineOption versionOpt({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Mostra a versão e termina."));
    QCommandLineOption moduleOpt(QStringLiteral("module"), QStringLiteral("Caminho do módulo."), QStringLiteral("CAMINHO"),
                                 ModuleLoader::DefaultPath());
    QCommandLineOption serverOpt(QStringLiteral("server"), QStringLiteral("Servidor de aplicação HOST:PORTA (padrão: o das configurações)."),
                                 QStringLiteral("HOST:PORTA"));
    QCommandLineOption launchOpt(QStringLiteral("launch"), QStringLiteral("Abre o módulo logo ao iniciar."));
    QCommandLineOption monthOpt(QStringLiteral("month"),
                                QStringLiteral("Abre o painel do mês sem interação e encerra (modo sem tela). Pode ser "
                                               "repetido e aceita períodos AAAA-MM..AAAA-MM; {month} nos caminhos de "
                                               "saída vira AAAA-MM."),
                                QStringLiteral("AAAA-MM"));
    QCommandLineOption pdfOpt(QStringLiteral("pdf"),
                              QStringLiteral("Grava o caderno do conselho em PDF: capa, e por mês o painel e o resumo "
                                             "(modo sem tela)."),
                              QStringLiteral("ARQUIVO.pdf"));
    QCommandLineOption csvOpt(QStringLiteral("export-csv"),
                              QStringLiteral("Grava as listas do painel como planilhas CSV (uma por lista) na pasta."),
                              QStringLiteral("PASTA"));
    QCommandLineOption companyOpt(QStringLiteral("company"),
                                  QStringLiteral("Nome da empresa na capa do PDF (padrão: o das configurações)."),
                                  QStringLiteral("NOME"));
    QCommandLineOption pdfThemeOpt(QStringLiteral("pdf-theme"),
                                   QStringLiteral("escuro (padrão, como na tela) ou claro (texto escuro em fundo "
                                                  "branco, para imprimir)."),
                                   QStringLiteral("TEMA"));
    QCommandLineOption snapshotOpt(QStringLiteral("snapshot"), QStringLiteral("Grava a imagem do painel (PNG)."),
                                   QStringLiteral("ARQUIVO.png"));
    QCommandLineOption jsonOpt(QStringLiteral("export-json"), QStringLiteral("Grava o conteúdo do painel (JSON)."),
                               QStringLiteral("ARQUIVO"));
    QCommandLineOption timeoutOpt(QStringLiteral("timeout"),
                                  QStringLiteral("Prazo de cada chamada ao servidor, em segundos (padrão 30)."),
                                  QStringLiteral("SEGUNDOS"));
    QCommandLineOption tlsCaOpt(QStringLiteral("tls-ca"),
                                QStringLiteral("Conecta com TLS, validando o servidor por esta autoridade certificadora."),
                                QStringLiteral("ARQUIVO"));
    QCommandLineOption tlsCertOpt(QStringLiteral("tls-cert"),
                                  QStringLiteral("Certificado (PEM) que o cliente apresenta ao servidor; com --tls-key e --tls-ca."),
                                  QStringLiteral("ARQUIVO"));
    QCommandLineOption tlsKeyOpt(QStringLiteral("tls-key"), QStringLiteral("Chave privada (PEM) do certificado do cliente."),
                                 QStringLiteral("ARQUIVO"));
    QCommandLineOption noScaleOpt(QStringLiteral("no-scale"),
                                  QStringLiteral("Mantém o painel no tamanho em que foi desenhado, sem ajustá-lo à tela."));
    QCommandLineOption kioskOpt(QStringLiteral("kiosk"),
                                QStringLiteral("Tela de parede: o painel do mês de --month (AAAA-MM ou current, o mês do "
                                               "calendário, padrão) em tela cheia, sem diálogo, atualizado a cada --cycle "
                                               "segundos; Ctrl+Q encerra."));
    QCommandLineOption cycleOpt(QStringLiteral("cycle"),
                                QStringLiteral("Intervalo entre as atualizações com --kiosk, em segundos (padrão 60)."),
                                QStringLiteral("SEGUNDOS"));
    QCommandLineOption subscriptionOpt(QStringLiteral("send-subscription"),
                                       QStringLiteral("Envia por e-mail o caderno do mês fechado da assinatura, quando chegou o "
                                                      "dia e a hora dela e ainda não foi enviado (veja mail.md); com --month, o "
                                                      "mês a tratar como fechado."),
                                       QStringLiteral("ARQUIVO"));
    QCommandLineOption nowOpt(QStringLiteral("now"), QStringLiteral("Com --send-subscription: envia já, mesmo fora do dia ou se "
                                                                    "já foi enviado."));
    const QList<QCommandLineOption> all{helpOpt, versionOpt, moduleOpt, serverOpt, launchOpt, monthOpt, snapshotOpt, jsonOpt,
                                        csvOpt, pdfOpt, companyOpt, pdfThemeOpt, timeoutOpt, tlsCaOpt, tlsCertOpt, tlsKeyOpt,
                                        noScaleOpt, kioskOpt, cycleOpt, subscriptionOpt, nowOpt};
    parser.addOptions(all);
    // Parsed here rather than by process(), which ends with status 1 and an English message.
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.unknownOptionNames().isEmpty()
                          ? QStringLiteral("falta o valor de uma opção (veja --help)")
                          : QStringLiteral("opção desconhecida: %1 (veja --help)")
                                .arg(shown(parser.unknownOptionNames().constFirst())));
    if (parser.isSet(helpOpt)) {
        printHelp(all);
        return 0;
    }
    if (parser.isSet(versionOpt)) {
        std::printf("kpd-host %s\n", KPD_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("argumento inesperado: %1 (veja --help)")
                          .arg(shown(parser.positionalArguments().constFirst())));

    // An empty path would otherwise mean "not asked for": the run would end well and write nothing.
    for (const QCommandLineOption& output : {snapshotOpt, jsonOpt, csvOpt, pdfOpt})
        for (const QString& path : parser.values(output))
            if (path.trimmed().isEmpty())
                return refuse(QStringLiteral("caminho vazio em --%1: informe onde gravar").arg(output.names().constFirst()));
    Subscription subscription;
    if (parser.isSet(subscriptionOpt)) {
        QString error;
        if (!Subscription::load(parser.value(subscriptionOpt), &subscription, &error))
            return refuse(error);
        if (subscription.company.isEmpty())
            subscription.company = QSettings().value(QStringLiteral("empresa")).toString();
        for (const QCommandLineOption& other : {snapshotOpt, jsonOpt, csvOpt, pdfOpt, companyOpt, pdfThemeOpt, kioskOpt, launchOpt})
            if (parser.isSet(other))
                return refuse(QStringLiteral("--%1 não se aplica a --send-subscription (a assinatura diz o que enviar)")
                                  .arg(other.names().constFirst()));
    } else if (parser.isSet(nowOpt)) {
        return refuse(QStringLiteral("--now só se aplica a --send-subscription"));
    }
    if (!subscription.server.isEmpty() && !parser.isSet(serverOpt)) {
        QString host;
        int port = 0;
        if (!HostSettings::ParseAddress(subscription.server, &host, &port))
            return refuse(QStringLiteral("endereço inválido em servidor da assinatura: %1").arg(shown(subscription.server)));
        HostSettings::SetOverride(host, port);
    }
    if (parser.isSet(serverOpt)) {
        QString host;
        int port = 0;
        if (!HostSettings::ParseAddress(parser.value(serverOpt), &host, &port))
            return refuse(QStringLiteral("endereço inválido em --server: %1 (use HOST:PORTA ou [IPv6]:PORTA)")
                              .arg(shown(parser.value(serverOpt))));
        HostSettings::SetOverride(host, port);
    }
    if (parser.isSet(timeoutOpt)) {
        bool ok = false;
        const double seconds = QLocale::c().toDouble(parser.value(timeoutOpt), &ok);
        // "nan" and "inf" convert: a comparison alone would let NaN through.
        if (!ok || !std::isfinite(seconds) || seconds < 1 || seconds > 3600)
            return refuse(QStringLiteral("prazo inválido em --timeout: %1 (segundos, de 1 a 3600)")
                              .arg(shown(parser.value(timeoutOpt))));
        TRemoteCallClient::SetDefaultCallTimeoutMs(static_cast<int>(seconds * 1000));
    }
    if (parser.isSet(tlsCaOpt) || parser.isSet(tlsCertOpt) || parser.isSet(tlsKeyOpt)) {
        const HostSettings::TlsFiles tls{parser.value(tlsCaOpt), parser.value(tlsCertOpt), parser.value(tlsKeyOpt)};
        const QString why = tls.ca.isEmpty() && tls.cert.isEmpty() && tls.key.isEmpty()
                                ? QStringLiteral("Informe o arquivo em --tls-ca.")
                                : HostSettings::CheckTls(tls);
        if (!why.isEmpty()) {
            std::fprintf(stderr, "kpd-host: %s\n", qPrintable(why));
            return 2;
        }
        HostSettings::SetTlsOverride(tls);
    } else {
        HostSettings::ApplyTls();
    }
    // The module asks for the address at every connect, so a change in the settings dialog is used next time.
    SetServerAddressProvider([] { return HostSettings::Host(); }, [] { return HostSettings::Port(); });

    ModuleLoader module;
    if (!module.Load(parser.value(moduleOpt)))
        std::fprintf(stderr, "kpd-host: %s\n", qPrintable(module.ErrorString()));

    if (parser.isSet(subscriptionOpt)) {
        QDate closed;
        if (parser.isSet(monthOpt)) {
            QList<QDate> months;
            QString error;
            if (!ParseMonths(parser.values(monthOpt), &months, &error) || months.size() != 1)
                return refuse(QStringLiteral("com --send-subscription, --month é um só mês AAAA-MM"));
            closed = months.first();
        }
        QApplication::setQuitOnLastWindowClosed(false);
        return SendSubscription(module, subscription, QDateTime::currentDateTime(), parser.isSet(nowOpt), closed);
    }

    if (parser.isSet(kioskOpt)) {
        WallScreenOptions wall;
        const QStringList months = parser.values(monthOpt);
        QList<QDate> parsed;
        QString error;
        if (months.size() > 1 || (months.size() == 1 && months.first() != QLatin1String("current") &&
                                  (!ParseMonths(months, &parsed, &error) || parsed.size() != 1)))
            return refuse(QStringLiteral("mês inválido em --month com --kiosk: %1 (use AAAA-MM ou current)")
                              .arg(shown(months.join(QLatin1Char(' ')))));
        wall.month = parsed.value(0);
        if (parser.isSet(cycleOpt)) {
            bool ok = false;
            wall.cycleSeconds = parser.value(cycleOpt).toInt(&ok);
            if (!ok || wall.cycleSeconds < 1 || wall.cycleSeconds > 86400)
                return refuse(QStringLiteral("intervalo inválido em --cycle: %1 (segundos, de 1 a 86400)")
                                  .arg(shown(parser.value(cycleOpt))));
        }
        for (const QCommandLineOption& other : {snapshotOpt, jsonOpt, pdfOpt, launchOpt, noScaleOpt})
            if (parser.isSet(other))
                return refuse(QStringLiteral("--%1 não se aplica a --kiosk").arg(other.names().constFirst()));
        WallScreen screen(module, wall);
        QObject::connect(&screen, &WallScreen::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        if (!screen.Start())
            return 1;
        return app.exec();
    }
    if (parser.isSet(cycleOpt))
        return refuse(QStringLiteral("--cycle só se aplica a --kiosk"));

    if (parser.isSet(monthOpt)) {
        HeadlessOptions options;
        options.snapshot = parser.value(snapshotOpt);
        options.json = parser.value(jsonOpt);
        options.pdf = parser.value(pdfOpt);
        options.csv = parser.value(csvOpt);
        options.company = parser.isSet(companyOpt) ? parser.value(companyOpt)
                                                   : QSettings().value(QStringLiteral("empresa")).toString();
        const QString theme = parser.value(pdfThemeOpt);
        if (!theme.isEmpty() && theme != QLatin1String("claro") && theme != QLatin1String("escuro"))
            return refuse(QStringLiteral("tema inválido em --pdf-theme: %1 (use claro ou escuro)").arg(shown(theme)));
        options.lightPdf = theme == QLatin1String("claro");
        QString error;
        if (!ParseMonths(parser.values(monthOpt), &options.months, &error) || !CheckHeadlessOptions(options, &error))
            return refuse(error);
        QApplication::setQuitOnLastWindowClosed(false);
        return RunHeadless(module, options);
    }

    // The headless run keeps the stored size whatever screen the platform reports; on a desktop the
    // dashboard fits the screen it opens on unless asked not to.
    Application()->SetFit(parser.isSet(noScaleOpt) ? TApplication::WindowFit::Stored : TApplication::WindowFit::Screen);
    MainWindow window(&module);
    window.show();
    if (parser.isSet(launchOpt))
        QTimer::singleShot(0, &window, &MainWindow::OpenModule);
    return app.exec();
}
