#include "unitbench.h"

#include "commandtable.h"

using namespace QuiloSim;

namespace {

template<class Array>
void clearStatus(Array &records)
{
    for (auto &r : records)
        r.m_nStatus = 0;
}

QString columns(const CDataField &record)
{
    QStringList out;
    for (int c = 0; c < 8; ++c)
        out << record.GetColumnText(c);
    return out.join(QLatin1Char('|'));
}

template<class Array>
QStringList textsOf(const Array &records)
{
    QStringList out;
    for (const auto &r : records)
        out << columns(r);
    return out;
}

} // namespace

CUnitBench::CUnitBench(std::uint32_t seed)
    : m_unit(std::make_unique<CSimulatedUnit>(generateState(seed)))
    , m_doc(std::make_unique<CTarvelDoc>())
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return;
    }
    m_unit->setLinkPath(linkPath());
    m_ready = m_unit->start(&m_error);
    m_doc->SetPort(linkPath());
}

CUnitBench::~CUnitBench()
{
    m_doc.reset(); // closes the line before the unit goes
    m_unit->stop();
}

QString CUnitBench::linkPath() const
{
    return m_dir.filePath(QStringLiteral("unit"));
}

bool CUnitBench::replug()
{
    m_unit->stop();
    m_unit->clearFaults();
    m_unit->clearTraffic();
    m_ready = m_unit->start(&m_error);
    return m_ready;
}

QList<Frame> CUnitBench::takeReceived()
{
    const QList<Frame> frames = m_unit->receivedFrames();
    m_unit->clearTraffic();
    return frames;
}

void CUnitBench::reload(int dataSet)
{
    CTarvelDoc &d = *m_doc;
    switch (dataSet) {
    case CTarvelDoc::dsKeyTable: clearStatus(d.m_aKeyTable); break;
    case CTarvelDoc::dsKeyLogs: clearStatus(d.m_aKeyLogs); break;
    case CTarvelDoc::dsDaily: clearStatus(d.m_aDaily); break;
    case CTarvelDoc::dsMonthly: clearStatus(d.m_aMonthly); break;
    case CTarvelDoc::dsQuarterly: clearStatus(d.m_aQuarterly); break;
    case CTarvelDoc::dsYearly: clearStatus(d.m_aYearly); break;
    case CTarvelDoc::dsDateLog: clearStatus(d.m_aDateLog); break;
    case CTarvelDoc::dsConfig: d.m_config.m_nStatus = 0; break;
    case CTarvelDoc::dsConfEvents: clearStatus(d.m_aConfEvents); break;
    default: break;
    }
}

QStringList CUnitBench::recordTexts(int dataSet)
{
    CTarvelDoc &d = *m_doc;
    switch (dataSet) {
    case CTarvelDoc::dsKeyTable: return textsOf(d.m_aKeyTable);
    case CTarvelDoc::dsKeyLogs: return textsOf(d.m_aKeyLogs);
    case CTarvelDoc::dsDaily: return textsOf(d.m_aDaily);
    case CTarvelDoc::dsMonthly: return textsOf(d.m_aMonthly);
    case CTarvelDoc::dsQuarterly: return textsOf(d.m_aQuarterly);
    case CTarvelDoc::dsYearly: return textsOf(d.m_aYearly);
    case CTarvelDoc::dsDateLog: return textsOf(d.m_aDateLog);
    case CTarvelDoc::dsCounters: return {columns(d.m_counters)};
    case CTarvelDoc::dsDateTime: return {d.m_dateTime.GetText()};
    case CTarvelDoc::dsCurrentKey: return {d.m_currentKey.GetText()};
    case CTarvelDoc::dsConfig: return ConfigTexts(d.m_config);
    default: return {};
    }
}

QStringList MalformedFrames(const QList<Frame> &frames)
{
    QStringList bad;
    for (const Frame &f : frames) {
        const QString hex = QString::fromLatin1(f.bytes.toHex(' '));
        if (f.type != FrameType::Request && f.type != FrameType::Data) {
            bad << QStringLiteral("%1 frame: %2").arg(QLatin1String(frameTypeName(f.type)), hex);
            continue;
        }
        if (f.type != FrameType::Data)
            continue;
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(f.bytes.constData());
        const auto size = static_cast<std::size_t>(f.bytes.size());
        const std::uint16_t sum = Quilo::checksum(std::span<const std::uint8_t>(bytes, size - 2));
        if ((bytes[size - 2] | (bytes[size - 1] << 8)) != sum)
            bad << QStringLiteral("bad checksum: %1").arg(hex);
    }
    return bad;
}

int CountFrames(const QList<Frame> &frames, int command)
{
    int n = 0;
    for (const Frame &f : frames)
        n += (f.type == FrameType::Request || f.type == FrameType::Data)
             && static_cast<std::uint8_t>(f.bytes[0]) == command;
    return n;
}

QStringList ConfigTexts(const CConfigRecord &c)
{
    return {c.m_type.GetText(),          c.m_mfgNo.GetText(),        c.m_mfgDate.GetText(),
            c.m_licenceNo.GetText(),     c.m_licenceExpiry.GetText(), c.m_cardMfgNo.GetText(),
            c.m_omhId.GetText(),         c.m_certCode.GetText(),     c.m_certDate.GetText(),
            c.m_labCode.GetText(),       c.m_certificateNo.GetText(), c.m_name.GetText(),
            c.m_address.GetText(),       c.m_counterStep.GetText(),  c.m_initialIn.GetText(),
            c.m_initialOut.GetText(),    c.m_initialStake.GetText(), c.m_note.GetText()};
}

QString StatusText(int status)
{
    return QStringLiteral("0x%1").arg(status, 4, 16, QLatin1Char('0'));
}
