#include "cliargs.h"

#include "netport.h"
#include "quilofile.h"

#include "stringtable.h"
#include "tarveldoc.h"
#include "translation.h"
#include "unitclock.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace QuiloCli {

namespace {

struct Parser {
    QCommandLineParser p;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption version{QStringLiteral("version")};
    QCommandLineOption port{{QStringLiteral("p"), QStringLiteral("port")}, QString(), QStringLiteral("port")};
    QCommandLineOption simulate{QStringLiteral("simulate")};
    QCommandLineOption simPace{QStringLiteral("sim-pace"), QString(), QStringLiteral("ms")};
    QCommandLineOption userKey{{QStringLiteral("k"), QStringLiteral("user-key")}, QString(), QStringLiteral("key")};
    QCommandLineOption trace{QStringLiteral("trace")};
    QCommandLineOption traceFile{QStringLiteral("trace-file"), QString(), QStringLiteral("file")};
    QCommandLineOption format{{QStringLiteral("f"), QStringLiteral("format")}, QString(), QStringLiteral("format")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("file")};
    QCommandLineOption separator{{QStringLiteral("s"), QStringLiteral("separator")}, QString(), QStringLiteral("char")};
    QCommandLineOption yes{{QStringLiteral("y"), QStringLiteral("yes")}};
    QCommandLineOption now{QStringLiteral("now")};
    QCommandLineOption history{QStringLiteral("history"), QString(), QStringLiteral("url")};
    QCommandLineOption noHistory{QStringLiteral("no-history")};
    QCommandLineOption caFile{QStringLiteral("ca"), QString(), QStringLiteral("file")};
    QCommandLineOption certFile{QStringLiteral("cert"), QString(), QStringLiteral("file")};
    QCommandLineOption keyFile{QStringLiteral("key-file"), QString(), QStringLiteral("file")};
    QCommandLineOption connectTimeout{QStringLiteral("connect-timeout"), QString(), QStringLiteral("seconds")};
    // taken before the parser runs (main.cpp), so that its messages are in that language
    QCommandLineOption lang{QStringLiteral("lang"), QString(), QStringLiteral("language")};

    // Every option once, with what its value may be (for the shell's completion).
    const std::vector<std::pair<const QCommandLineOption *, WordKind>> all{
        {&help, WordKind::Free}, {&version, WordKind::Free}, {&port, WordKind::Port},
        {&simulate, WordKind::Free}, {&simPace, WordKind::Free}, {&userKey, WordKind::Free},
        {&trace, WordKind::Free}, {&traceFile, WordKind::File}, {&format, WordKind::Format},
        {&output, WordKind::File}, {&separator, WordKind::Separator}, {&yes, WordKind::Free},
        {&now, WordKind::Free}, {&history, WordKind::Free}, {&noHistory, WordKind::Free},
        {&lang, WordKind::Language}, {&caFile, WordKind::File}, {&certFile, WordKind::File},
        {&keyFile, WordKind::File}, {&connectTimeout, WordKind::Free}};

    Parser()
    {
        p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const auto &[option, kind] : all)
            p.addOption(*option);
    }
};

constexpr CommandInfo kCommands[] = {
    {"ports", Command::Ports, {}},
    {"read", Command::Read, {WordKind::Set, WordKind::SetArgument}},
    {"set-clock", Command::SetClock, {WordKind::ClockNow}},
    {"write-key", Command::WriteKey, {WordKind::KeyGroup}},
    {"show", Command::Show, {WordKind::File, WordKind::Set, WordKind::SetArgument}},
    {"history", Command::History, {}},
    {"compare", Command::Compare, {}},
    {"help", Command::Help, {}},
};

constexpr std::pair<const char *, OutputFormat> kFormats[] = {
    {"table", OutputFormat::Table}, {"csv", OutputFormat::Csv}, {"json", OutputFormat::Json}, {"quilo", OutputFormat::Quilo}};

// "hu", "en", and the locale names that lead to them ("hu_HU.UTF-8"), in any case.
bool knownLanguage(const QString &text)
{
    const QString language = text.trimmed().section(QLatin1Char('.'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
    return Quilo::Languages().contains(language);
}

// Where the unit is and how it is reached: the port, its network settings, the simulated unit,
// key mode.
bool parseLine(const Parser &parser, CCliOptions *o, QString *error)
{
    const QCommandLineParser &p = parser.p;
    if (p.isSet(parser.port)) {
        o->portName = CanonicalPortName(p.value(parser.port));
        if (Quilo::Net::LooksLikeNetworkPort(p.value(parser.port))) {
            const Quilo::Net::ParsedAddress parsed = Quilo::Net::ParseAddress(p.value(parser.port));
            if (!parsed.address) {
                *error = LoadString(Str::NetErrBadPort).arg(p.value(parser.port), parsed.problem);
                return false;
            }
        }
        if (o->portName.isEmpty()) {
            *error = LoadString(Str::CliErrPortName).arg(p.value(parser.port));
            return false;
        }
    }
    o->caFile = p.value(parser.caFile);
    o->certFile = p.value(parser.certFile);
    o->keyFile = p.value(parser.keyFile);
    if (p.isSet(parser.connectTimeout)) {
        bool ok = false;
        o->connectTimeoutS = p.value(parser.connectTimeout).toInt(&ok);
        if (!ok || o->connectTimeoutS < 1 || o->connectTimeoutS > Quilo::Net::kMaxConnectTimeoutS) {
            *error = LoadString(Str::CliErrConnectTimeout).arg(p.value(parser.connectTimeout));
            return false;
        }
    }
    o->simulate = p.isSet(parser.simulate);
    if (p.isSet(parser.simPace)) {
        bool ok = false;
        o->simPaceMs = p.value(parser.simPace).toInt(&ok);
        if (!ok || o->simPaceMs < 0 || o->simPaceMs > 10000) {
            *error = LoadString(Str::CliErrPace).arg(p.value(parser.simPace));
            return false;
        }
    }
    if (p.isSet(parser.userKey)) {
        std::array<std::uint8_t, 8> bytes{};
        if (!ParseKeyText(p.value(parser.userKey), &bytes)) {
            *error = LoadString(Str::CliErrKeyText).arg(p.value(parser.userKey));
            return false;
        }
        o->keyMode = true;
        o->userKeyText = FormatKeyText(bytes);
    }
    return true;
}

// What is written where: the trace, the output's form and file, the history.
bool parseOutput(const Parser &parser, CCliOptions *o, QString *error)
{
    const QCommandLineParser &p = parser.p;
    o->trace = p.isSet(parser.trace) || p.isSet(parser.traceFile);
    o->traceFile = p.value(parser.traceFile);
    if (p.isSet(parser.format)) {
        const QString f = p.value(parser.format).toLower();
        const auto known = std::find_if(std::begin(kFormats), std::end(kFormats),
                                        [&](const auto &row) { return f == QLatin1String(row.first); });
        if (known == std::end(kFormats)) {
            *error = LoadString(Str::CliErrFormat).arg(p.value(parser.format));
            return false;
        }
        o->format = known->second;
    }
    // An empty name is no file: standard output is "-", said so.
    if (p.isSet(parser.output) && p.value(parser.output).isEmpty()) {
        *error = LoadString(Str::CliErrOutputEmpty);
        return false;
    }
    o->outputFile = p.value(parser.output);
    // A file named *.quilo gets the read-out file unless another form was asked for.
    if (!p.isSet(parser.format) && o->outputFile.endsWith(QLatin1String(Quilo::kFileSuffix), Qt::CaseInsensitive))
        o->format = OutputFormat::Quilo;
    if (p.isSet(parser.separator)) {
        const QString s = p.value(parser.separator);
        if (s.compare(QLatin1String("tab"), Qt::CaseInsensitive) == 0 || s == QLatin1String("\\t"))
            o->separator = QLatin1Char('\t');
        else if (s.size() == 1 && s != QLatin1String("\"") && s != QLatin1String("\n") && s != QLatin1String("\r"))
            o->separator = s.at(0);
        else {
            *error = LoadString(Str::CliErrSeparator).arg(s);
            return false;
        }
    }
    o->yes = p.isSet(parser.yes);
    o->historyUrl = p.value(parser.history);
    o->noHistory = p.isSet(parser.noHistory);
    return true;
}

bool parseCommon(const Parser &parser, CCliOptions *o, QString *error)
{
    return parseLine(parser, o, error) && parseOutput(parser, o, error);
}

bool parseSetClock(const Parser &parser, const QStringList &words, CCliOptions *o, QString *error)
{
    QStringList rest = words;
    bool fromPc = parser.p.isSet(parser.now);
    if (rest.size() == 1 && rest.first().compare(QLatin1String("now"), Qt::CaseInsensitive) == 0) {
        fromPc = true;
        rest.clear();
    }
    if (fromPc && !rest.isEmpty()) {
        *error = LoadString(Str::CliErrClockBoth);
        return false;
    }
    if (!fromPc && rest.isEmpty()) {
        *error = LoadString(Str::CliErrClockMissing);
        return false;
    }
    o->clockFromPc = fromPc;
    if (fromPc)
        return true;
    if (!ParseClockText(rest.join(QLatin1Char(' ')), &o->clockValue, error))
        return false;
    o->clockBytes = ClockBytes(o->clockValue);
    return true;
}

bool parseWriteKey(const QStringList &words, CCliOptions *o, QString *error)
{
    if (words.size() < 3) {
        *error = LoadString(Str::CliErrWriteKeyArgs);
        return false;
    }
    const Quilo::Result<CSetSpec> group = ResolveKeyGroup(words.at(0));
    if (!group) {
        *error = group.error();
        return false;
    }
    o->keyGroup = *group;
    bool ok = false;
    const int row = words.at(1).toInt(&ok);
    if (!ok || row < 1 || row > o->keyGroup.recordCount()) {
        *error = LoadString(Str::CliErrRow)
                     .arg(words.at(1), QString::number(o->keyGroup.recordCount()), LoadString(o->keyGroup.groupId));
        return false;
    }
    o->keyRow = row - 1;
    const QString text = words.mid(2).join(QLatin1Char(' '));
    std::array<std::uint8_t, 8> bytes{};
    if (!ParseKeyText(text, &bytes)) {
        *error = LoadString(Str::CliErrKeyText).arg(text);
        return false;
    }
    o->keyText = FormatKeyText(bytes);
    return true;
}

} // namespace

QString CanonicalPortName(const QString &text)
{
    static const QRegularExpression comName(QStringLiteral("^com([1-4])$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = comName.match(text);
    if (m.hasMatch())
        return QStringLiteral("Com") + m.captured(1);
    if (text.startsWith(QLatin1Char('/')) && text.size() > 1)
        return text;
    if (Quilo::Net::ParseAddress(text).address)
        return text.trimmed();
    return QString();
}

bool ParseKeyText(const QString &text, std::array<std::uint8_t, 8> *bytes)
{
    return CKeyField::ParseTyped(text, bytes->data());
}

QString FormatKeyText(const std::array<std::uint8_t, 8> &b)
{
    return CKeyField::FormatKey(b.data());
}

bool ParseClockText(const QString &text, QDateTime *value, QString *error)
{
    static const QRegularExpression form(QStringLiteral(
        "^\\s*(\\d{4})-(\\d{1,2})-(\\d{1,2})[ T]+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        *error = LoadString(Str::CliErrClockText).arg(text);
        return false;
    }
    const int year = m.captured(1).toInt();
    if (year < 2000 || year > 2099) {
        *error = LoadString(Str::CliErrClockYear).arg(year);
        return false;
    }
    const QDate date(year, m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt());
    const int seconds = m.captured(6).isEmpty() ? 0 : m.captured(6).toInt();
    if (!date.isValid() || !time.isValid() || seconds > 59) {
        *error = LoadString(Str::CliErrClockText).arg(text);
        return false;
    }
    // The unit's clock has no zone: 02:30 on the day the local clocks skip it is a time the
    // unit can hold. Seconds are dropped, the unit keeps minutes.
    *value = Quilo::PlainDateTime(date, time);
    return true;
}

std::array<std::uint8_t, 5> ClockBytes(const QDateTime &value)
{
    Quilo::ClockBytes bcd{};
    Quilo::DateTimeToUnitClock(value.date(), QTime(value.time().hour(), value.time().minute()), bcd);
    return bcd;
}

bool ClockHolds(const QDateTime &written, const QDateTime &held)
{
    if (!written.isValid() || !held.isValid())
        return false;
    const qint64 later = Quilo::PlainDateTime(written.date(), written.time())
                             .secsTo(Quilo::PlainDateTime(held.date(), held.time()));
    return later >= 0 && later <= CTarvelDoc::kClockHeldSeconds;
}

QStringList FormatNames()
{
    QStringList names;
    for (const auto &[name, format] : kFormats)
        names << QLatin1String(name);
    return names;
}

std::span<const CommandInfo> Commands()
{
    return kCommands;
}

const CommandInfo *FindCommand(const QString &name)
{
    for (const CommandInfo &c : kCommands)
        if (name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

QList<OptionInfo> Options()
{
    const Parser parser;
    QList<OptionInfo> options;
    for (const auto &[option, kind] : parser.all)
        options << OptionInfo{option->names(), !option->valueName().isEmpty(), kind};
    return options;
}

QString UsageText()
{
    // The network ports' block stands apart, after the exit statuses: it is read when needed.
    return LoadString(Str::CliUsage) + QLatin1Char('\n') + LoadString(Str::CliNetUsage);
}

namespace {

// The words after the command, by command.
void takeSets(const QStringList &words, CCliOptions &o, QString *error)
{
    const Quilo::Result<QList<CSetSpec>> sets = ResolveSets(words);
    o.sets = sets.valueOr({});
    *error = sets.error();
}

void parseCommandWords(const Parser &parser, QStringList words, CCliOptions &o, QString *error)
{
    switch (o.command) {
    case Command::Ports:
        if (!words.isEmpty())
            *error = LoadString(Str::CliErrExtraWords).arg(words.join(QLatin1Char(' ')));
        break;
    case Command::Read:
        takeSets(words, o, error);
        o.wholeUnit = words.size() == 1 && words.first().compare(QLatin1String("all"), Qt::CaseInsensitive) == 0;
        break;
    case Command::Show:
        if (words.isEmpty()) {
            *error = LoadString(Str::CliErrShowFile);
        } else {
            o.inputFile = words.takeFirst();
            if (!words.isEmpty())
                takeSets(words, o, error);
        }
        if (error->isEmpty() && o.format == OutputFormat::Quilo)
            *error = LoadString(Str::CliErrFormat).arg(QStringLiteral("quilo"));
        break;
    case Command::SetClock:
        parseSetClock(parser, words, &o, error);
        break;
    case Command::WriteKey:
        parseWriteKey(words, &o, error);
        break;
    case Command::History:
    case Command::Compare:
        o.words = words;
        if (o.format == OutputFormat::Quilo)
            *error = LoadString(Str::CliErrFormat).arg(parser.p.value(parser.format));
        break;
    default:
        break;
    }
}

// Options that mean nothing to the command given: said rather than ignored.
void checkOptionsFit(const Parser &parser, const QString &command, const CCliOptions &o, QString *error)
{
    // The history reads no unit and writes no file of its own: options for that were meant elsewhere.
    if (error->isEmpty() && (o.command == Command::History || o.command == Command::Compare)) {
        const std::pair<const QCommandLineOption *, const char *> unitOptions[] = {
            {&parser.port, "-p"},        {&parser.simulate, "--simulate"},   {&parser.simPace, "--sim-pace"},
            {&parser.userKey, "-k"},     {&parser.trace, "--trace"},         {&parser.traceFile, "--trace-file"},
            {&parser.output, "-o"},      {&parser.yes, "-y"},                {&parser.now, "--now"},
            {&parser.noHistory, "--no-history"}, {&parser.caFile, "--ca"}, {&parser.certFile, "--cert"},
            {&parser.keyFile, "--key-file"}, {&parser.connectTimeout, "--connect-timeout"}};
        for (const auto &[option, name] : unitOptions)
            if (parser.p.isSet(*option)) {
                *error = LoadString(Str::CliErrOptionNotFor).arg(command, QLatin1String(name));
                break;
            }
    }
    // The writes produce messages only: an output option there was meant for something else.
    if (error->isEmpty() && (o.command == Command::SetClock || o.command == Command::WriteKey)) {
        const std::pair<const QCommandLineOption *, const char *> outputOptions[] = {
            {&parser.output, "-o"}, {&parser.format, "-f"}, {&parser.separator, "-s"}};
        for (const auto &[option, name] : outputOptions)
            if (parser.p.isSet(*option)) {
                *error = LoadString(Str::CliErrOutputOption).arg(command, QLatin1String(name));
                break;
            }
    }
}

} // namespace

CParseResult ParseCommandLine(const QStringList &arguments)
{
    CParseResult result;
    CCliOptions &o = result.options;
    Parser parser;
    QStringList withName = arguments;
    withName.prepend(QStringLiteral("quilo"));
    if (!parser.p.parse(withName)) {
        result.error = LoadString(Str::CliErrOption).arg(parser.p.errorText());
        return result;
    }
    // main.cpp took the language before the parser ran and falls back to English for one it
    // does not know; a script that asked for another should hear so rather than get English.
    for (const QString &language : parser.p.values(parser.lang))
        if (!knownLanguage(language)) {
            result.error = LoadString(Str::CliErrLanguage).arg(language, Quilo::Languages().join(QStringLiteral(", ")));
            return result;
        }
    if (parser.p.isSet(parser.help)) {
        o.command = Command::Help;
        return result;
    }
    if (parser.p.isSet(parser.version)) {
        o.command = Command::Version;
        return result;
    }
    if (!parseCommon(parser, &o, &result.error))
        return result;

    QStringList words = parser.p.positionalArguments();
    if (words.isEmpty()) {
        result.error = LoadString(Str::CliErrNoCommand);
        return result;
    }
    const QString command = words.takeFirst().toLower();
    const CommandInfo *info = FindCommand(command);
    if (!info) {
        result.error = LoadString(Str::CliErrCommand).arg(command);
        return result;
    }
    o.command = info->command;
    parseCommandWords(parser, words, o, &result.error);
    checkOptionsFit(parser, command, o, &result.error);
    return result;
}

} // namespace QuiloCli
