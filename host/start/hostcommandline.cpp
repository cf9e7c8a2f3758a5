#include "hostcommandline.h"

#include "moduleloader.h"
#include "wiretext.h"

#include <QCoreApplication>

#include <cstdio>

HostCommandLine::HostCommandLine()
    : help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Mostra esta ajuda e termina.")),
      version({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Mostra a versão e termina.")),
      module(QStringLiteral("module"), QStringLiteral("Caminho do módulo."), QStringLiteral("CAMINHO"),
             ModuleLoader::DefaultPath()),
      server(QStringLiteral("server"), QStringLiteral("Servidor de aplicação HOST:PORTA (padrão: o das configurações)."),
             QStringLiteral("HOST:PORTA")),
      launch(QStringLiteral("launch"), QStringLiteral("Abre o módulo logo ao iniciar.")),
      month(QStringLiteral("month"),
            QStringLiteral("Abre o painel do mês sem interação e encerra (modo sem tela). Pode ser "
                           "repetido e aceita períodos AAAA-MM..AAAA-MM; {month} nos caminhos de "
                           "saída vira AAAA-MM."),
            QStringLiteral("AAAA-MM")),
      pdf(QStringLiteral("pdf"),
          QStringLiteral("Grava o caderno do conselho em PDF: capa, e por mês o painel e o resumo "
                         "(modo sem tela)."),
          QStringLiteral("ARQUIVO.pdf")),
      csv(QStringLiteral("export-csv"),
          QStringLiteral("Grava as listas do painel como planilhas CSV (uma por lista) na pasta."),
          QStringLiteral("PASTA")),
      company(QStringLiteral("company"),
              QStringLiteral("Nome da empresa na capa do PDF (padrão: o das configurações)."),
              QStringLiteral("NOME")),
      pdfTheme(QStringLiteral("pdf-theme"),
               QStringLiteral("escuro (padrão, como na tela) ou claro (texto escuro em fundo "
                              "branco, para imprimir)."),
               QStringLiteral("TEMA")),
      snapshot(QStringLiteral("snapshot"), QStringLiteral("Grava a imagem do painel (PNG)."),
               QStringLiteral("ARQUIVO.png")),
      json(QStringLiteral("export-json"), QStringLiteral("Grava o conteúdo do painel (JSON)."),
           QStringLiteral("ARQUIVO")),
      timeout(QStringLiteral("timeout"),
              QStringLiteral("Prazo de cada chamada ao servidor, em segundos (padrão 30)."),
              QStringLiteral("SEGUNDOS")),
      tlsCa(QStringLiteral("tls-ca"),
            QStringLiteral("Conecta com TLS, validando o servidor por esta autoridade certificadora."),
            QStringLiteral("ARQUIVO")),
      tlsCert(QStringLiteral("tls-cert"),
              QStringLiteral("Certificado (PEM) que o cliente apresenta ao servidor; com --tls-key e --tls-ca."),
              QStringLiteral("ARQUIVO")),
      tlsKey(QStringLiteral("tls-key"), QStringLiteral("Chave privada (PEM) do certificado do cliente."),
             QStringLiteral("ARQUIVO")),
      noScale(QStringLiteral("no-scale"),
              QStringLiteral("Mantém o painel no tamanho em que foi desenhado, sem ajustá-lo à tela.")),
      kiosk(QStringLiteral("kiosk"),
            QStringLiteral("Tela de parede: o painel do mês de --month (AAAA-MM ou current, o mês do "
                           "calendário, padrão) em tela cheia, sem diálogo, atualizado a cada --cycle "
                           "segundos; Ctrl+Q encerra.")),
      cycle(QStringLiteral("cycle"),
            QStringLiteral("Intervalo entre as atualizações com --kiosk, em segundos (padrão 60)."),
            QStringLiteral("SEGUNDOS")),
      subscription(QStringLiteral("send-subscription"),
                   QStringLiteral("Envia por e-mail o caderno do mês fechado da assinatura, quando chegou o "
                                  "dia e a hora dela e ainda não foi enviado (veja mail.md); com --month, o "
                                  "mês a tratar como fechado."),
                   QStringLiteral("ARQUIVO")),
      now(QStringLiteral("now"), QStringLiteral("Com --send-subscription: envia já, mesmo fora do dia ou se "
                                                "já foi enviado."))
{
    m_parser.setApplicationDescription(QStringLiteral("Aplicação hospedeira dos Indicadores de Resultado"));
    m_parser.addOptions(All());
}

QList<QCommandLineOption> HostCommandLine::All() const
{
    return {help,     version, module, server,  launch, month,   snapshot, json,  csv,          pdf, company,
            pdfTheme, timeout, tlsCa,  tlsCert, tlsKey, noScale, kiosk,    cycle, subscription, now};
}

std::optional<int> HostCommandLine::Parse()
{
    // Parsed here rather than by process(), which ends with status 1 and an English message.
    if (!m_parser.parse(QCoreApplication::arguments()))
        return Refuse(m_parser.unknownOptionNames().isEmpty()
                          ? QStringLiteral("falta o valor de uma opção (veja --help)")
                          : QStringLiteral("opção desconhecida: %1 (veja --help)")
                                .arg(Shown(m_parser.unknownOptionNames().constFirst())));
    if (m_parser.isSet(help)) {
        PrintHelp();
        return 0;
    }
    if (m_parser.isSet(version)) {
        std::printf("kpd-host %s\n", KPD_VERSION);
        return 0;
    }
    if (!m_parser.positionalArguments().isEmpty())
        return Refuse(QStringLiteral("argumento inesperado: %1 (veja --help)")
                      .arg(Shown(m_parser.positionalArguments().constFirst())));

    // An empty path would otherwise mean "not asked for": the run would end well and write nothing.
    for (const QCommandLineOption& output : {snapshot, json, csv, pdf})
        for (const QString& path : m_parser.values(output))
            if (path.trimmed().isEmpty())
                return Refuse(QStringLiteral("caminho vazio em --%1: informe onde gravar").arg(output.names().constFirst()));
    return std::nullopt;
}

int HostCommandLine::Refuse(const QString& message)
{
    std::fprintf(stderr, "kpd-host: %s\n", message.toUtf8().constData());
    return 2;
}

QString HostCommandLine::Shown(const QString& argument) { return WireText::Printable(argument, 80); }

void HostCommandLine::PrintHelp() const
{
    const QList<QCommandLineOption> options = All();
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
