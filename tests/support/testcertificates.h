#pragma once

#include <QString>

#include <string>

/// Certificates for the TLS tests, made with the openssl command: an authority with a certificate for the
/// server (localhost and 127.0.0.1) and one for a client, and a second authority with a client certificate
/// of its own. Files are PEM, in the folder given to create().
struct TestCertificates {
    QString ca;
    QString serverCert;
    QString serverKey;
    QString clientCert;
    QString clientKey;
    QString otherCa;
    QString otherClientCert;
    QString otherClientKey;

    /// False with openssl's message in *error when the command is missing or fails.
    bool create(const QString& dir, QString* error);
    /// A file's contents as gRPC's credential options take them; empty when it cannot be read.
    static std::string read(const QString& path);
};
