#include "collectargs.h"

#include "stringtable.h"

namespace QuiloCollect {

namespace {

Quilo::Failed badValue(const QString &option, const QString &value)
{
    return Quilo::Failed{LoadString(Str::CollectErrValue).arg(option, value)};
}

// A whole number within [low, high]; false otherwise.
bool number(const QString &text, int low, int high, int *out)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < low || n > high)
        return false;
    *out = n;
    return true;
}

// A whole number of seconds within [1, 3600], as milliseconds; false otherwise.
bool seconds(const QString &text, int *outMs)
{
    int n = 0;
    if (!number(text, 1, 3600, &n))
        return false;
    *outMs = n * 1000;
    return true;
}

// Each option's check of its value and what it sets; false: the value is refused.
bool setHelp(CollectOptions &o, const QString &)
{
    o.help = true;
    return true;
}

bool setUnits(CollectOptions &o, const QString &value)
{
    o.unitsFile = value;
    return !value.isEmpty();
}

bool setJobs(CollectOptions &o, const QString &value)
{
    return number(value, 1, 10000, &o.jobs);
}

bool setRetries(CollectOptions &o, const QString &value)
{
    return number(value, 0, 100, &o.retries);
}

bool setRetryPause(CollectOptions &o, const QString &value)
{
    const qint64 ms = ParseDuration(value);
    if (ms <= 0 || ms > 24LL * 3600 * 1000)
        return false;
    o.retryPauseMs = static_cast<int>(ms);
    return true;
}

bool setSilence(CollectOptions &o, const QString &value)
{
    return seconds(value, &o.silenceMs);
}

bool setEvery(CollectOptions &o, const QString &value)
{
    o.everyMs = ParseDuration(value);
    // a round more often than every minute would only meet the last one still reading
    return o.everyMs >= 60 * 1000;
}

bool setAt(CollectOptions &o, const QString &value)
{
    o.at = QTime::fromString(value, QStringLiteral("HH:mm"));
    return o.at.isValid();
}

bool setFormat(CollectOptions &o, const QString &value)
{
    if (value != QLatin1String("table") && value != QLatin1String("json"))
        return false;
    o.json = value == QLatin1String("json");
    return true;
}

bool setOnFlag(CollectOptions &o, const QString &value)
{
    o.onFlag = value;
    return !value.trimmed().isEmpty();
}

bool setOnFlagTimeout(CollectOptions &o, const QString &value)
{
    return seconds(value, &o.onFlagTimeoutMs);
}

bool setHistory(CollectOptions &o, const QString &value)
{
    o.historyUrl = value;
    return true;
}

bool setNoHistory(CollectOptions &o, const QString &)
{
    o.noHistory = true;
    return true;
}

bool ignoreLang(CollectOptions &, const QString &)
{
    // installed by the program before anything is parsed
    return true;
}

struct OptionRule
{
    QLatin1String name;
    bool takesValue;
    bool (*apply)(CollectOptions &o, const QString &value);
};

constexpr OptionRule kOptions[] = {
    {QLatin1String("-h"), false, setHelp},
    {QLatin1String("--help"), false, setHelp},
    {QLatin1String("--units"), true, setUnits},
    {QLatin1String("-j"), true, setJobs},
    {QLatin1String("--jobs"), true, setJobs},
    {QLatin1String("--retries"), true, setRetries},
    {QLatin1String("--retry-pause"), true, setRetryPause},
    {QLatin1String("--silence"), true, setSilence},
    {QLatin1String("--every"), true, setEvery},
    {QLatin1String("--at"), true, setAt},
    {QLatin1String("-f"), true, setFormat},
    {QLatin1String("--format"), true, setFormat},
    {QLatin1String("--on-flag"), true, setOnFlag},
    {QLatin1String("--on-flag-timeout"), true, setOnFlagTimeout},
    {QLatin1String("--history"), true, setHistory},
    {QLatin1String("--no-history"), false, setNoHistory},
    {QLatin1String("--lang"), true, ignoreLang},
};

const OptionRule *findOption(const QString &option)
{
    for (const OptionRule &rule : kOptions) {
        if (option == rule.name)
            return &rule;
    }
    return nullptr;
}

// One word of the command line; "--name=value" carries its value along.
struct Word
{
    QString option;
    QString value;
    bool inlineValue = false;
};

Word splitWord(const QString &a)
{
    if (a.startsWith(QLatin1String("--")) && a.contains(QLatin1Char('=')))
        return Word{a.section(QLatin1Char('='), 0, 0), a.section(QLatin1Char('='), 1), true};
    return Word{a, QString(), false};
}

} // namespace

qint64 ParseDuration(const QString &text)
{
    if (text.isEmpty())
        return 0;
    qint64 unit = 1000;
    QString digits = text;
    switch (text.back().toLatin1()) {
    case 's': unit = 1000; digits.chop(1); break;
    case 'm': unit = 60 * 1000; digits.chop(1); break;
    case 'h': unit = 3600 * 1000; digits.chop(1); break;
    case 'd': unit = 24 * 3600 * 1000; digits.chop(1); break;
    default: break;
    }
    bool ok = false;
    const qint64 n = digits.toLongLong(&ok);
    // up to a year: beyond that a timer's milliseconds are no longer meant
    if (!ok || n <= 0 || n > 366LL * 24 * 3600 * 1000 / unit)
        return 0;
    return n * unit;
}

Quilo::Result<CollectOptions> ParseCollectArgs(const QStringList &arguments)
{
    CollectOptions o;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        Word word = splitWord(a);
        const OptionRule *rule = findOption(word.option);
        if (!rule) {
            if (word.option.startsWith(QLatin1Char('-')) && word.option.size() > 1)
                return Quilo::Failed{LoadString(Str::CollectErrOption).arg(word.option)};
            o.ports << a;
            continue;
        }
        if (rule->takesValue && !word.inlineValue) {
            if (i + 1 >= arguments.size())
                return badValue(word.option, QString());
            word.value = arguments.at(++i);
        }
        if (!rule->apply(o, word.value))
            return badValue(word.option, word.value);
    }
    if (o.everyMs > 0 && o.at.isValid())
        return Quilo::Failed{LoadString(Str::CollectErrEveryAt)};
    return o;
}

} // namespace QuiloCollect
