#pragma once

#include "indicators.h"
#include "mailrelay.h"
#include "scorecard.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace appserver {

/// One alert: when a figure of the scope enters the zone, a message to the recipients.
struct AlertRule {
    enum class Scope { Company, Region, AnyRegion };
    Scope scope = Scope::Company;
    QString region;                 ///< the region's code for Scope::Region
    cockpit::Indicator indicator = cockpit::Indicator::Result;
    cockpit::Zone zone = cockpit::Zone::Red;
    QStringList recipients;
    int line = 0;                   ///< where the file has it

    /// Whether a scope of the month's scorecard is one this rule watches.
    bool watches(const cockpit::Scope& scope) const;
    /// What the rule is, whoever it goes to: the key its state is kept under, so that changing the
    /// recipients sends nothing again.
    QString key() const;
};

/// The alert rules file (docs/mail.md): the relay, the base address of the pages, and one rule a line.
struct AlertRules {
    MailRelay relay;
    QString pageBase;               ///< e.g. https://bi.empresa.com.br; the region's page is appended
    QVector<AlertRule> rules;

    /// Reads path; false with *error in Portuguese naming the line of the first fault.
    static bool load(const QString& path, AlertRules* rules, QString* error);
};

} // namespace appserver
