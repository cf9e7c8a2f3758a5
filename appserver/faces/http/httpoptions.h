#pragma once

#include <QString>
#include <QStringList>

namespace appserver {

/// The options of the browser face, sign-in and metrics. They are taken out of the command line before
/// the server's own options are read, so the two sets stay apart.
struct HttpOptions {
    QString http;          ///< --http HOST:PORT: the page, /api/cockpit and /metrics
    QString metricsOnly;   ///< --metrics-only HOST:PORT: /metrics alone
    QString users;         ///< --users FILE: who may sign in
    QString addUser;       ///< --add-user NAME: add or change a user in --users and end
    QString removeUser;    ///< --remove-user NAME: take a user out of --users and end
    QString audit;         ///< --audit FILE: who signed in, saw and took what (reopened on SIGHUP)
    /// The company's directory: --ldap URI, where and how users are found, the service account
    /// (its password from a file or KPD_LDAP_BIND_PASSWORD, never the command line), the group, the CA.
    QString ldap, ldapBase, ldapFilter, ldapBindDn, ldapBindUser, ldapBindPasswordFile, ldapGroup, ldapCa;
    int ldapTimeoutMs = kDefaultLdapTimeoutMs;   ///< --ldap-timeout SECONDS: each call to the directory
    static constexpr int kDefaultLdapTimeoutMs = 5000;
    /// --http-per-address N: connections one client address may hold at once
    int connectionsPerAddress = kDefaultConnectionsPerAddress;
    /// --http-deadline SECONDS: how long a browser's call may take, at most the statement timeout
    int callDeadlineMs = kDefaultCallDeadlineMs;

    static constexpr int kDefaultCallDeadlineMs = 10000;
    static constexpr int kDefaultConnectionsPerAddress = 64;

    /// Removes the options above from args; false with a Portuguese message on a mistake.
    static bool extract(QStringList& args, HttpOptions& out, QString& error);
    static QString usage();
};

} // namespace appserver
