#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// kpd-host's command line: its options, read without Qt's English messages and status 1, with the checks
// that hold for every kind of run.
class HostCommandLine {
public:
    HostCommandLine();

    // Reads the application's arguments: an exit status when the run ends here (--help, --version, a
    // mistake, an empty output path), nothing when it goes on.
    std::optional<int> Parse();

    bool IsSet(const QCommandLineOption& option) const { return m_parser.isSet(option); }
    QString Value(const QCommandLineOption& option) const { return m_parser.value(option); }
    QStringList Values(const QCommandLineOption& option) const { return m_parser.values(option); }

    // A command line that cannot be followed: the message on standard error and status 2.
    static int Refuse(const QString& message);
    // An argument as a message repeats it: printable and cut.
    static QString Shown(const QString& argument);

    // Each option, as --help describes it.
    const QCommandLineOption help, version, module, server, launch, month, pdf, csv, company, pdfTheme, snapshot,
        json, timeout, tlsCa, tlsCert, tlsKey, noScale, kiosk, cycle, subscription, now;

private:
    // In the order --help lists them.
    QList<QCommandLineOption> All() const;
    // --help in Portuguese: every option, its value, its default, and examples.
    void PrintHelp() const;

    QCommandLineParser m_parser;
};
