#include "hostfunctions.h"

#include "presentation.h"

#include "exceptions.h"
#include "messagedlg.h"
#include "wiretext.h"

#include <QSettings>

namespace {
std::function<QString()> g_hostProvider;
std::function<int()> g_portProvider;

constexpr int kDefaultPort = 2113;
} // namespace

void MensErro(const QString& text, bool abort)
{
    ShowMessageDlg(MessageKind::Error, text);
    if (abort)
        throw EAbort(text);
}

QVariant CheckResultServ(const QVariant& status, bool abort, int options)
{
    Q_UNUSED(options);
    // Success is an integer 0 and nothing else (docs/protocol.md): a false, a 0.0 or a missing status could be
    // any server's idea of a failure, and taking it for success would show figures that were never computed.
    switch (status.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        if (status.toLongLong() != 0)
            MensErro(QStringLiteral("O servidor de aplicação informou uma falha (código %1).").arg(status.toLongLong()),
                     abort);
        return status;
    case QMetaType::QString:
        // The server's own words; a text without any is still a failure.
        if (EmptyString(status.toString()))
            MensErro(QStringLiteral("O servidor de aplicação informou uma falha sem descrevê-la."), abort);
        else
            MensErro(WireText::Printable(status.toString(), 2000), abort);
        return status;
    default: break;
    }
    if (status.isNull() || !status.isValid())
        MensErro(QStringLiteral("O servidor de aplicação não devolveu o status da chamada."), abort);
    else
        MensErro(QStringLiteral("O servidor de aplicação devolveu um status de tipo inesperado."), abort);
    return status;
}

QString NomeMes(TDateTime date)
{
    const QDate d = DateTimeUtil::toDate(date);
    return d.isValid() ? MonthName(d.month()) : QString();
}

bool EmptyString(const QString& text) { return text.trimmed().isEmpty(); }

QString WebURL()
{
    if (g_hostProvider)
        return g_hostProvider();
    return QSettings().value(QStringLiteral("server/host"), QStringLiteral("127.0.0.1")).toString();
}

int WebPort()
{
    if (g_portProvider)
        return g_portProvider();
    return QSettings().value(QStringLiteral("server/port"), kDefaultPort).toInt();
}

void SetServerAddressProvider(std::function<QString()> host, std::function<int()> port)
{
    g_hostProvider = std::move(host);
    g_portProvider = std::move(port);
}
