#include "tdateeditplus.h"

#include <QLineEdit>

#include <algorithm>

#include <cmath>

namespace {
const QString kMask = QStringLiteral("99/99/9999;_");
const QString kFormat = QStringLiteral("dd/MM/yyyy");
} // namespace

TDateEditPlus::TDateEditPlus(QWidget* parent) : QAbstractSpinBox(parent)
{
    lineEdit()->setInputMask(kMask);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { refreshLook(); });
    refreshLook();
}

bool TDateEditPlus::hasEntry() const
{
    const QString text = lineEdit()->text();
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

QDate TDateEditPlus::parsed() const
{
    const QString text = lineEdit()->displayText();
    if (text.size() != 10 || text.contains(QLatin1Char('_')) || text.contains(QLatin1Char(' ')))
        return {};
    return QDate::fromString(text, kFormat);
}

void TDateEditPlus::SetDate(TDateTime value)
{
    const QDate d = DateTimeUtil::toDate(value);
    m_time = m_saveTime ? std::fabs(value - std::trunc(value)) : 0.0;
    lineEdit()->setText(d.isValid() ? d.toString(kFormat) : QString());
}

TDateTime TDateEditPlus::GetDate() const
{
    const QDate d = parsed();
    if (!d.isValid())
        return 0.0;
    return DateTimeUtil::fromDate(d) + (m_saveTime ? m_time : 0.0);
}

TDateTime TDateEditPlus::GetPrimDia() const
{
    const QDate d = parsed();
    return d.isValid() ? DateTimeUtil::fromDate(QDate(d.year(), d.month(), 1)) : 0.0;
}

bool TDateEditPlus::IsDateValid() const { return !hasEntry() || parsed().isValid(); }

QString TDateEditPlus::Text() const
{
    if (!hasEntry())
        return {};
    QString text = lineEdit()->displayText();
    text.replace(QLatin1Char('_'), QLatin1Char(' '));
    return text;
}

void TDateEditPlus::SetText(const QString& text) { lineEdit()->setText(text); }

void TDateEditPlus::Clear() { lineEdit()->clear(); }

void TDateEditPlus::SetFocus()
{
    setFocus(Qt::OtherFocusReason);
    lineEdit()->setFocus(Qt::OtherFocusReason);
}

void TDateEditPlus::SetValidDateColor(TColor color)
{
    m_validDateColor = color;
    refreshLook();
}

void TDateEditPlus::SetEditStyle(TEditStyle style)
{
    m_editStyle = style;
    setButtonSymbols(style == desUpDown ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
}

void TDateEditPlus::SetShowDia(bool show)
{
    m_showDia = show;
    refreshLook();
}

void TDateEditPlus::SetNomeSemana(const QStringList& names)
{
    m_nomeSemana = names;
    refreshLook();
}

void TDateEditPlus::refreshLook()
{
    const QDate d = parsed();
    QPalette pal = lineEdit()->palette();
    pal.setColor(QPalette::Text, d.isValid() ? ToQColor(m_validDateColor) : palette().color(QPalette::Text));
    lineEdit()->setPalette(pal);
    // The week day goes in the tooltip when asked for: the mask leaves no room for it in the text.
    const int weekday = d.isValid() ? d.dayOfWeek() % 7 : -1; // Sunday first
    setToolTip(m_showDia && weekday >= 0 && weekday < m_nomeSemana.size() ? m_nomeSemana.at(weekday) : QString());
}

void TDateEditPlus::stepBy(int steps)
{
    QDate d = parsed();
    if (!d.isValid()) {
        d = QDate::currentDate();
    } else {
        const int pos = lineEdit()->cursorPosition();
        if (pos <= 2)
            d = d.addDays(steps);
        else if (pos <= 5)
            d = d.addMonths(steps);
        else
            d = d.addYears(steps);
    }
    const int pos = lineEdit()->cursorPosition();
    lineEdit()->setText(d.toString(kFormat));
    lineEdit()->setCursorPosition(pos);
}

QValidator::State TDateEditPlus::validate(QString& input, int& pos) const
{
    Q_UNUSED(input);
    Q_UNUSED(pos);
    // The mask shapes the input; an impossible date is kept so that the dialog can name it.
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled TDateEditPlus::stepEnabled() const
{
    if (m_editStyle != desUpDown || isReadOnly())
        return StepNone;
    return StepUpEnabled | StepDownEnabled;
}
