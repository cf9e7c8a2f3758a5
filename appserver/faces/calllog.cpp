#include "calllog.h"

#include "metrics.h"
#include "wiretext.h"


#include <algorithm>
#include <cstdio>
#include <ctime>

namespace appserver {

namespace {

// Status texts and the log quote a failure message at most this long.
constexpr qsizetype kEchoedMessageChars = 400;

} // namespace

QString CallLog::echoed(const std::string& name)
{
    if (name.empty())
        return QStringLiteral("\"\"");
    // Decoding a multi-megabyte name only to cut it would cost more than the call itself.
    // (More than kEchoedNameChars characters are left after the cut, so the cut is still marked.)
    const size_t bytes = std::min(name.size(), size_t(kEchoedNameChars * 4 + 4));
    return WireText::Printable(QString::fromUtf8(name.data(), qsizetype(bytes)), kEchoedNameChars, false,
                               WireText::Escapes::Log);
}

QString CallLog::echoedMessage(const QString& message)
{
    return WireText::Printable(message, kEchoedMessageChars, false, WireText::Escapes::Log);
}

QString CallLog::outcomeOf(CallEnd end)
{
    switch (end) {
    case CallEnd::Cancelled: return QStringLiteral("CANCELLED");
    case CallEnd::DeadlineExceeded: return QStringLiteral("DEADLINE_EXCEEDED");
    case CallEnd::Overloaded: break;
    }
    return QStringLiteral("RESOURCE_EXHAUSTED");
}

namespace {

// A log line's time: the date and time formatted once a second per thread, the milliseconds every time
// (a call on a kept answer takes less than formatting a local time from scratch would).
QByteArray stamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    thread_local time_t second = -1;
    thread_local char text[32] = {};
    if (now.tv_sec != second) {
        std::tm local{};
        localtime_r(&now.tv_sec, &local);
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        second = now.tv_sec;
    }
    char millis[16];
    std::snprintf(millis, sizeof millis, ".%03ld", now.tv_nsec / 1000000);
    return QByteArray(text) + millis;
}

} // namespace

void CallLog::record(const Call& call)
{
    if (m_log) {
        QString outcome = call.outcome;
        if (!call.message.isEmpty())
            outcome += QStringLiteral(": ") + echoedMessage(call.message);
        const QByteArray bytes = stamp() + ' ' + call.module.toUtf8() + ' ' + call.method.toUtf8() + " ref=" + call.detail.toUtf8()
                                 + ' ' + QByteArray::number(call.nanoseconds / 1e6, 'f', 2) + " ms " + outcome.toUtf8() + '\n';
        std::lock_guard lock(m_mutex);
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_log);
        std::fflush(m_log);
    }
    if (m_metrics) {
        // Only names the server knows become labels: a caller must not grow the series without end.
        m_metrics->recordCall(call.methodLabel, call.outcome, static_cast<double>(call.nanoseconds) / 1e9);
        if (call.outcome == QLatin1String("FALHA"))
            m_metrics->recordDatabaseError();
    }
}

} // namespace appserver
