#pragma once
// Everything the simulated unit holds, and the exact bytes it sends for each request.

#include "bcd.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace QuiloSim {

using Key = std::array<std::uint8_t, 8>;

struct DailyRecord {
    BcdDate date{};
    std::uint32_t cashIn = 0, cashOut = 0, stake = 0, win = 0, winMax = 0;
    BcdTime winMaxTime{};
};

// A month of the monthly log or a quarter of the quarterly log (period byte: month or quarter).
struct PeriodRecord {
    std::uint8_t year = 0, period = 0;
    std::uint32_t cashIn = 0, cashOut = 0, stake = 0, win = 0;
};

struct YearlyRecord {
    std::uint8_t year = 0;
    std::uint32_t cashIn = 0, cashOut = 0, stake = 0, win = 0;
};

struct DateLogRecord {
    BcdDateTime oldDate{}, newDate{};
};

struct KeyLogRecord {
    Key key{};
    BcdDateTime start{}, end{};
};

struct Counters {
    std::uint32_t cashIn = 0, cashOut = 0, stake = 0, win = 0, winMax = 0;
    BcdTime winMaxTime{};
    std::uint32_t games = 0;
};

struct Config {
    QString type, mfgNo, mfgDate, licenceNo, licenceExpiry, cardMfgNo, omhId, certCode, certDate,
        labCode, certificateNo, name, address;
    std::uint16_t counterStep = 0;
    std::uint32_t initialIn = 0, initialOut = 0, initialStake = 0;
    QString note;
};

struct ConfEvent {
    Config config;
    std::uint32_t in = 0, out = 0, stake = 0, win = 0, games = 0;
    BcdDateTime changeTime{};
};

// The unit's clock runs on from the moment it was last set.
struct UnitClock {
    QDateTime setTo = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    std::chrono::steady_clock::time_point setAt = std::chrono::steady_clock::now();

    QDateTime now() const;
    void set(const QDateTime &dateTime);
};

// Array sizes and orders are the unit's: record 1 on the line is element 0, the newest entry.
struct UnitState {
    std::uint32_t seed = 0;
    UnitClock clock;
    std::optional<Key> userKey; // key mode when set
    Key currentKey{};
    std::array<Key, 192> keyTable{};
    Counters counters;
    Config config;
    std::array<ConfEvent, 20> confEvents{};
    std::array<DailyRecord, 31> daily{};
    std::array<PeriodRecord, 61> monthly{};
    std::array<PeriodRecord, 21> quarterly{};
    std::array<YearlyRecord, 6> yearly{};
    std::array<DateLogRecord, 60> dateLog{};
    // 0..19: the OMH log (command 246), 20..39: the SZF log (command 245).
    std::array<KeyLogRecord, 40> keyLogs{};
};

// Wire layouts of the records.
QByteArray encode(const DailyRecord &r);
QByteArray encode(const PeriodRecord &r);
QByteArray encode(const YearlyRecord &r);
QByteArray encode(const DateLogRecord &r);
QByteArray encode(const KeyLogRecord &r);
QByteArray encode(const Counters &r);
QByteArray encode(const Config &r);    // 346 bytes, chunks back to back
QByteArray encode(const ConfEvent &r); // 371 bytes
QByteArray encodeText(const QString &text, int width); // code page 1250, NUL padded

// The data bytes the unit replies to a request; empty for anything that is not a request of
// the command table.
QByteArray replyData(const UnitState &state, std::uint8_t command, std::uint8_t param);

// A reply frame: two header bytes, the data, the checksum low byte first.
QByteArray buildReply(std::uint8_t header0, std::uint8_t header1, const QByteArray &data);
// The 2-byte refusal of a data frame.
QByteArray refusal(std::uint8_t command, std::uint8_t param);

} // namespace QuiloSim
