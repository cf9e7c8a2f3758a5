#include "eventboundary.h"

#include "exceptions.h"
#include "messagedlg.h"

#include <QCoreApplication>
#include <QTimer>

namespace {
int g_failures = 0;
int g_deferring = 0;

void report(std::exception_ptr error) noexcept
{
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return; // the message was shown before the handler was abandoned
    } catch (const Exception& e) {
        text = e.Message();
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Erro inesperado.");
    }
    try {
        ShowMessageDlg(MessageKind::Error, text);
    } catch (...) {
        // Showing the error failed as well; the boundary still must not let anything through.
    }
}

} // namespace

int HandlerFailures() noexcept { return g_failures; }

DeferredErrorReports::DeferredErrorReports() noexcept { ++g_deferring; }
DeferredErrorReports::~DeferredErrorReports() { --g_deferring; }

void HandleException(std::exception_ptr error) noexcept
{
    ++g_failures;
    if (g_deferring > 0 && QCoreApplication::instance()) {
        try {
            QTimer::singleShot(0, QCoreApplication::instance(), [error] { report(error); });
            return;
        } catch (...) {
        }
    }
    report(error);
}
