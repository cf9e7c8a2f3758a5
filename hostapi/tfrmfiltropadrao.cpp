#include "tfrmfiltropadrao.h"

#include "ui_tfrmfiltropadrao.h"

#include "eventboundary.h"
#include "tapplication.h"
#include "tbuttonflat.h"
#include "tmessages.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>

TfrmFiltroPadrao::TfrmFiltroPadrao(QWidget* parent)
    : TfrmFiltroPadrao(parent, [](QDialog* dialog) { Ui::TfrmFiltroPadrao().setupUi(dialog); })
{
}

TfrmFiltroPadrao::TfrmFiltroPadrao(QWidget* parent, const std::function<void(QDialog*)>& setupUi) : QDialog(parent)
{
    // Designed at 96 dpi with a text height of 13 pixels; pixel sizes keep it so on any screen.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setupUi(this);
    Application(); // font substitutes and activation tracking are in place before the first show
    setAttribute(Qt::WA_QuitOnClose, false);
    lblCodTela = DefinedComponent<QLabel>("lblCodTela");
    grbFiltroPadrao = DefinedComponent<QGroupBox>("grbFiltroPadrao");
    panMenu = DefinedComponent<QFrame>("panMenu");
    panBotoes = DefinedComponent<QFrame>("panBotoes");
    sbtConfirma = DefinedComponent<TButtonFlat>("sbtConfirma");
    sbtCancela = DefinedComponent<TButtonFlat>("sbtCancela");
    if (property("Left").isValid() && property("Top").isValid())
        move(property("Left").toInt(), property("Top").toInt());
    sbtConfirma->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    sbtCancela->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

    msgPadrao = new TMessages(this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));

    // Virtual: a derived dialog's own sbtCancelClick runs in its place.
    ConnectGuarded(sbtCancela, &TButtonFlat::OnClick, this, &TfrmFiltroPadrao::sbtCancelClick);
    if (!parent)
        Application()->Adopt(this);
}

TfrmFiltroPadrao::~TfrmFiltroPadrao() = default;

void TfrmFiltroPadrao::DoCreate()
{
    Guarded([this] { FormCreate(this); });
}

int TfrmFiltroPadrao::ShowModal()
{
    m_modalResult = mrNone;
    exec();
    return m_modalResult;
}

void TfrmFiltroPadrao::SetModalResult(int result)
{
    m_modalResult = result;
    if (result != mrNone)
        done(result);
}

void TfrmFiltroPadrao::reject() { SetModalResult(mrCancel); }

void TfrmFiltroPadrao::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        // Flat buttons ignore Enter, so it arrives here: on a focused button it presses that button, as it
        // would on any push button; anywhere else it confirms.
        auto* focused = qobject_cast<QAbstractButton*>(focusWidget());
        QAbstractButton* target = focused && isAncestorOf(focused) ? focused : sbtConfirma;
        if (target->isEnabled()) {
            event->accept();
            target->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

QObject* TfrmFiltroPadrao::FindComponent(const QString& name) const { return FindOwnedComponent(this, name); }

void TfrmFiltroPadrao::FormCreate(QObject* sender) { Q_UNUSED(sender); }

void TfrmFiltroPadrao::sbtCancelClick(QObject* sender) { Q_UNUSED(sender); }
