#include "monthfigures.h"

#include <QStringList>

namespace cockpit {

namespace {

const ScopeTargets* findTargets(const QVector<ScopeTargets>& targets, const QString& scope)
{
    for (const ScopeTargets& t : targets)
        if (t.scope == scope)
            return &t;
    return nullptr;
}

} // namespace

const ScopeFigures* MonthFigures::scope(const QString& code) const
{
    for (const ScopeFigures& s : scopes)
        if (s.code == code)
            return &s;
    return nullptr;
}

const ScopeTargets* MonthFigures::targetsOf(const QString& scope) const
{
    return findTargets(targets, scope);
}

QStringList MonthFigures::regions() const
{
    QStringList out;
    for (const ScopeFigures& s : scopes)
        if (!s.code.isEmpty() && s.code != QLatin1String(kCompanyCode))
            out << s.code;
    return out;
}

const ScopeTargets* RegionFigures::targetsOf(const QString& scope) const
{
    return findTargets(targets, scope);
}

} // namespace cockpit
