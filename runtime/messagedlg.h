#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class MessageKind { Error, Warning, Information };

// Where user-facing messages go. By default a modal box; a headless host or a test installs its own
// presenter so that nothing waits for a click.
using MessagePresenter = std::function<void(MessageKind, const QString&)>;

void SetMessagePresenter(MessagePresenter presenter);
const MessagePresenter& CurrentMessagePresenter();

// Shows the message and returns once the user has dismissed it. A box shown here is a transient of the
// window that was active: it never counts as another window for the activation rules of TForm. Control
// characters other than line breaks are shown as escapes (\x1B), so a text quoted from the server cannot
// drive a terminal.
void ShowMessageDlg(MessageKind kind, const QString& text);

// The standard presentation: a modal box marked as a transient (used when no presenter is installed).
void ShowMessageBox(MessageKind kind, const QString& text);

// True for the boxes ShowMessageDlg opens.
bool IsTransientMessageWindow(const QWidget* window);
