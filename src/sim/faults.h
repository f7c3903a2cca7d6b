#pragma once
// Faults the simulated unit can be told to make, per command and parameter or for any frame.
//
// Text form (quilo-sim --fault): TARGET=KIND[:N][,once]
//   TARGET  any | CMD | CMD:PARAM   (decimal or 0x hexadecimal)
//   KIND    silent | two | length[:D] | checksum | late:MS | garbage[:N] | refuse | gap:MS | drop[:N]
// e.g. "198:5=checksum", "any=late:500", "205=refuse,once", "any=drop:10".
//
// silent, refuse and drop stand for a unit that did not take the frame: it changes nothing.
// The others spoil only what goes back on the line; the unit has acted on the frame.

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <random>

namespace QuiloSim {

enum class FaultKind : std::uint8_t {
    Silent,   // no answer
    TwoBytes, // only the two header bytes
    Length,   // the answer N bytes longer or shorter (default one short)
    Checksum, // checksum off by one
    Late,     // the answer N ms late
    Garbage,  // N random bytes instead (default: as many as the answer)
    Refuse,   // the 2-byte refusal
    Gap,      // a pause of N ms in the middle of the answer
    Drop,     // after N more frames the line goes away for good
};

struct Fault {
    int command = -1; // -1: any
    int param = -1;   // -1: any
    FaultKind kind = FaultKind::Silent;
    int arg = 0;
    bool once = false;

    bool matches(std::uint8_t cmd, std::uint8_t prm) const;
    bool changesNothing() const; // the unit did not take the frame
};

std::optional<Fault> parseFault(const QString &faultText, QString *error = nullptr);
QString faultToString(const Fault &fault);

// What goes on the line for one frame.
struct Transmission {
    QByteArray bytes;
    int delayMs = 0;     // before the first byte, on top of the turnaround
    int gapAfter = -1;   // index of the byte after which to pause
    int gapMs = 0;
    bool dropLine = false;
};

// `answer` is the unit's sound answer (possibly empty); `frame` the command and parameter.
Transmission applyFault(const std::optional<Fault> &fault, const QByteArray &answer, std::uint8_t command,
                        std::uint8_t param, std::mt19937 &random);

// The faults in force; the most specific one that matches wins (CMD:PARAM over CMD over any).
class CFaultTable
{
public:
    void add(const Fault &fault);
    void clear();
    QList<Fault> faults() const { return m_faults; }
    // The fault for this frame, if any; counts it for "drop" and uses up "once".
    std::optional<Fault> take(std::uint8_t command, std::uint8_t param);

private:
    QList<Fault> m_faults;
    QList<int> m_seen; // frames seen per fault, for drop
};

} // namespace QuiloSim
