#include "messagedlg.h"

#include "wiretext.h"

#include <QApplication>
#include <QMessageBox>

namespace {

const char* const kTransientProperty = "kpdTransientMessage";

MessagePresenter& presenterSlot()
{
    static MessagePresenter presenter;
    return presenter;
}

} // namespace

void ShowMessageBox(MessageKind kind, const QString& text)
{
    QMessageBox::Icon icon = QMessageBox::Critical;
    QString title = QStringLiteral("Erro");
    if (kind == MessageKind::Warning) {
        icon = QMessageBox::Warning;
        title = QStringLiteral("Atenção");
    } else if (kind == MessageKind::Information) {
        icon = QMessageBox::Information;
        title = QStringLiteral("Informação");
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setProperty(kTransientProperty, true);
    box.exec();
}

void SetMessagePresenter(MessagePresenter presenter) { presenterSlot() = std::move(presenter); }

const MessagePresenter& CurrentMessagePresenter() { return presenterSlot(); }

void ShowMessageDlg(MessageKind kind, const QString& text)
{
    // Messages quote what the server sent; its control characters must not drive a terminal or a box.
    const QString shown = WireText::Printable(text, -1, true);
    if (const auto& presenter = presenterSlot())
        presenter(kind, shown);
    else
        ShowMessageBox(kind, shown);
}

bool IsTransientMessageWindow(const QWidget* window)
{
    return window && window->property(kTransientProperty).toBool();
}
