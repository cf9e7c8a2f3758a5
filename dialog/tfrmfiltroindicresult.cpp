#include "tfrmfiltroindicresult.h"

#include "ui_tfrmfiltroindicresult.h"

#include "eventboundary.h"
#include "hostfunctions.h"
#include "modulestate.h"
#include "tbuttonflat.h"
#include "tdateeditplus.h"
#include "tmessages.h"

#include <QLabel>

TfrmFiltroIndicResult::TfrmFiltroIndicResult(QWidget* parent)
    : TfrmFiltroPadrao(parent, [](QDialog* dialog) { Ui::TfrmFiltroIndicResult().setupUi(dialog); })
{
    Label1 = DefinedComponent<QLabel>("Label1");
    depData = DefinedComponent<TDateEditPlus>("depData");
    lblCodTela->adjustSize(); // the screen code sizes to its text
    msgPadrao->SetMessages({QStringLiteral("DATA|Data Inválida"), QStringLiteral("EMPTY|Data deve ser Informada")});
    ConnectGuarded(sbtConfirma, &TButtonFlat::OnClick, this, &TfrmFiltroIndicResult::sbtConfirmaClick);

    DoCreate();
}

TfrmFiltroIndicResult::~TfrmFiltroIndicResult() = default;

void TfrmFiltroIndicResult::FormCreate(QObject* sender)
{
    TfrmFiltroPadrao::FormCreate(sender);
    depData->SetDate(DateTimeUtil::now());
    depData->SetFocus();
}

void TfrmFiltroIndicResult::sbtConfirmaClick(QObject* sender)
{
    Q_UNUSED(sender);
    if (depData->IsDateValid() && !EmptyString(depData->Text())) {
        dtData = depData->GetDate();
        SetModalResult(mrOk);
        return;
    }
    depData->SetFocus();
    MensErro(depData->IsDateValid() ? msgPadrao->Msg(QStringLiteral("EMPTY")) : msgPadrao->Msg(QStringLiteral("DATA")),
             true);
}

void TfrmFiltroIndicResult::sbtCancelClick(QObject* sender)
{
    TfrmFiltroPadrao::sbtCancelClick(sender);
    SetModalResult(mrCancel);
}
