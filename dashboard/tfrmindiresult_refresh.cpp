// Refresh of the dashboard, row striping of its grids and its keys.
#include "tfrmindiresult.h"
#include "tindicresultdata.h"

#include "ui_tfrmindiresult.h"

#include "cockpitcolors.h"
#include "cockpitfields.h"
#include "gaugerules.h"
#include "exceptions.h"
#include "hostfunctions.h"
#include "modulestate.h"
#include "tclientdataset.h"
#include "tdbgrid.h"
#include "tdatasource.h"
#include "tlabel.h"
#include "tmessages.h"
#include "tnetconnection.h"
#include "tovergauge.h"
#include "tpanel.h"

namespace {

using cockpit::IndicatorColumn;
using cockpit::isRevenue;
using cockpit::kIndicatorColumns;

QString name(const char* prefix, int row) { return QLatin1String(prefix) + QString::number(row); }

// Puts a figure on a gauge whose zones are set. An empty figure is not judged: judging it as 0 would
// paint a verdict the data never gave, so the needle rests at the minimum in grey.
void showFigure(TOverGauge* gauge, const TField* field)
{
    if (field->IsNull()) {
        gauge->SetProgress(gauge->MinValue());
        gauge->SetNeedleCOlor(clGray);
        gauge->SetNeedleHubCOlor(clGray);
        return;
    }
    gauge->SetProgress(field->AsFloat());
    ColorNeedleByZone(gauge);
}

} // namespace

template <typename T>
static T* component(const TfrmIndiResult* form, const QString& name)
{
    auto* c = form->FindComponentAs<T>(name);
    if (!c)
        throw Exception(QStringLiteral("Componente %1 não encontrado no painel.").arg(name));
    return c;
}

void TfrmIndiResult::FormActivate(QObject* sender)
{
    Q_UNUSED(sender);
    TClientDataSet* const cdsIndicadores = m_data->cdsIndicadores;
    m_data->netIndicResult->SetConnected(true);

    // The title names the month asked for, but goes on the window only with that month's figures: after a
    // failed fetch the header still belongs to the figures on screen.
    const QString title = msgPadrao->Msg(QStringLiteral("TITULO")) + QStringLiteral(" (") + NomeMes(dtData) +
                          QStringLiteral("/") + DateTimeUtil::toDate(dtData).toString(QStringLiteral("yyyy")) +
                          QStringLiteral(")");
    m_data->FetchCkpData();
    m_ui->lblTitulo->SetCaption(title);

    cdsIndicadores->SetFiltered(true);
    cdsIndicadores->SetFilter(QStringLiteral("CDAREAGERE = 'TOTAL'"));
    cdsIndicadores->First();

    m_ui->lblQtFiliais->SetCaption(msgPadrao->Msg(QStringLiteral("QTFILI")) + QStringLiteral(" ") +
                             cdsIndicadores->FieldByName(QStringLiteral("QTFILIAIS"))->AsString());
    m_ui->lblDtAtu->SetCaption(msgPadrao->Msg(QStringLiteral("DTULTATU")) +
                         cdsIndicadores->FieldByName(QStringLiteral("DTULTATUETL"))->AsString());

    // Totals: the revenue gauge is judged against the revenue itself.
    const double totalRevenue = cdsIndicadores->FieldByName(QStringLiteral("VRFATLIQGER"))->AsFloat();
    for (const IndicatorColumn& column : kIndicatorColumns) {
        TField* field = cdsIndicadores->FieldByName(QLatin1String(column.field));
        auto* gauge = component<TOverGauge>(this, QLatin1String(column.totalGauge));
        auto* panel = component<TPanel>(this, QLatin1String(column.totalPanel));
        ConfigureGaugeZones(gauge, column.higherIsBetter, isRevenue(column) ? field->AsFloat() : column.target);
        panel->SetCaption(field->AsString() + QLatin1String(column.suffix));
        showFigure(gauge, field);
    }

    // Every regional row starts from the new zones, its needle parked at the minimum; the needle keeps
    // the colour its old value has in the new zones. A row this month has no region for reads as on a
    // new window, not as some earlier month's region.
    for (int n = 1; n <= 5; ++n) {
        for (const IndicatorColumn& column : kIndicatorColumns) {
            auto* gauge = component<TOverGauge>(this, name(column.regionGauge, n));
            ConfigureGaugeZones(gauge, column.higherIsBetter, isRevenue(column) ? totalRevenue : column.target);
            ColorNeedleByZone(gauge);
            gauge->SetProgress(gauge->MinValue());
            auto* panel = component<TPanel>(this, name(column.regionPanel, n));
            panel->SetCaption(m_storedRowTexts.value(panel->objectName()));
        }
        auto* label = component<TLabel>(this, name("lblR", n));
        label->SetCaption(m_storedRowTexts.value(label->objectName()));
    }

    cdsIndicadores->SetFilter(QStringLiteral("CDAREAGERE <> 'TOTAL'"));
    cdsIndicadores->First();
    while (!cdsIndicadores->Eof()) {
        const int n = cdsIndicadores->RecNo();
        if (n > 5)
            MensErro(msgPadrao->Msg(QStringLiteral("REGIONAIS>5")), true);

        TField* revenue = cdsIndicadores->FieldByName(QStringLiteral("VRFATLIQGER"));
        auto* gauge = component<TOverGauge>(this, name(kIndicatorColumns[0].regionGauge, n));
        auto* panel = component<TPanel>(this, name(kIndicatorColumns[0].regionPanel, n));
        auto* label = component<TLabel>(this, name("lblR", n));
        label->SetCaption(cdsIndicadores->FieldByName(QStringLiteral("CDAREAGERE"))->AsString());
        panel->SetCaption(revenue->AsString() + QLatin1String(kIndicatorColumns[0].suffix));
        ConfigureGaugeZones(gauge, true, revenue->AsFloat());
        showFigure(gauge, revenue);
        label->setVisible(true);
        gauge->setVisible(true);
        panel->setVisible(true);

        for (const IndicatorColumn& column : kIndicatorColumns) {
            if (isRevenue(column))
                continue;
            TField* field = cdsIndicadores->FieldByName(QLatin1String(column.field));
            auto* g = component<TOverGauge>(this, name(column.regionGauge, n));
            auto* p = component<TPanel>(this, name(column.regionPanel, n));
            p->SetCaption(field->AsString() + QLatin1String(column.suffix));
            ConfigureGaugeZones(g, column.higherIsBetter, column.target);
            showFigure(g, field);
            g->setVisible(true);
            p->setVisible(true);
        }
        cdsIndicadores->Next();
    }

    cdsIndicadores->SetFiltered(false);
    SetFocus();
}

void TfrmIndiResult::dbgTop10DrawColumnCell(QObject* sender, const QRect& rect, int dataCol, TColumn* column,
                                            TGridDrawState state)
{
    auto* grid = static_cast<TDBGrid*>(sender);
    TField* rowNum = grid->DataSource()->DataSet()->FieldByName(QStringLiteral("ROWNUM"));
    grid->Canvas()->Brush()->SetColor(cockpit::StripeColor(rowNum->AsFloat()));
    grid->DefaultDrawColumnCell(rect, dataCol, column, state);
}

void TfrmIndiResult::FormKeyPress(QObject* sender, QChar& key)
{
    Q_UNUSED(sender);
    if (key == QChar(27)) {
        Close();
        key = QChar();
    }
}
