#pragma once

#include "callscope.h"

#include <QString>

#include <cstdio>
#include <mutex>
#include <string>

namespace appserver {

class Metrics;

/// How much of a name taken from a call the log and the status texts repeat.
constexpr qsizetype kEchoedNameChars = 100;

/// One log line and one count per call, whichever face received it:
/// "time module method ref=… milliseconds outcome[: message]". Outcomes are named as gRPC names its
/// codes (OK, DEADLINE_EXCEEDED, …), FALHA for a call the database failed; names and messages from
/// outside are escaped and cut, so no caller can start a line of its own. Thread-safe.
class CallLog {
public:
    /// log may be null for no log, metrics for no counts.
    CallLog(std::FILE* log, Metrics* metrics) : m_log(log), m_metrics(metrics) {}

    struct Call {
        QString module, method;    ///< as echoed()
        QString methodLabel;       ///< the method's own name when the server knows it; "desconhecido" otherwise
        QString detail = QStringLiteral("-");   ///< what the arguments were, e.g. the reference date
        qint64 nanoseconds = 0;
        QString outcome = QStringLiteral("OK");
        QString message;           ///< why it failed; empty when it did not
    };
    void record(const Call& call);

    /// A name from a request as the log and the status texts repeat it.
    static QString echoed(const std::string& name);
    static QString echoedMessage(const QString& message);
    /// The outcome of a call that ended before its answer.
    static QString outcomeOf(CallEnd end);

private:
    std::FILE* m_log;
    Metrics* m_metrics;
    std::mutex m_mutex;
};

} // namespace appserver
