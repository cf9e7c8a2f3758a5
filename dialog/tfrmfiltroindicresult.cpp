#include "tfrmfiltroindicresult.h"

#include "ui_tfrmfiltroindicresult.h"

#include "hostfunctions.h"
#include "moduledata.h"
#include "tbuttonflat.h"
#include "tdateeditplus.h"
#include "tmessages.h"

#include <QGroupBox>
#include <QLabel>

TfrmFiltroIndicResult::TfrmFiltroIndicResult(QWidget* parent)
    : TfrmFiltroPadrao(parent), m_fields(std::make_unique<Ui::TfrmFiltroIndicResult>())
{
    setObjectName(QStringLiteral("frmFiltroIndicResult"));
    setWindowTitle(QStringLiteral("Indicadores de Resultado"));
    // The fields go into the base dialog's group box, which keeps its own place and title.
    const QRect frame = grbFiltroPadrao->geometry();
    const QString title = grbFiltroPadrao->title();
    m_fields->setupUi(grbFiltroPadrao);
    grbFiltroPadrao->setGeometry(frame);
    grbFiltroPadrao->setTitle(title);
    Label1 = m_fields->Label1;
    depData = m_fields->depData;

    move(539, 273);
    lblCodTela->setText(QStringLiteral("RVQ93101"));
    lblCodTela->adjustSize();
    msgPadrao->SetMessages({QStringLiteral("DATA|Data Inválida"), QStringLiteral("EMPTY|Data deve ser Informada")});
    sbtConfirma->OnClick = [this](QObject* s) { sbtConfirmaClick(s); };
    setTabOrder(depData, sbtConfirma);
    setTabOrder(sbtConfirma, sbtCancela);

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
