#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

namespace appserver {

/// The command line of kpd-appserver.
struct ServerOptions {
    static constexpr const char* kDefaultListen = "127.0.0.1:2113";

    static constexpr int kDefaultPool = 8;
    static constexpr int kDefaultQueue = 64;
    static constexpr int kDefaultKeepMemoryMib = 128;
    /// How long a call's statements may run on a pooled connection, whichever face the call came by: a
    /// stuck statement must not hold a connection forever. No face waits longer for a call.
    static constexpr int kStatementTimeoutMs = 30000;

    bool help = false;
    bool version = false;
    QString dbPath;         ///< SQLite file or postgresql:// URI
    int dbPool = kDefaultPool;
    int dbQueue = kDefaultQueue;   ///< calls that may wait for a connection; more are refused at once
    bool initSchema = false;   ///< create the tables when the database has none
    bool rebuildSummary = false;   ///< sum the monthly summary again and stop
    bool noSummary = false;   ///< read months from the daily rows, not the monthly summary
    bool noKeep = false;      ///< compute every call's month, keeping no answer
    int keepMemoryMib = kDefaultKeepMemoryMib;   ///< about how much memory kept answers may take
    QString importDir;      ///< set: load the CSV files of this folder instead of serving
    QString listen = QString::fromLatin1(kDefaultListen);
    QString tlsCert;
    QString tlsKey;
    QString tlsClientCa;    ///< set: every client must present a certificate signed by this CA
    bool insecureListen = false;   ///< allows plain text on an address other than loopback
    QString alertRules;     ///< set: the alert rules file (docs/mail.md)
    QString logPath;        ///< set: the log goes to this file (appended), reopened on SIGHUP
    QString initDemoPath;   ///< set: write a demo database instead of serving
    int branches = 60;
    int months = 36;
    QDate endMonth;

    /// Parses the arguments after the program name. On a mistake returns false with a Portuguese
    /// message in error.
    static bool parse(const QStringList& args, ServerOptions& out, QString& error);
    static QString usage();
};

} // namespace appserver
