#pragma once

#include "serverprocess.h"

#include <QDate>
#include <QTemporaryDir>

// A kpd-appserver over a database whose months each hold one case of the dashboard refresh. The figures
// are chosen so that every percentage the server works out is exact.
//
//  January 2008   five regions AAA..EEE (one branch each), total 8 M:
//                 AAA 1,0 M  40/40/10/10 %   BBB 1,2 M  40/40/10/10 %   CCC 1,4 M  40/40/10/10 %
//                 DDD 2,5 M  42/40/12/6 %    EEE 1,9 M  50/30/16/4 %
//                 budgets: the company's revenue 10 M, DDD's consumption 45 %
//  February 2008  three regions, total 2 M: AAA 0,5 M, BBB 0,5 M, CCC 1 M, all 30/50/10/10 %
//  March 2008     six regions AAA..FFF, 1 M each at 40/40/10/10 %, total 6 M
//  April 2008     one region CON: 12,5 M at 42/30/10/18 %
//  May 2008       AAA 1 M at 42/40/10/8 %, and ZER with no revenue (its percentages come back empty)
//  June 2008      no figures at all
//  July 2008      one region OFF: 1 M at 40/46/4 %, so its result is 10 %: both beyond their dials
// Every month shows the last load of 3 August 2008, after all of them: none is partial.
class RefreshServer {
public:
    static inline const QDate kFiveRegions{2008, 1, 1};
    static inline const QDate kThreeRegions{2008, 2, 1};
    static inline const QDate kSixRegions{2008, 3, 1};
    static inline const QDate kOneRegion{2008, 4, 1};
    static inline const QDate kZeroRevenue{2008, 5, 1};
    static inline const QDate kNoFigures{2008, 6, 1};
    static inline const QDate kOffDial{2008, 7, 1};

    // Writes the database and starts the server; false with *error on failure.
    bool start(QString* error);
    // Points the host's server address at this server.
    void useIt() const;
    // Both, for a test case's start; false with *error when the server does not start.
    bool startAndUse(QString* error)
    {
        if (!start(error))
            return false;
        useIt();
        return true;
    }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("cockpit.db")); }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    int port() const { return m_port; }
    bool stop() { return m_server.stop(); }
    // After stop(): the same database on the same port, as a server back from an outage.
    bool restart(QString* error) { return m_server.start({QStringLiteral("--db"), databasePath()}, error, m_port); }

private:
    QTemporaryDir m_dir;
    ServerProcess m_server;
    int m_port = 0;
};
