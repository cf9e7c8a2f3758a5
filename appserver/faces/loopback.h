#pragma once

#include <QString>

struct sockaddr;

namespace appserver {

/// Whether an address reaches only this machine: 127.0.0.0/8, ::1, or a 127 address mapped into IPv6.
/// The one test of the server's faces for "plain text is allowed here".
bool isLoopback(const sockaddr* address);

/// Whether every address host stands for when a face binds it (a name, an IPv4 or an [IPv6] literal;
/// empty for every interface) passes isLoopback(); false when it stands for none.
bool isLoopbackHost(const QString& host);

} // namespace appserver
