#include "readout.h"

#include "measure.h"

#include <chrono>

namespace QuiloBench {

namespace {

struct ReadStep
{
    int dataSet;
    unsigned first; // key range, or the configuration event in `first`
    unsigned last;
};

// The order the command line's "read all" uses: key groups as the navigation tree offers them.
constexpr ReadStep kWholeUnit[] = {
    {CTarvelDoc::dsKeyTable, 0, 31},   {CTarvelDoc::dsKeyTable, 32, 63},
    {CTarvelDoc::dsKeyTable, 64, 127}, {CTarvelDoc::dsKeyTable, 128, 191},
    {CTarvelDoc::dsKeyLogs, 0, 19},    {CTarvelDoc::dsKeyLogs, 20, 39},
    {CTarvelDoc::dsDaily, 0, 0},       {CTarvelDoc::dsMonthly, 0, 0},
    {CTarvelDoc::dsQuarterly, 0, 0},   {CTarvelDoc::dsYearly, 0, 0},
    {CTarvelDoc::dsDateLog, 0, 0},     {CTarvelDoc::dsCounters, 0, 0},
    {CTarvelDoc::dsDateTime, 0, 0},    {CTarvelDoc::dsCurrentKey, 0, 0},
    {CTarvelDoc::dsConfig, 0, 0},
};

std::int64_t sinceEpochNs(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// One ReadDataSet, its counts added to `total`.
void runOne(CTarvelDoc &doc, CLineMeter &meter, int dataSet, unsigned first, unsigned last, int event,
            CReadOutResult &total)
{
    doc.m_nDataSet = dataSet;
    doc.m_nFirstKey = first;
    doc.m_nLastKey = last;
    doc.m_nConfigEvent = event;
    meter.mark();
    doc.ReadDataSet();
    const COperationSummary &s = doc.LastSummary();
    ++total.operations;
    total.transactions += s.tried;
    total.failed += s.failed() + (s.portOpened ? 0 : 1);
}

} // namespace

CLineMeter::CLineMeter(Quilo::CFrameLink &link)
    : m_link(link)
{
    m_link.SetTraceHook([this](const Quilo::TraceEvent &e) {
        const auto count = static_cast<std::int64_t>(e.bytes.size());
        switch (e.direction) {
        case Quilo::TraceDirection::Sent:
            m_sent += count;
            if (m_replied)
                m_turnaroundNs.push_back(sinceEpochNs(e.time) - m_lastNs);
            break;
        case Quilo::TraceDirection::Discarded: m_received += count; break;
        case Quilo::TraceDirection::Received: {
            m_received += count;
            const std::int64_t now = sinceEpochNs(e.time);
            m_transactionNs.push_back(now - m_lastNs);
            m_lastNs = now;
            m_replied = true;
            break;
        }
        }
    });
}

CLineMeter::~CLineMeter()
{
    m_link.SetTraceHook({});
}

void CLineMeter::mark()
{
    m_lastNs = sinceEpochNs(std::chrono::steady_clock::now());
    m_replied = false;
}

CReadOutResult readWholeUnit(CTarvelDoc &doc, CLineMeter &meter)
{
    CReadOutResult r;
    const std::int64_t wall0 = wallNs();
    const std::int64_t cpu0 = threadCpuNs();
    for (const ReadStep &step : kWholeUnit)
        runOne(doc, meter, step.dataSet, step.first, step.last, 0, r);
    for (int e = 0; e < static_cast<int>(Quilo::kConfEvents); ++e)
        runOne(doc, meter, CTarvelDoc::dsConfEvents, 0, 0, e, r);
    r.cpuNs = threadCpuNs() - cpu0;
    r.wallNs = wallNs() - wall0;
    return r;
}

CReadOutResult readDataSet(CTarvelDoc &doc, CLineMeter &meter, int dataSet, unsigned first, unsigned last,
                           int event)
{
    CReadOutResult r;
    const std::int64_t wall0 = wallNs();
    const std::int64_t cpu0 = threadCpuNs();
    runOne(doc, meter, dataSet, first, last, event, r);
    r.cpuNs = threadCpuNs() - cpu0;
    r.wallNs = wallNs() - wall0;
    return r;
}

} // namespace QuiloBench
