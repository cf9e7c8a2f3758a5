#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

class TNetConnection;

// Late-bound reference to the remote data module a TNetConnection reaches: methods are called by name.
class TAppServer {
public:
    explicit TAppServer(TNetConnection* connection) : m_connection(connection) {}

    // Calls `method` on the connection's remote data module; every argument is by reference and comes back
    // as the server left it. Throws ERemoteError when the connection is closed or the call fails.
    QVariant Invoke(const QString& method, QVariantList& args);

private:
    TNetConnection* m_connection;
};
