#pragma once
// The unit's command set: codes, parameter ranges and data lengths. One table, used by the
// engine, the simulated unit, the tests and the benchmarks alike.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace Quilo {

enum class FrameKind : std::uint8_t { Request, Data };

// Command codes as they travel on the line.
enum Command : std::uint8_t {
    CmdDaily = 198,          // C6, record 1..31, 25 bytes
    CmdMonthly = 199,        // C7, record 1..61, 18 bytes
    CmdQuarterly = 200,      // C8, record 1..21, 18 bytes
    CmdYearly = 201,         // C9, record 1..6, 17 bytes
    CmdConfig = 202,         // CA, chunk 1..18, chunk length
    CmdKey = 203,            // CB, 0: current key, 1..192: key table entry, 8 bytes
    CmdKeyWrite = 205,       // CD, data frame; 0: present the user key, 1..192: write entry
    CmdCounters = 206,       // CE, 0, 26 bytes
    CmdDateTime = 209,       // D1, 0, 5 bytes
    CmdSetDateTime = 210,    // D2, data frame, 0, 5 bytes
    CmdDateLog = 224,        // E0, record 1..60, 10 bytes
    CmdConfEventFirst = 225, // E1..F4: event 0..19, chunk 1..24, chunk length
    CmdConfEventLast = 244,
    CmdKeyLogSzf = 245,      // F5, record 1..20, 18 bytes (document records 20..39)
    CmdKeyLogOmh = 246,      // F6, record 1..20, 18 bytes (document records 0..19)
};

struct CommandInfo {
    std::uint8_t firstCode;  // a row covers codes firstCode..lastCode
    std::uint8_t lastCode;
    FrameKind kind;
    std::uint8_t paramMin;
    std::uint8_t paramMax;
    std::uint8_t dataLength; // 0: the chunk table gives the length per parameter
};

inline constexpr std::array<CommandInfo, 15> kCommands{{
    {CmdDaily, CmdDaily, FrameKind::Request, 1, 31, 25},
    {CmdMonthly, CmdMonthly, FrameKind::Request, 1, 61, 18},
    {CmdQuarterly, CmdQuarterly, FrameKind::Request, 1, 21, 18},
    {CmdYearly, CmdYearly, FrameKind::Request, 1, 6, 17},
    {CmdConfig, CmdConfig, FrameKind::Request, 1, 18, 0},
    {CmdKey, CmdKey, FrameKind::Request, 0, 0, 8},
    {CmdKey, CmdKey, FrameKind::Request, 1, 192, 8},
    {CmdKeyWrite, CmdKeyWrite, FrameKind::Data, 0, 0, 8},
    {CmdKeyWrite, CmdKeyWrite, FrameKind::Data, 1, 192, 8},
    {CmdCounters, CmdCounters, FrameKind::Request, 0, 0, 26},
    {CmdDateTime, CmdDateTime, FrameKind::Request, 0, 0, 5},
    {CmdSetDateTime, CmdSetDateTime, FrameKind::Data, 0, 0, 5},
    {CmdDateLog, CmdDateLog, FrameKind::Request, 1, 60, 10},
    {CmdConfEventFirst, CmdConfEventLast, FrameKind::Request, 1, 24, 0},
    {CmdKeyLogSzf, CmdKeyLogOmh, FrameKind::Request, 1, 20, 18},
}};

// Field widths of the configuration (chunks 1..18); an event adds chunks 19..24.
inline constexpr std::array<std::uint8_t, 24> kChunkLengths{
    16, 16, 16, 16, 16, 16, 8, 2, 16, 2, 16, 64, 64, 2, 4, 4, 4, 64, // configuration
    4, 4, 4, 4, 4, 5};                                               // event's counters and time
inline constexpr std::size_t kConfigChunks = 18;
inline constexpr std::size_t kConfEventChunks = 24;
inline constexpr std::size_t kConfigBytes = 346;
inline constexpr std::size_t kConfEventBytes = 371;
inline constexpr std::size_t kConfEvents = 20;

inline constexpr std::size_t kKeyLength = 8;     // user key and key table entries
inline constexpr std::size_t kFrameOverhead = 4; // two header bytes (or command, parameter) and checksum
inline constexpr std::size_t kLargestData = 64;  // so the largest frame is 68 bytes
inline constexpr std::size_t kLineBufferSize = 100;

// True when the row `c` covers this code and parameter.
constexpr bool answers(const CommandInfo &c, std::uint8_t code, std::uint8_t param)
{
    return code >= c.firstCode && code <= c.lastCode && param >= c.paramMin && param <= c.paramMax;
}

// The row of the table for a code and parameter, or nullptr when the unit does not know it.
constexpr const CommandInfo *findCommand(std::uint8_t code, std::uint8_t param)
{
    for (const CommandInfo &c : kCommands)
        if (answers(c, code, param))
            return &c;
    return nullptr;
}

// Data bytes of the reply (or of a data frame) for a code and parameter; 0 when unknown.
// Indexes rather than pointers: the sanitizers' builds cannot compare a pointer with null at
// compile time, and the data-set table checks its lengths with this when it compiles.
constexpr std::size_t dataLength(std::uint8_t code, std::uint8_t param)
{
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        const CommandInfo &c = kCommands[i];
        if (!answers(c, code, param))
            continue;
        if (c.dataLength != 0)
            return c.dataLength;
        if (param == 0 || param > kChunkLengths.size())
            return 0; // the chunked rows start at 1; said again for the optimiser's sake
        return kChunkLengths[static_cast<std::size_t>(param - 1)];
    }
    return 0;
}

// 0xFFFF minus the byte sum, modulo 65536: the checksum of data frames and replies.
constexpr std::uint16_t checksum(std::span<const std::uint8_t> bytes)
{
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return static_cast<std::uint16_t>(0xFFFFu - (sum & 0xFFFFu));
}

// Transaction result codes; 256 is the engine's "key presentation failed".
enum ResultCode : int {
    ResultOk = 0,
    ResultNotSent = 1,
    ResultTwoBytes = 16,
    ResultWrongLength = 32,
    ResultBadChecksum = 48,
    ResultRefused = 64,
    ResultKeyFailed = 256,
};

} // namespace Quilo
