#pragma once

#include "refmonth.h"
#include <QDate>
#include <QDateTime>
#include <QString>

class ModuleLoader;
namespace cockpit {
struct Scorecard;
}
struct Subscription;

/// The text of the pack's message: which months, then the company's five figures of the closed month
/// against their targets as the scorecard the cockpit showed judged them (card; empty when none came).
QString SubscriptionBody(const Subscription& subscription, const cockpit::RefMonth& closed, const cockpit::Scorecard& card);

/// Sends the board pack of a subscription when it is due at now (always with force), for the month
/// just closed (closed, or the calendar's when invalid): makes the pack as --pdf does, mails it with
/// SubscriptionBody, and records it as sent. 0 when sent or not due; 1 when it could not be made or
/// sent (it is then tried again at the next run).
int SendSubscription(ModuleLoader& module, const Subscription& subscription, const QDateTime& now, bool force,
                     cockpit::RefMonth closed);
