#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// A kpd-appserver database written by a test: the tables of docs/schema.sql and the rows the test adds.
// Money is in currency units, as the server expects it.
class CockpitDatabase {
public:
    explicit CockpitDatabase(const QString& path);
    ~CockpitDatabase();

    // Creates the tables; false (with error()) when the schema does not run.
    bool create();
    bool addRegion(const QString& code, const QString& name = {});
    bool addBranch(int branch, const QString& name, const QString& region);
    bool addDay(int branch, const QDate& day, double revenue, double consumption, double labour, double expenses);
    bool addLoad(const QString& timestamp);
    // A target the company set: revenue in currency units, the shares in per cent.
    bool addTarget(const QDate& month, const QString& scope, const QString& indicator, double value);
    // One day of a branch, its costs given as percentages of its revenue.
    bool addMonth(int branch, const QDate& day, double revenue, double consumptionPct, double labourPct,
                  double expensesPct);

    QString error() const { return m_error; }
    QString path() const { return m_path; }

private:
    bool exec(const QString& sql, const QVariantList& values = {});

    QString m_path;
    QString m_connection;
    QString m_error;
};
