#include "operationtext.h"

#include "datasettable.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <array>

namespace Quilo {

namespace {

// failedBy counts by result, in this order: 1, 16, 32, 48, 64, 256, any other
const std::array<unsigned, 7> kFailureWords{Str::Result1, Str::Result16, Str::Result32, Str::Result48,
                                            Str::Result64, Str::Result256, Str::ResultOther};

// "; 2 records failed: bad checksum" for each kind of failure
QString failuresText(const decltype(COperationSummary::failedBy) &failedBy)
{
    QString text;
    for (std::size_t i = 0; i < failedBy.size(); ++i) {
        const int n = failedBy[i];
        if (n > 0)
            text += LoadString(n == 1 ? Str::SumFailedOne : Str::SumFailedMany).arg(n).arg(LoadString(kFailureWords[i]));
    }
    return text;
}

// how the operation ended, when not by itself
QString endingText(const COperationSummary &s)
{
    QString text;
    if (s.lineLost)
        text += LoadString(Str::SumLineLost);
    if (s.stopped)
        text += LoadString(Str::SumStopped);
    return text;
}

} // namespace

QString dataSetTitle(int dataSet)
{
    const DataSetInfo *set = FindDataSet(dataSet);
    return set ? LoadString(set->title) : QString();
}

QString describeOperation(const COperationSummary &s)
{
    // A record read before is passed over without opening the line: that is no port failure.
    if (!s.portOpened && s.skipped == 0)
        return LoadString(Str::SumPortFailed).arg(s.portName, s.portError);

    QString text;
    if (s.dataSet == 0) {
        switch (s.readBack) {
        case COperationSummary::ReadBack::HoldsNew: return LoadString(Str::SumHoldsNew);
        case COperationSummary::ReadBack::HoldsOther: return LoadString(Str::SumHoldsOld);
        case COperationSummary::ReadBack::Failed: return LoadString(Str::SumHoldsUnknown);
        case COperationSummary::ReadBack::None: break;
        }
        text = s.failed() == 0 && s.read > 0 ? LoadString(Str::SumWriteDone) : LoadString(Str::SumWriteFailed);
    } else if (s.tried == 0 && s.skipped > 0 && s.skippedFailed == 0) {
        // nothing needed the line: saying "0 of 0 read" would read as a failure
        return LoadString(Str::SumAllKept).arg(dataSetTitle(s.dataSet)).arg(s.skipped);
    } else {
        text = LoadString(Str::SumRead).arg(dataSetTitle(s.dataSet)).arg(s.read).arg(s.tried);
        if (s.skipped > s.skippedFailed)
            text += LoadString(Str::SumSkipped).arg(s.skipped - s.skippedFailed);
        if (s.skippedFailed > 0)
            text += LoadString(Str::SumSkippedFailed).arg(s.skippedFailed);
    }
    text += failuresText(s.failedBy);
    // "no reply" is one kind of wrong length; say how many of those were silence
    if (s.noReply > 0 && !s.silent)
        text += LoadString(Str::SumNoReply).arg(s.noReply);
    if (s.silent)
        text += LoadString(Str::SumSilent).arg(s.portName);
    if (s.keyReadable)
        text += QLatin1String("; ") + LoadString(Str::NetKeyPlain).arg(s.portName);
    return text + endingText(s);
}

QString describeReadAll(const QList<COperationSummary> &summaries)
{
    // a port that did not open says so alone; otherwise one sentence for the whole unit
    for (const COperationSummary &s : summaries)
        if (!s.portOpened)
            return describeOperation(s);
    COperationSummary all;
    all.portOpened = true;
    QStringList silent;
    for (const COperationSummary &s : summaries) {
        all.portName = s.portName;
        all.tried += s.tried;
        all.read += s.read;
        all.stopped = all.stopped || s.stopped;
        all.lineLost = all.lineLost || s.lineLost;
        for (std::size_t i = 0; i < all.failedBy.size(); ++i)
            all.failedBy[i] += s.failedBy[i];
        if (s.silent)
            silent << dataSetTitle(s.dataSet);
    }
    QString text = LoadString(Str::SumReadAll).arg(all.read).arg(all.tried);
    text += failuresText(all.failedBy);
    if (!silent.isEmpty()) {
        silent.removeDuplicates();
        text += LoadString(Str::SumSilent).arg(all.portName) + QStringLiteral(" (") + silent.join(QStringLiteral(", "))
                + QLatin1Char(')');
    }
    return text + endingText(all);
}

} // namespace Quilo
