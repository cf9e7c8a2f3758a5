#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <memory>

// Client of the application server: opens a link to HOST:PORT and calls methods of remote data modules
// late-bound, by name, with positional variant arguments that all travel by reference.
//
// Values: null, bool, integers, double, QString, QDateTime/QDate (the host's date-time) and TDataPacket
// (see packetcodec.h for the exact mapping). Every failure raises ERemoteError with a Portuguese message
// that says what happened; a reply above RemoteFailure::kMaxReplyBytes is refused unread.
// Used on the GUI thread; every call blocks until the server answers or its deadline expires.
class TRemoteCallClient {
public:
    TRemoteCallClient();
    ~TRemoteCallClient();
    TRemoteCallClient(const TRemoteCallClient&) = delete;
    TRemoteCallClient& operator=(const TRemoteCallClient&) = delete;

    QString Host() const { return m_host; }
    void SetHost(const QString& host) { m_host = host; }
    int Port() const { return m_port; }
    void SetPort(int port) { m_port = port; }

    // Deadline of every call in milliseconds; 0 (the default) uses DefaultCallTimeoutMs().
    int CallTimeoutMs() const { return m_callTimeoutMs; }
    void SetCallTimeoutMs(int ms) { m_callTimeoutMs = ms < 0 ? 0 : ms; }
    int EffectiveCallTimeoutMs() const;

    // Opens the link now, with the current host and port, and waits until it is usable. Fails at once when
    // the server refuses, cannot be resolved or fails the TLS handshake, at the latest after
    // ConnectTimeoutMs(): "Não foi possível conectar ao servidor de aplicação HOST:PORT: reason." (the reasons
    // are in remotefailure.cpp). Connecting an open client reconnects.
    void Connect();
    void Disconnect();
    bool Connected() const;

    // Calls `method` of the remote data module `serverName`. On return `args` holds the arguments as the
    // server left them; on failure `args` is unchanged. Returns the method's own result.
    QVariant Invoke(const QString& serverName, const QString& method, QVariantList& args);

    // Process-wide settings the host sets once (command line or configuration).
    static int DefaultCallTimeoutMs();              // 30 000 unless set
    static void SetDefaultCallTimeoutMs(int ms);    // values below 1 restore 30 000
    static int ConnectTimeoutMs();                  // 5 000 unless set
    static void SetConnectTimeoutMs(int ms);        // values below 1 restore 5 000
    // PEM file of the certificate authority that signed the server's certificate. Empty: plain text link.
    static QString TlsCaFile();
    static void SetTlsCaFile(const QString& path);
    // PEM files of the certificate and key this client presents to a server that requires one (with a CA
    // file only). Empty: none.
    static QString TlsCertFile();
    static QString TlsKeyFile();
    static void SetTlsClientCertificate(const QString& certPath, const QString& keyPath);

    // "HOST:PORT" as the messages name it.
    QString Address() const;

private:
    struct Link;
    QString m_host = QStringLiteral("127.0.0.1");
    int m_port = 0;
    int m_callTimeoutMs = 0;
    std::unique_ptr<Link> m_link;
};
