#pragma once
// `quilo collect`'s command line (the words after "collect").

#include "result.h"

#include <QString>
#include <QStringList>
#include <QTime>

namespace QuiloCollect {

struct CollectOptions
{
    bool help = false;
    QString unitsFile;        // empty: the default list (unless ports are given)
    QStringList ports;        // units given on the command line, each named by its port
    int jobs = 0;             // units read at once; 0: every one
    int retries = 3;          // further attempts for a unit that failed
    int retryPauseMs = 30000; // before the first of them; doubles with each
    int silenceMs = 15000;    // no record read for this long: the unit is given up
    qint64 everyMs = 0;       // service: a round every so often
    QTime at;                 // service: a round every day at this time
    bool json = false;        // the summary as JSON
    QString onFlag;           // command for each unit with a flag
    int onFlagTimeoutMs = 60000;
    QString historyUrl;
    bool noHistory = false;

    bool service() const { return everyMs > 0 || at.isValid(); }
};

// "90", "90s", "30m", "1h", "1d": milliseconds; 0 for anything else.
qint64 ParseDuration(const QString &text);

Quilo::Result<CollectOptions> ParseCollectArgs(const QStringList &arguments);

} // namespace QuiloCollect
