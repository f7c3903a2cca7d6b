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
        QString option = a;
        QString value;
        bool inlineValue = false;
        if (a.startsWith(QLatin1String("--")) && a.contains(QLatin1Char('='))) {
            option = a.section(QLatin1Char('='), 0, 0);
            value = a.section(QLatin1Char('='), 1);
            inlineValue = true;
        }
        static const QStringList withValue{QStringLiteral("--units"), QStringLiteral("-j"), QStringLiteral("--jobs"),
                                           QStringLiteral("--retries"), QStringLiteral("--retry-pause"),
                                           QStringLiteral("--silence"), QStringLiteral("--every"),
                                           QStringLiteral("--at"), QStringLiteral("-f"), QStringLiteral("--format"),
                                           QStringLiteral("--on-flag"), QStringLiteral("--on-flag-timeout"),
                                           QStringLiteral("--history"), QStringLiteral("--lang")};
        if (withValue.contains(option) && !inlineValue) {
            if (i + 1 >= arguments.size())
                return badValue(option, QString());
            value = arguments.at(++i);
        }
        int n = 0;
        if (option == QLatin1String("-h") || option == QLatin1String("--help")) {
            o.help = true;
        } else if (option == QLatin1String("--units")) {
            if (value.isEmpty())
                return badValue(option, value);
            o.unitsFile = value;
        } else if (option == QLatin1String("-j") || option == QLatin1String("--jobs")) {
            if (!number(value, 1, 10000, &o.jobs))
                return badValue(option, value);
        } else if (option == QLatin1String("--retries")) {
            if (!number(value, 0, 100, &o.retries))
                return badValue(option, value);
        } else if (option == QLatin1String("--retry-pause")) {
            const qint64 ms = ParseDuration(value);
            if (ms <= 0 || ms > 24LL * 3600 * 1000)
                return badValue(option, value);
            o.retryPauseMs = static_cast<int>(ms);
        } else if (option == QLatin1String("--silence")) {
            if (!number(value, 1, 3600, &n))
                return badValue(option, value);
            o.silenceMs = n * 1000;
        } else if (option == QLatin1String("--every")) {
            o.everyMs = ParseDuration(value);
            // a round more often than every minute would only meet the last one still reading
            if (o.everyMs < 60 * 1000)
                return badValue(option, value);
        } else if (option == QLatin1String("--at")) {
            o.at = QTime::fromString(value, QStringLiteral("HH:mm"));
            if (!o.at.isValid())
                return badValue(option, value);
        } else if (option == QLatin1String("-f") || option == QLatin1String("--format")) {
            if (value != QLatin1String("table") && value != QLatin1String("json"))
                return badValue(option, value);
            o.json = value == QLatin1String("json");
        } else if (option == QLatin1String("--on-flag")) {
            if (value.trimmed().isEmpty())
                return badValue(option, value);
            o.onFlag = value;
        } else if (option == QLatin1String("--on-flag-timeout")) {
            if (!number(value, 1, 3600, &n))
                return badValue(option, value);
            o.onFlagTimeoutMs = n * 1000;
        } else if (option == QLatin1String("--history")) {
            o.historyUrl = value;
        } else if (option == QLatin1String("--no-history")) {
            o.noHistory = true;
        } else if (option == QLatin1String("--lang")) {
            // installed by the program before anything is parsed
        } else if (option.startsWith(QLatin1Char('-')) && option.size() > 1) {
            return Quilo::Failed{LoadString(Str::CollectErrOption).arg(option)};
        } else {
            o.ports << a;
        }
    }
    if (o.everyMs > 0 && o.at.isValid())
        return Quilo::Failed{LoadString(Str::CollectErrEveryAt)};
    return o;
}

} // namespace QuiloCollect
