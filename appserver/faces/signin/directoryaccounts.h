#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

namespace appserver {

/// Sign-in against the company's directory (LDAP, OpenLDAP's client library): the user is found by a
/// search (base and filter, as the service account or anonymously) or by a DN pattern, their password
/// is checked by a bind as them, and, with a group, their membership is read anew at each sign-in.
/// Nothing is kept between sign-ins: a fresh connection each time, so a changed password, a disabled
/// account or a removed member counts at once. Every call is bounded by the timeout; a directory that
/// is away is "unavailable", never a sign-in. Thread-safe (one connection per check).
class DirectoryAccounts {
public:
    struct Settings {
        QString uri;            ///< ldaps://HOST[:PORT], or ldap:// (StartTLS, unless HOST is loopback)
        QString base;           ///< where to search for the user
        QString filter;         ///< search filter, %s standing for the login name (escaped, RFC 4515)
        QString bindDnPattern;  ///< instead of a search: the user's DN, %s the login name (escaped, RFC 4514)
        QString serviceDn;      ///< who searches; empty: anonymously
        QByteArray servicePassword;
        QString group;          ///< DN of a group whose members (attribute member) may sign in; empty: anyone found
        QString caFile;         ///< the directory's certificate authority (PEM); empty: the system's
        std::chrono::milliseconds timeout{5000};   ///< each network call
    };

    enum class Verdict {
        Granted,
        Refused,        ///< unknown name or wrong password
        EmptyPassword,  ///< refused before any connection: an empty password would be an anonymous bind
        NotMember,
        Unavailable,    ///< the directory did not answer, refused TLS, or refused the service account
    };
    struct Result {
        Verdict verdict = Verdict::Unavailable;
        QString detail;   ///< for the log: what the directory said; never a password
    };

    /// Checks the settings (one URI of ldap:// or ldaps://, a way to find users, TLS where required);
    /// false with a Portuguese message.
    bool configure(const Settings& settings, QString& error);
    bool isConfigured() const { return !m_settings.uri.isEmpty(); }
    Result verify(const QString& name, const QByteArray& password) const;

    /// A value for a search filter, as libldap escapes it (RFC 4515): * ( ) \, NUL and the bytes of
    /// every non-ASCII character as \XX.
    static QString escapeFilter(const QString& value);
    /// A value for an attribute of a DN (RFC 4514): , + " \ < > ; = and NUL escaped, and a leading
    /// space or # and a trailing space.
    static QString escapeDn(const QString& value);

private:
    Settings m_settings;
    bool m_startTls = false;
};

} // namespace appserver
