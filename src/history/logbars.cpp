#include "logbars.h"

#include "fields.h"

#include <memory>
#include <utility>

namespace Quilo {

namespace {

template<class Record>
std::pair<quint32, quint32> pairOf(const Record &r, bool money)
{
    return money ? std::pair{r.m_cashIn.m_nValue, r.m_cashOut.m_nValue} : std::pair{r.m_stake.m_nValue, r.m_win.m_nValue};
}

} // namespace

QList<LogBar> LogBars(const ReadOut &readOut, DataSetId set, bool money)
{
    QList<LogBar> bars;
    const DataSetInfo *info = FindDataSet(set);
    if (!info)
        return bars;
    // Oldest first: the log's newest record is its first.
    for (int i = static_cast<int>(info->records) - 1; i >= 0; --i) {
        const auto index = static_cast<unsigned>(i);
        if (!readOut.HoldsUnitValue(set, index))
            continue;
        std::pair<quint32, quint32> v;
        switch (set) {
        case dsDaily: v = pairOf(readOut.Decoded<dsDaily>(index), money); break;
        case dsMonthly: v = pairOf(readOut.Decoded<dsMonthly>(index), money); break;
        case dsQuarterly: v = pairOf(readOut.Decoded<dsQuarterly>(index), money); break;
        case dsYearly: v = pairOf(readOut.Decoded<dsYearly>(index), money); break;
        default: return bars;
        }
        const std::unique_ptr<CDataField> record = readOut.Record(set, index);
        const QString date = record ? record->GetColumnText(0) : QString();
        bars.append({set == dsDaily ? date.mid(5) : date, v.first, v.second});
    }
    return bars;
}

} // namespace Quilo
