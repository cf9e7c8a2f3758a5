#pragma once

#include <QString>

// Where the host keeps the application server's address and the files of its TLS link. A --server
// (--tls-*) option overrides the stored value for this run; the settings dialog changes the stored value,
// used at the next connect.
class HostSettings {
public:
    // PEM files: the authority that signed the server's certificate (empty: plain text), and the
    // certificate and key the host presents to a server that requires one.
    struct TlsFiles {
        QString ca;
        QString cert;
        QString key;
    };

    static QString Host();
    static int Port();
    static void SetStored(const QString& host, int port);
    static void SetOverride(const QString& host, int port);
    static void ClearOverride();

    static TlsFiles Tls();
    static void SetStoredTls(const TlsFiles& files);
    static void SetTlsOverride(const TlsFiles& files);
    // Why these files cannot make a TLS link (a file unreadable or empty, a certificate without its key
    // or without an authority), in Portuguese; empty when they can.
    static QString CheckTls(const TlsFiles& files);
    // Hands the files in force to the remote call client, for the next connect.
    static void ApplyTls();

    // Parses exactly "HOST:PORT" or "[IPv6]:PORT" (a host name or IPv4 address, no blanks; a port from 1 to
    // 65535 in digits); false for anything else.
    static bool ParseAddress(const QString& text, QString* host, int* port);
};
