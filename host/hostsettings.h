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

    // Parses "HOST:PORT" (an IPv6 host in brackets); false when it is not of that form.
    static bool ParseAddress(const QString& text, QString* host, int* port);
};
