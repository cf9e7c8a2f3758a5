#include "calllog.h"

#include "metrics.h"
#include "wiretext.h"

#include <QDateTime>

#include <algorithm>

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

void CallLog::record(const Call& call)
{
    if (m_log) {
        QString outcome = call.outcome;
        if (!call.message.isEmpty())
            outcome += QStringLiteral(": ") + echoedMessage(call.message);
        const QString line = QStringLiteral("%1 %2 %3 ref=%4 %5 ms %6\n")
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                      call.module, call.method, call.detail,
                                      QString::number(call.nanoseconds / 1e6, 'f', 2), outcome);
        const QByteArray bytes = line.toUtf8();
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
