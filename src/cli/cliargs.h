#pragma once
// The command line of `quilo`: subcommands, options and the checks that keep bad input from
// ever reaching the unit. Parsing only; nothing here touches a port.

#include "datasets.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace QuiloCli {

enum ExitCode : int {
    ExitOk = 0,        // every record read, the write held
    ExitFailed = 1,    // some records failed, a write failed or was declined
    ExitPortFailed = 2,// the port did not open
    ExitUsage = 64,    // bad command line; nothing was sent
    ExitOutput = 74,   // the output or the trace could not be written
};

enum class Command { None, Help, Version, Ports, Read, SetClock, WriteKey };
enum class OutputFormat { Table, Csv, Json };

struct CCliOptions
{
    Command command = Command::None;
    QString portName = QStringLiteral("Com2");
    bool simulate = false;
    int simPaceMs = 0;             // delay per simulated reply, to watch progress and Ctrl-C
    bool keyMode = false;
    QString userKeyText;           // in the key format
    bool trace = false;
    QString traceFile;             // empty with trace: stderr
    OutputFormat format = OutputFormat::Table;
    QString outputFile;            // empty or "-": stdout
    QChar separator;               // null: the locale's convention
    bool yes = false;

    QList<CSetSpec> sets;          // read: what to read, in order
    bool wholeUnit = false;        // read all: a visit for the history
    QString historyUrl;            // --history: where visits are recorded
    bool noHistory = false;        // --no-history

    bool clockFromPc = false;      // set-clock: take the PC's clock at write time
    std::array<std::uint8_t, 5> clockBytes{}; // set-clock: BCD year, month, day, hour, minute
    QDateTime clockValue;          // the same, for messages

    CSetSpec keyGroup;             // write-key
    int keyRow = 0;                // write-key: row in the group, from 0
    QString keyText;               // write-key: normalised to the key format
};

struct CParseResult
{
    CCliOptions options;
    QString error;                 // empty when the command line is usable
    bool ok() const { return error.isEmpty(); }
};

CParseResult ParseCommandLine(const QStringList &arguments); // arguments without the program name

// Eight bytes from a key text: 16 hexadecimal digits, blanks and dashes between them ignored
// (so both the key format "01 - 23 45 67 89 AB CD - EF" and "0123456789ABCDEF" pass).
bool ParseKeyText(const QString &text, std::array<std::uint8_t, 8> *bytes);
QString FormatKeyText(const std::array<std::uint8_t, 8> &bytes); // in the key format

// A date and time to the minute, "yyyy-MM-dd HH:mm" (or with 'T', seconds allowed and dropped).
// Fails with a message for text that is no date or a year outside 2000 to 2099.
// The value is a plain date and time (no zone, no daylight saving), as the unit's clock is.
bool ParseClockText(const QString &text, QDateTime *value, QString *error);
std::array<std::uint8_t, 5> ClockBytes(const QDateTime &value); // packed BCD, as the unit keeps it
// True when a clock read back as `held` still holds the write of `written`: the same minute or
// up to a few minutes later, as the clock runs on. Both are taken as plain dates and times, so
// a change of the PC's daylight saving between them changes nothing.
bool ClockHolds(const QDateTime &written, const QDateTime &held);

// "Com1".."Com4" (any case) become the canonical name; a device path passes; anything else
// is empty.
QString CanonicalPortName(const QString &text);

QString UsageText();

} // namespace QuiloCli
