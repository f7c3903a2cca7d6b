#pragma once
// The command line of `quilo`: subcommands, options and the checks that keep bad input from
// ever reaching the unit. Parsing only; nothing here touches a port.

#include "datasets.h"
#include "formatters.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <span>

namespace QuiloCli {

// The sets and their export live below both front ends; the command line uses them as its own.
using Quilo::AllSets;
using Quilo::BuildSection;
using Quilo::BuildSections;
using Quilo::CExportInfo;
using Quilo::CExportRow;
using Quilo::CExportSection;
using Quilo::CSetSpec;
using Quilo::FormatCsv;
using Quilo::FormatJson;
using Quilo::FormatTable;
using Quilo::CsvLine;
using Quilo::InertText;
using Quilo::LocaleSeparator;
using Quilo::MergeEvents;
using Quilo::ResolveKeyGroup;
using Quilo::ResolveSets;
using Quilo::ResultText;
using Quilo::SetNames;
using Quilo::StatusFromSummary;

} // namespace QuiloCli

namespace QuiloCli {

enum ExitCode : int {
    ExitOk = 0,        // every record read, the write held
    ExitFailed = 1,    // some records failed, a write failed or was declined
    ExitPortFailed = 2,// the port did not open
    ExitUsage = 64,    // bad command line; nothing was sent
    ExitBadFile = 65,  // show: the file is not a read-out this program can read
    ExitNoInput = 66,  // show: the file cannot be read
    ExitOutput = 74,   // the output or the trace could not be written
};

enum class Command { None, Help, Version, Ports, Read, Show, SetClock, WriteKey, History, Compare };
enum class OutputFormat { Table, Csv, Json, Quilo };

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

    QList<CSetSpec> sets;          // read: what to read, in order; show: what to show
    QString inputFile;             // show: the saved read-out
    bool wholeUnit = false;        // read all: a visit for the history
    QString historyUrl;            // --history: where visits are recorded
    bool noHistory = false;        // --no-history
    QString caFile;                // --ca: network ports over TLS
    QString certFile;              // --cert
    QString keyFile;               // --key-file
    int connectTimeoutS = 0;       // --connect-timeout; 0: the settings' or the default

    bool clockFromPc = false;      // set-clock: take the PC's clock at write time
    std::array<std::uint8_t, 5> clockBytes{}; // set-clock: BCD year, month, day, hour, minute
    QDateTime clockValue;          // the same, for messages

    CSetSpec keyGroup;             // write-key
    int keyRow = 0;                // write-key: row in the group, from 0
    QString keyText;               // write-key: normalised to the key format
    QStringList words;             // history, compare: the words after the command
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

// "Com1".."Com4" (any case) become the canonical name; a device path and a network port
// (tcp://HOST:PORT ...) pass; anything else is empty.
QString CanonicalPortName(const QString &text);

QString UsageText();

// What a word of a command line may be, for the shell's completion.
enum class WordKind { Free, Set, SetArgument, KeyGroup, Port, Format, Separator, File, ClockNow, Language };

// The commands `quilo` knows and what their words may be. The parser finds a command here, and
// the shell's completion offers the same rows: a command is offered once it is added here.
struct CommandInfo
{
    const char *name;
    Command command;
    std::array<WordKind, 3> words; // the words after the command's name; Free beyond
};
std::span<const CommandInfo> Commands();
QStringList FormatNames(); // what -f takes
const CommandInfo *FindCommand(const QString &name); // any case; nullptr when there is none

// The options `quilo` takes, as the parser has them, with what their value may be.
struct OptionInfo
{
    QStringList names;   // "p", "port"
    bool takesValue = false;
    WordKind value = WordKind::Free;
};
QList<OptionInfo> Options();

} // namespace QuiloCli
