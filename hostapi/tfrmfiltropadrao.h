#pragma once

#include "tform.h"

#include <QDialog>

#include <functional>

class TMessages;
class TButtonFlat;
class QLabel;
class QGroupBox;
class QFrame;

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

// Standard filter dialog of the in-house package: screen code, a group box for the filter fields, a
// button bar with confirm and cancel, and a message table. A derived dialog has a window definition of
// its own that holds the whole window (this frame with its fields inside grbFiltroPadrao, its caption,
// position and tab order), binds sbtConfirma and ends its modal run by setting the modal result.
//
// A window definition may store the window's position as the dynamic properties Left and Top (screen
// pixels), since a compiled definition applies only the size of its top-level window.
class TfrmFiltroPadrao : public QDialog {
    Q_OBJECT
public:
    // With no parent the application object owns the dialog.
    explicit TfrmFiltroPadrao(QWidget* parent = nullptr);
    ~TfrmFiltroPadrao() override;

    QLabel* lblCodTela = nullptr;
    QGroupBox* grbFiltroPadrao = nullptr;
    QFrame* panMenu = nullptr;
    QFrame* panBotoes = nullptr;
    TButtonFlat* sbtConfirma = nullptr;
    TButtonFlat* sbtCancela = nullptr;
    TMessages* msgPadrao = nullptr;

    // Runs the dialog modally and returns its modal result (mrOk, mrCancel).
    int ShowModal();
    int ModalResult() const { return m_modalResult; }
    // A result other than mrNone ends the modal run.
    void SetModalResult(int result);

    QObject* FindComponent(const QString& name) const;

    virtual void FormCreate(QObject* sender);
    virtual void sbtCancelClick(QObject* sender);

    // Any way of closing other than a confirmation cancels.
    void reject() override;

protected:
    // Enter on a focused button presses it; elsewhere it confirms, as a click on sbtConfirma would (the
    // dialog has no default push button). Escape cancels.
    void keyPressEvent(QKeyEvent* event) override;

    // A derived dialog calls this at the end of its constructor: runs FormCreate in the boundary.
    void DoCreate();

    // For a derived dialog: `setupUi` builds its whole window definition on the dialog, which must hold
    // the frame's components under their names.
    TfrmFiltroPadrao(QWidget* parent, const std::function<void(QDialog*)>& setupUi);

    // A component of the window definition by name; a definition without it is a build fault.
    template <typename T>
    T* DefinedComponent(const char* name)
    {
        auto* c = findChild<T*>(QLatin1String(name));
        if (!c)
            qFatal("A definição da janela %s não tem o componente %s.", qPrintable(objectName()), name);
        return c;
    }

private:
    int m_modalResult = mrNone;
};
