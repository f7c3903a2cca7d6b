#pragma once
// A simulated unit behind a fixed path and a document that reads it. The unit can be pulled
// (stopped, or its line dropped) and plugged in again while the document keeps its port name,
// as a USB adapter comes back under the same name.

#include "simulatedunit.h"
#include "tarveldoc.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class CUnitBench
{
public:
    explicit CUnitBench(std::uint32_t seed = 7);
    ~CUnitBench();
    CUnitBench(const CUnitBench &) = delete;
    CUnitBench &operator=(const CUnitBench &) = delete;

    bool isReady() const { return m_ready; }
    QString error() const { return m_error; }

    QuiloSim::CSimulatedUnit &unit() { return *m_unit; }
    CTarvelDoc &doc() { return *m_doc; }
    QString linkPath() const;

    // Pulls the unit out and plugs it in again: a new pseudo-terminal behind the same path,
    // no faults, the unit's data as they were.
    bool replug();

    // Frames the unit read since the last call; the traffic record starts afresh.
    QList<QuiloSim::Frame> takeReceived();

    // Marks every record of a data set unread, as a view's "Load" does.
    void reload(int dataSet);

    // One line per record: its column texts (keys and records alike).
    QStringList recordTexts(int dataSet);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QuiloSim::CSimulatedUnit> m_unit;
    std::unique_ptr<CTarvelDoc> m_doc;
    bool m_ready = false;
    QString m_error;
};

// What went to the unit that should not have: anything but whole frames of the command table,
// data frames with a wrong checksum. One description per offending frame; empty when all is well.
QStringList MalformedFrames(const QList<QuiloSim::Frame> &frames);

// Whole frames of one command code among `frames`.
int CountFrames(const QList<QuiloSim::Frame> &frames, int command);

// The longest one read attempt of n data bytes may take, and a silent reply (three attempts).
constexpr int AttemptMs(int n)
{
    return 100 + 20 * (n + 4);
}
constexpr int SilentReplyMs(int n)
{
    return 3 * AttemptMs(n);
}

// The texts of the configuration's 18 fields, in wire order.
QStringList ConfigTexts(const CConfigRecord &config);

// Result codes as the status words and summaries carry them, for messages.
QString StatusText(int status);
