#include "tfrmindiresult.h"

#include "tmessages.h"

__attribute__((visibility("default"))) TfrmIndiResult* frmIndiResult = nullptr;

TfrmIndiResult::TfrmIndiResult(QWidget* owner) : TForm(owner)
{
    setObjectName(QStringLiteral("frmIndiResult"));
    setWindowTitle(QStringLiteral("Indicadores de Resultado"));
    setWindowFlag(Qt::FramelessWindowHint, true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);

    msgPadrao = new TMessages(this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
    msgPadrao->SetMessages({
        QStringLiteral("REGIONAIS>5|Há mais de 5 regionais cadastradas no sistema.Este cockpit está programado "
                       "para exibir dados de apenas 5 regionais."),
        QStringLiteral("DTULTATU|Última Atualização : "),
        QStringLiteral("QTFILI|Quantidade de Unidades: "),
        QStringLiteral("TITULO|BI Business Intelligence - Resultados Operacionais "),
    });

    createLayout();
    createDataComponents();
    hookEvents();
    DoCreate();
}

TfrmIndiResult::~TfrmIndiResult() = default;

void TfrmIndiResult::hookEvents()
{
    OnCreate = [this](QObject* s) { FormCreate(s); };
    OnActivate = [this](QObject* s) { FormActivate(s); };
    OnDeactivate = [this](QObject* s) { FormDeactivate(s); };
    OnKeyPress = [this](QObject* s, QChar& key) { FormKeyPress(s, key); };
}
