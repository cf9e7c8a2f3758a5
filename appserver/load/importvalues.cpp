#include "importvalues.h"

#include "database.h"
#include "presentation.h"
#include "regioncode.h"
#include "wiretext.h"

#include <optional>

namespace appserver::importing {

constexpr int kMaxNameLength = 30;

// Names and codes go out in every spreadsheet the cockpit writes; one read as a formula would run on the
// machine of whoever opens it.
QString formulaStarts() { return QStringLiteral("não pode começar com =, +, -, @, tabulação ou retorno de carro"); }

QString shown(const QString& text) { return QLatin1Char('"') + WireText::Printable(text, 40) + QLatin1Char('"'); }

namespace {

// Hand-written rather than regular expressions: a month's load checks a few million values, and the
// matcher's set-up per value was most of the load's own time.
bool digits(QStringView text, qsizetype from, qsizetype count)
{
    for (qsizetype i = from; i < from + count; ++i) {
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return false;
    }
    return true;
}

int number(QStringView text, qsizetype from, qsizetype count)
{
    int n = 0;
    for (qsizetype i = from; i < from + count; ++i)
        n = n * 10 + (text[i].unicode() - '0');
    return n;
}

// 1900-01-31 or 31/01/1900.
std::optional<QDate> parseDay(QStringView text)
{
    QDate d;
    if (text.size() == 10 && text[4] == QLatin1Char('-') && text[7] == QLatin1Char('-') && digits(text, 0, 4)
        && digits(text, 5, 2) && digits(text, 8, 2))
        d = QDate(number(text, 0, 4), number(text, 5, 2), number(text, 8, 2));
    else if (text.size() == 10 && text[2] == QLatin1Char('/') && text[5] == QLatin1Char('/') && digits(text, 0, 2)
             && digits(text, 3, 2) && digits(text, 6, 4))
        d = QDate(number(text, 6, 4), number(text, 3, 2), number(text, 0, 2));
    if (!d.isValid() || d.year() < 1900)
        return std::nullopt;
    return d;
}

// An optional sign, 1 to 15 digits, and optionally point and 1 to 6 digits.
bool isDecimal(QStringView text, QChar point)
{
    qsizetype i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    const qsizetype whole = i;
    while (i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'))
        ++i;
    if (i - whole < 1 || i - whole > 15)
        return false;
    if (i == text.size())
        return true;
    if (text[i] != point)
        return false;
    const qsizetype fraction = ++i;
    while (i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'))
        ++i;
    return i == text.size() && i - fraction >= 1 && i - fraction <= 6;
}

} // namespace

QVariant convert(Database& db, Kind kind, const QString& text, QChar separator, QString& reason, QDate* day)
{
    if (text.isEmpty()) {
        reason = QStringLiteral("valor vazio.");
        return {};
    }
    switch (kind) {
    case Kind::Scope:
        // The company as a whole, a branch by '#' and its code, or a region by its code.
        if (text == QLatin1String("TOTAL"))
            return text;
        if (text.startsWith(QLatin1Char('#'))) {
            // The branch's code read as filial.csv reads it: "#0007" is branch 7.
            const QStringView code = QStringView(text).mid(1);
            const qint64 branch = code.size() <= 9 && digits(code, 0, code.size()) ? code.toLongLong() : 0;
            if (branch > 0)
                return QStringLiteral("#%1").arg(branch);
            reason = QStringLiteral("escopo de filial inválido: %1 (use # e o código da filial, por exemplo #1234).").arg(shown(text));
            return {};
        }
        [[fallthrough]];
    case Kind::Code:
        switch (cockpit::CheckRegionCode(text)) {
        case cockpit::RegionCodeFault::None:
        case cockpit::RegionCodeFault::Empty:   // refused above
            break;
        case cockpit::RegionCodeFault::ControlCharacter:
            reason = QStringLiteral("código de regional com caractere de controle: %1.").arg(shown(text));
            break;
        case cockpit::RegionCodeFault::BlankAtAnEnd:
            reason = QStringLiteral("código de regional com espaço no início ou no fim: %1.").arg(shown(text));
            break;
        case cockpit::RegionCodeFault::StartsLikeFormula:
            reason = QStringLiteral("código de regional que uma planilha tomaria por fórmula: %1 (%2).").arg(shown(text), formulaStarts());
            break;
        case cockpit::RegionCodeFault::TooLong:
            reason = QStringLiteral("código de regional com mais de %1 caracteres: %2.").arg(cockpit::kRegionCodeLength).arg(shown(text));
            break;
        }
        return text;
    case Kind::Name: {
        const qsizetype length = WireText::CharacterCount(text);
        if (length > kMaxNameLength)
            reason = QStringLiteral("nome com mais de %1 caracteres (%2): %3.").arg(kMaxNameLength).arg(length).arg(shown(text));
        else if (StartsLikeFormula(text))
            reason = QStringLiteral("nome que uma planilha tomaria por fórmula: %1 (%2).").arg(shown(text), formulaStarts());
        return text;
    }
    case Kind::Branch: {
        const qint64 code = text.size() <= 9 && digits(text, 0, text.size()) ? text.toLongLong() : 0;
        if (code <= 0) {
            reason = QStringLiteral("código de filial inválido: %1 (use um número inteiro positivo).").arg(shown(text));
            return {};
        }
        return code;
    }
    case Kind::Day: {
        const auto d = parseDay(text);
        if (!d) {
            reason = QStringLiteral("data inválida: %1 (use AAAA-MM-DD ou DD/MM/AAAA).").arg(shown(text));
            return {};
        }
        // A day's month ends where the next begins, and there is no month after December 9999.
        if (d->addMonths(1).year() > 9999) {
            reason = QStringLiteral("data fora do intervalo aceito: %1 (de 01/01/1900 a 30/11/9999).").arg(shown(text));
            return {};
        }
        if (day)
            *day = *d;
        return db.dateValue(*d);
    }
    case Kind::Month: {
        std::optional<QDate> d;
        if (text.size() == 7 && text[4] == QLatin1Char('-') && digits(text, 0, 4) && digits(text, 5, 2)) {
            const QDate first(number(text, 0, 4), number(text, 5, 2), 1);
            if (first.isValid() && first.year() >= 1900)
                d = first;
        } else {
            d = parseDay(text);
        }
        if (!d) {
            reason = QStringLiteral("mês inválido: %1 (use AAAA-MM ou o primeiro dia do mês, AAAA-MM-01).").arg(shown(text));
            return {};
        }
        if (d->day() != 1) {
            reason = QStringLiteral("o mês deve ser informado pelo seu primeiro dia: %1.").arg(shown(text));
            return {};
        }
        return db.dateValue(*d);
    }
    case Kind::Indicator: {
        static const QStringList known{QStringLiteral("faturamento"), QStringLiteral("consumo"), QStringLiteral("mdo"),
                                       QStringLiteral("despesas"), QStringLiteral("resultado")};
        if (!known.contains(text))
            reason = QStringLiteral("indicador desconhecido: %1 (use %2).").arg(shown(text), known.join(QStringLiteral(", ")));
        return text;
    }
    case Kind::Money: {
        // Text, not a double: the exact decimal reaches PostgreSQL's NUMERIC unrounded.
        if (isDecimal(text, QLatin1Char('.')))
            return text;
        if (separator == QLatin1Char(';') && isDecimal(text, QLatin1Char(',')))
            return QString(text).replace(QLatin1Char(','), QLatin1Char('.'));
        reason = QStringLiteral("número inválido: %1 (use 1234.56, sem separador de milhar).").arg(shown(text));
        return {};
    }
    }
    return text;
}

} // namespace appserver::importing
