#pragma once
// What the last transfer did, in words for the status bar: "Daily log: 31 of 31 records read",
// "Com2: port could not be opened: permission denied", "2 records failed: bad checksum".

#include <QList>
#include <QString>

struct COperationSummary;
struct CRecordMeta;

namespace Quilo {

// `kept`: the record of a set read in parts (the configuration, an event) as the document
// holds it, so that a record read before is counted in parts too.
QString describeOperation(const COperationSummary &summary, const CRecordMeta *kept = nullptr);
// A whole-unit read in one sentence: records read of those tried, failures by kind, the sets
// that did not answer.
QString describeReadAll(const QList<COperationSummary> &summaries);
// The window title of a data set selector value, empty for an unknown one.
QString dataSetTitle(int dataSet);

} // namespace Quilo
