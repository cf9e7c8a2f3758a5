#pragma once

#include <QString>

// Where the host keeps the application server's address. A --server option overrides the stored value
// for this run; the settings dialog changes the stored value, used at the next connect.
class HostSettings {
public:
    static QString Host();
    static int Port();
    static void SetStored(const QString& host, int port);
    static void SetOverride(const QString& host, int port);
    static void ClearOverride();

    // Parses exactly "HOST:PORT" or "[IPv6]:PORT" (a host name or IPv4 address, no blanks; a port from 1 to
    // 65535 in digits); false for anything else.
    static bool ParseAddress(const QString& text, QString* host, int* port);
};
