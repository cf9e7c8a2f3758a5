#pragma once

#include <QString>

namespace appserver {

/// The server's own words to the operator: everything goes to standard error, which --log points at a
/// file of its own.
class ServerLog {
public:
    /// One line "kpd-appserver: message".
    static void fail(const QString& message);
    /// --log: standard error appended to path, opened anew by SIGHUP after a rotation moved it away.
    /// False with a Portuguese message.
    static bool open(const QString& path, QString& error);
};

} // namespace appserver
