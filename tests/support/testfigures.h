#pragma once

#include "kpd.pb.h"

#include <QDate>
#include <QString>
#include <QStringList>

/// The figures the PostgreSQL and import tests load: regions CO (a branch without revenue), NE, SUL
/// and XX (no figures at all); 13 branches with daily figures in cents for January, March and April
/// 2024 (none in February; April only for some branches), two branches with identical figures (a
/// tie), a loss-making branch, and month-end stock for some branches and months.
namespace testfigures {

/// Writes regional.csv, filial.csv, movimento_diario.csv and estoque_mensal.csv into dir.
bool write(const QString& dir);

/// Months to compare between engines: before any figures, with figures, empty, partial, after.
QList<QDate> months();

/// getCkpData request for the month of day.
kpd::rpc::InvokeRequest request(const QDate& day);

/// The reply as lines of text (result, date, each packet's fields and rows), for readable diffs.
QStringList dump(const kpd::rpc::InvokeReply& reply);

} // namespace testfigures
