#pragma once

#include "serverprocess.h"

#include <QString>
#include <QStringList>

// Starts kpd-appserver over the demo database (created on first use, one file per month of generation,
// since the demo runs up to the current month) and points the host's server address at it. The server's
// log goes to `logName` in the benchmarks' build folder: nothing reads its pipe while benchmarks run, and
// a full pipe would block the server in the middle of a call. False, with the reason on standard error,
// when it cannot.
// extraArgs go to the server as well (e.g. --http 127.0.0.1:0).
bool StartDemoServer(ServerProcess& server, const QString& logName, const QStringList& extraArgs = {});
// Where StartDemoServer writes the log of that name.
QString DemoServerLogPath(const QString& logName);
