#include "hostfunctions.h"

#include "exceptions.h"
#include "messagedlg.h"

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
        throw EAbort();
}

QVariant CheckResultServ(const QVariant& status, bool abort, int options)
{
    Q_UNUSED(options);
    // The server answers 0 (or nothing) when the call went well and a text naming the failure otherwise.
    if (status.isNull() || !status.isValid())
        return status;
    if (status.typeId() == QMetaType::QString) {
        const QString text = status.toString();
        if (!EmptyString(text))
            MensErro(text, abort);
        return status;
    }
    bool ok = false;
    const qlonglong code = status.toLongLong(&ok);
    // A status of another kind (a date, a data packet) is no success either: never let it pass silently.
    if (!ok)
        MensErro(QStringLiteral("O servidor de aplicação devolveu um status de tipo inesperado."), abort);
    else if (code != 0)
        MensErro(QStringLiteral("O servidor de aplicação informou uma falha (código %1).").arg(code), abort);
    return status;
}

QString NomeMes(TDateTime date)
{
    static const char* const names[] = {"Janeiro", "Fevereiro", "Março",    "Abril",   "Maio",     "Junho",
                                        "Julho",   "Agosto",    "Setembro", "Outubro", "Novembro", "Dezembro"};
    const QDate d = DateTimeUtil::toDate(date);
    if (!d.isValid())
        return {};
    return QString::fromUtf8(names[d.month() - 1]);
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
