#include "wallscreen.h"

#include "messagedlg.h"
#include "cockpitview.h"
#include "moduleloader.h"
#include "refmonth.h"
#include "tapplication.h"
#include "tdatetime.h"
#include "tform.h"
#include "tlabel.h"

#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QShortcut>

#include <algorithm>
#include <cstdio>

namespace {

// Whether the dashboard's month has a figure anywhere: a month before its first load has none.
bool showsFigures(const QWidget* dashboard)
{
    return cockpit::ShownView(dashboard).scorecard.anyFigure;
}

} // namespace

WallScreen::WallScreen(ModuleLoader& module, const WallScreenOptions& options, QObject* parent)
    : QObject(parent), m_module(module), m_options(options)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &WallScreen::Refresh);
}

WallScreen::~WallScreen()
{
    qApp->removeEventFilter(this);
    SetMessagePresenter({});
}

QWidget* WallScreen::Dashboard() const
{
    return m_module.FrmIndiResult();
}

cockpit::RefMonth WallScreen::month() const
{
    // The calendar's month is read at every refresh, so the wall turns to the new month on its first day.
    return m_options.month.isValid() ? m_options.month : cockpit::RefMonth(QDate::currentDate());
}

void WallScreen::log(const QString& text)
{
    // An outage repeats its message at every try: the log says it once, and again when it changes.
    if (text == m_lastLogged)
        return;
    m_lastLogged = text;
    std::fprintf(stderr, "kpd-host: %s %s\n", qPrintable(QDateTime::currentDateTime().toString(Qt::ISODate)),
                 qPrintable(text));
}

bool WallScreen::Start()
{
    SetMessagePresenter([this](MessageKind, const QString& text) { log(text); });
    if (!m_module.IsLoaded()) {
        log(m_module.ErrorString());
        return false;
    }
    Application()->SetUnattended(true);
    Application()->SetFit(TApplication::WindowFit::FullScreen);
    *m_module.DtData() = DateTimeUtil::fromDate(month().firstDay());
    m_module.IniProc();
    auto* form = qobject_cast<TForm*>(Dashboard());
    if (!form || !form->isVisible()) {
        log(QStringLiteral("O painel não foi aberto."));
        return false;
    }
    qApp->installEventFilter(this);
    auto* quit =
        new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), form, nullptr, nullptr, Qt::ApplicationShortcut);
    connect(quit, &QShortcut::activated, this, [this] {
        m_quitting = true;
        emit quitRequested();
    });
    const bool completed = showLatestWithFigures(form, form->LastActivateCompleted());
    scheduleAfter(completed);
    emit refreshed(completed);
    return true;
}

bool WallScreen::show(QWidget* form, const cockpit::RefMonth& month)
{
    *m_module.DtData() = DateTimeUtil::fromDate(month.firstDay());
    Application()->WindowActivated(&m_elsewhere);
    Application()->WindowActivated(form);
    return qobject_cast<TForm*>(form)->LastActivateCompleted();
}

// A wall on the 1st of the month, before the month's first load, would show a dead cockpit all day.
bool WallScreen::showLatestWithFigures(QWidget* form, bool completed)
{
    if (!completed || m_options.month.isValid() || showsFigures(form))
        return completed;
    const cockpit::RefMonth calendar = month();
    cockpit::RefMonth shown = calendar;
    for (int back = 1; back <= kMonthsBack; ++back) {
        shown = shown.previous();
        if (!show(form, shown))
            return false;
        if (showsFigures(form)) {
            if (auto* notice = form->findChild<TLabel*>(QStringLiteral("lblAviso")))
                notice->SetCaption(QStringLiteral("%1 ainda sem cargas — mostrando %2").arg(calendar.title(), shown.title()));
            return true;
        }
    }
    // None in a year: the calendar's month, which says it has no figures.
    return show(form, calendar);
}

bool WallScreen::Refresh()
{
    m_timer.stop();
    auto* form = qobject_cast<TForm*>(Dashboard());
    if (!form)
        return false;
    const bool completed = showLatestWithFigures(form, show(form, month()));
    if (completed && !m_lastLogged.isEmpty())
        log(QStringLiteral("painel de %1 atualizado").arg(month().key()));
    scheduleAfter(completed);
    emit refreshed(completed);
    return completed;
}

void WallScreen::scheduleAfter(bool completed)
{
    const int seconds = completed ? m_options.cycleSeconds : std::min(m_options.cycleSeconds, kRetrySeconds);
    m_timer.start(seconds * 1000);
}

bool WallScreen::eventFilter(QObject* watched, QEvent* event)
{
    QWidget* dashboard = Dashboard();
    auto* w = qobject_cast<QWidget*>(watched);
    if (!dashboard || !w || w->window() != dashboard)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
        // Escape would hide the dashboard and leave the wall showing the desktop.
        return static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
    case QEvent::Close:
        if (w == dashboard && !m_quitting) {
            event->ignore();
            return true;
        }
        return false;
    default:
        return false;
    }
}
