#pragma once
// The command line's words for the unit's data sets and key groups (the data-set table's
// stable names), and what each one tells the document: selector, record range, event.

#include "result.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Quilo {

struct CSetSpec
{
    QString name;          // as typed: "daily", "key-table", ...
    int dataSet = 0;       // CTarvelDoc::DataSet
    unsigned groupId = 0;  // string id of the key group ("OMH", "LAB", ...), 0 without
    QString groupName;     // the group's stable name, for scripts: "OMH", "organizer"
    unsigned first = 0;    // record range, both ends included
    unsigned last = 0;
    int event = -1;        // configuration event 0..19, -1 for other sets
    unsigned titleId = 0;  // the data set's title

    int recordCount() const { return static_cast<int>(last - first + 1); }
    // Transactions the read takes: records, or chunks for the configuration and events.
    int transactionCount() const;
    QString label() const; // "key-table LAB", "conf-event 3", "daily"
};

// What `read` accepts: the set name, then the group (key tables, key logs) or the event
// number (conf-event). On failure a one-line message.
Result<QList<CSetSpec>> ResolveSets(const QStringList &words);

// A key group of the key table by name ("OMH", "szf", ...).
Result<CSetSpec> ResolveKeyGroup(const QString &word);

// Every set and group once, in the order `read all` reads them.
QList<CSetSpec> AllSets();

// The set a view shows: its data set, the key range the tree chose (a group's, or whatever
// range it is), the configuration event selected. Invalid (dataSet 0) for no data set.
CSetSpec SpecFor(int dataSet, unsigned first, unsigned last, int event);

QStringList SetNames();

} // namespace Quilo
