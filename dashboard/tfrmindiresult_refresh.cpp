// Refresh of the dashboard, row striping of its grids and its keys.
#include "tfrmindiresult.h"
#include "tindicresultdata.h"
#include "tfrmregiao.h"
#include "tfrmtendencia.h"

#include "ui_tfrmindiresult.h"

#include "cockpitcolors.h"
#include "cockpitview.h"
#include "refmonth.h"
#include "eventboundary.h"
#include "exceptions.h"
#include "hostfunctions.h"
#include "modulestate.h"
#include "paneltooltip.h"
#include "tclientdataset.h"
#include "tdbgrid.h"
#include "tdatasource.h"
#include "tlabel.h"
#include "tmessages.h"
#include "tnetconnection.h"
#include "showgauge.h"
#include "tovergauge.h"
#include "tpanel.h"

#include <QPainter>

namespace {

template <typename T>
T* component(const TfrmIndiResult* form, const QString& name)
{
    auto* c = form->FindComponentAs<T>(name);
    if (!c)
        throw Exception(QStringLiteral("Componente %1 não encontrado no painel.").arg(name));
    return c;
}

// The message a failed step gave the user: MensErro has shown its text before abandoning.
QString failureText(const Exception& e)
{
    if (const auto* abort = dynamic_cast<const EAbort*>(&e))
        return abort->Shown().isEmpty() ? e.Message() : abort->Shown();
    return e.Message();
}

} // namespace

void TfrmIndiResult::showView(const cockpit::CockpitView& view)
{
    // Whose figures the window shows, and all the view says of them, for a host that prints or exports
    // the window: the title is text for people.
    cockpit::SetShownView(this, view);
    component<TLabel>(this, QLatin1String(cockpit::kNoticeLabel))->SetFontColor(m_noticeColor);
    for (auto it = view.labels.cbegin(); it != view.labels.cend(); ++it)
        component<TLabel>(this, it.key())->SetCaption(it.value());
    for (auto it = view.panels.cbegin(); it != view.panels.cend(); ++it) {
        auto* panel = component<TPanel>(this, it.key());
        panel->SetCaption(it.value());
        // The verdict in words, the changes and how the target was set, where the pointer rests on the figure;
        // the notes apart as well, for a host that exports what the window shows.
        panel->setToolTip(PanelToolTip(view, it.key()));
        panel->setProperty("notes", view.notes.value(it.key()));
    }
    for (auto it = view.gauges.cbegin(); it != view.gauges.cend(); ++it)
        ShowGaugeState(component<TOverGauge>(this, it.key()), it.value());
    // A list saved as a spreadsheet is named after the month it is of.
    const QString period = view.month.isValid() ? view.month.key() : QString();
    for (TDBGrid* grid : {m_ui->dbgTop10, m_ui->dbgBottom10, m_ui->dbgAtrasaLanca}) {
        grid->SetCsvPeriod(period);
        // A branch that has held its place for months is no news: marked on its row, and named where the
        // pointer rests on the list.
        const cockpit::GridView shown = view.grids.value(grid->objectName());
        grid->setProperty("recurrence", shown.recurrence);
        QStringList chronic;
        for (int r = 0; r < shown.recurrence.size() && r < shown.rows.size(); ++r)
            if (!shown.recurrence[r].isEmpty())
                chronic << shown.rows[r].value(0) + QStringLiteral(": na lista em ") + shown.recurrence[r];
        grid->setToolTip(chronic.join(QLatin1Char('\n')));
        for (const cockpit::ListInfo& list : cockpit::kLists)
            if (grid->objectName() == QLatin1String(list.grid)) {
                const QString dataSet = QLatin1String(list.dataSet);
                grid->SetCsvExtraColumn(cockpit::RecurrenceTitle(dataSet),
                                        cockpit::RecurrenceValues(view.scorecard, dataSet, shown.rows.size()));
            }
    }
}

void TfrmIndiResult::FormActivate(QObject* sender)
{
    Q_UNUSED(sender);
    TClientDataSet* const cdsIndicadores = m_data->cdsIndicadores;
    cockpit::MonthFigures figures;
    if (!m_showsMonth) {
        // Before the first month arrives the window shows nothing judged: a failure's message box would
        // otherwise stand over the definition's zeros and red needles, a verdict without a figure.
        cockpit::CockpitView resting = cockpit::FailedView(QString());
        for (auto it = resting.labels.begin(); it != resting.labels.end(); ++it)
            if (it.key().compare(QLatin1String(cockpit::kNoticeLabel), Qt::CaseInsensitive) == 0)
                it->clear();
        showView(resting);
    }
    try {
        m_data->netIndicResult->SetConnected(true);
        figures = m_data->FetchCkpData();
    } catch (const Exception& e) {
        // With a month on screen, its figures stay under its title, marked with the time they were fetched.
        // With none, the window says that it has no data and why, rather than show the definition's zeros
        // as if they were a month.
        if (!m_showsMonth) {
            showView(cockpit::FailedView(failureText(e)));
        } else {
            auto* notice = component<TLabel>(this, QLatin1String(cockpit::kNoticeLabel));
            notice->SetCaption(cockpit::StaleNotice(m_fetchedAt, QDateTime::currentDateTime()));
            notice->SetFontColor(cockpit::kStaleNoticeColor);
        }
        throw;
    }
    // Computed before anything changes, so a view that cannot be computed leaves the window as it was.
    const cockpit::CockpitView view = cockpit::ComputeView(figures);

    cdsIndicadores->SetFiltered(true);
    cdsIndicadores->SetFilter(QStringLiteral("CDAREAGERE = 'TOTAL'"));
    cdsIndicadores->First();
    showView(view);
    m_showsMonth = true;
    m_fetchedAt = QDateTime::currentDateTime();
    // Always in the header, so a screen nobody touches says how fresh its figures are; a failure later
    // leaves it at the last refresh that worked.
    m_ui->lblAtualizado->SetCaption(QStringLiteral("Atualizado às ") + m_fetchedAt.toString(QStringLiteral("HH:mm")));

    m_view = std::make_unique<cockpit::CockpitView>(view);
    // A region that cannot be brought up to date says so in its own window; the cockpit's refresh goes on.
    Guarded([this] { refreshRegion(); });
    if (m_trendWindow && m_trendWindow->isVisible())
        m_trendWindow->ShowTrends(view.scorecard);

    cdsIndicadores->SetFilter(QStringLiteral("CDAREAGERE <> 'TOTAL'"));
    cdsIndicadores->First();
    for (const QString& message : view.messages)
        MensErro(message, true);

    cdsIndicadores->SetFiltered(false);
    // A month asked for from the region window keeps the keyboard there, for its next PageDown or Escape.
    if (!m_regionWindow || !m_regionWindow->isActiveWindow())
        SetFocus();
}

void TfrmIndiResult::dbgTop10DrawColumnCell(QObject* sender, const QRect& rect, int dataCol, TColumn* column,
                                            TGridDrawState state)
{
    auto* grid = static_cast<TDBGrid*>(sender);
    TField* rowNum = grid->DataSource()->DataSet()->FieldByName(QStringLiteral("ROWNUM"));
    grid->Canvas()->Brush()->SetColor(cockpit::StripeColor(rowNum->AsFloat()));
    grid->DefaultDrawColumnCell(rect, dataCol, column, state);
    // The branch's months in the list, at the end of its name: "9/12".
    const QString months = grid->property("recurrence").toStringList().value(int(rowNum->AsFloat()) - 1).section(QLatin1Char(' '), 0, 0);
    if (QPainter* painter = grid->Canvas()->Painter(); painter && !months.isEmpty() && column &&
                                                       column->FieldName() == QLatin1String("NMFILIAL")) {
        painter->save();
        painter->setPen(QColor(0xFF, 0xD7, 0x00));
        painter->drawText(rect.adjusted(0, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter,
                          QStringLiteral("%1/%2").arg(months).arg(cockpit::kTrendMonths));
        painter->restore();
    }
}

void TfrmIndiResult::FormKeyPress(QObject* sender, QChar& key)
{
    Q_UNUSED(sender);
    if (key == QChar(27)) {
        // The region window above the cockpit goes first, as a dialog would; the cockpit with the next Escape.
        if (m_regionWindow && m_regionWindow->isVisible())
            m_regionWindow->Close();
        else if (m_trendWindow && m_trendWindow->isVisible())
            m_trendWindow->Close();
        else
            Close();
        key = QChar();
    }
}
