#include "eventboundary.h"

#include "exceptions.h"
#include "messagedlg.h"

void HandleException(std::exception_ptr error) noexcept
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
