#pragma once

#include <QDate>
#include <QString>

namespace appserver {

struct DemoOptions {
    int branches = 60;
    int months = 36;
    /// Last month of figures; an invalid date means the current month, filled up to today.
    QDate endMonth;
};

struct DemoSummary {
    int regions = 0;
    int branches = 0;
    qint64 dailyRows = 0;
    QDate firstDay;
    QDate lastDay;
};

/// Writes a demonstration database: five regions, their branches and daily figures spread around the
/// cockpit's targets (consumption 40 %, labour 45 %, expenses 15 %, result 5 %) so that every gauge
/// colour shows somewhere. The same options give the same figures: every value comes from a hash of
/// branch and day, not from a sequence.
class DemoDatabase {
public:
    /// Creates the file at path (which must not exist). Throws DatabaseError; a half-written file is
    /// removed.
    static DemoSummary create(const QString& path, const DemoOptions& options);
};

} // namespace appserver
