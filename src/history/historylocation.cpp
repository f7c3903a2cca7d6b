#include "historylocation.h"

#include "stringtable.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace Quilo {

namespace {

// The window's organisation and application names: its settings file and data folder, which
// the command line shares.
constexpr char kOrganisation[] = "Local AppWizard-Generated Applications";
constexpr char kApplication[] = "tarvel";

HistoryLocation invalid(const QString &shown, const QString &why)
{
    HistoryLocation l;
    l.shown = shown;
    l.target = shown; // a visit meant for it waits until the user names a history for it
    l.error = LoadString(Str::HistErrUrl).arg(shown, why);
    return l;
}

HistoryLocation sqliteAt(const QString &path)
{
    HistoryLocation l;
    l.kind = HistoryLocation::Kind::SQLite;
    l.path = path;
    l.shown = path;
    l.target = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return l;
}

// "user:password@" (the password up to the last "@" before the path, so that one holding ":"
// or "@" goes whole), with or without the "//" before it.
const QRegularExpression &userPassword()
{
    static const QRegularExpression re(QStringLiteral(":[^/?#\\s]*@"));
    return re;
}

// "password=..." among a URL's options, and the separator after it.
const QRegularExpression &passwordOption()
{
    static const QRegularExpression re(QStringLiteral("(?<=[?&;])password=[^&#\\s]*&?"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

// The URL as typed, with whatever password it holds taken out.
QString scrubbed(const QString &text)
{
    QString out = text;
    out.replace(userPassword(), QStringLiteral("@"));
    out.replace(passwordOption(), QString());
    while (out.endsWith(QLatin1Char('?')) || out.endsWith(QLatin1Char('&')))
        out.chop(1);
    return out;
}

} // namespace

QString WithoutPassword(const QString &text, const HistoryLocation &location)
{
    QString out = scrubbed(text);
    // Anything else that holds it (a driver's message quoting its options): three characters
    // or more, so that a one-letter password does not blank every such letter of a message.
    if (location.password.size() >= 3) {
        for (const QString &form : {location.password, QString::fromLatin1(QUrl::toPercentEncoding(location.password))})
            out.replace(form, QStringLiteral("***"));
    }
    return out;
}

namespace {

HistoryLocation parse(const QString &text)
{
    if (text.isEmpty())
        return invalid(text, LoadString(Str::HistErrUrlEmpty));
    if (text.startsWith(QLatin1Char('/')))
        return sqliteAt(text);

    const QUrl url(text, QUrl::StrictMode);
    // The password never reaches a message, however the URL was written.
    const QString shown = url.isValid() ? scrubbed(text) : QStringLiteral("(unreadable URL)");
    if (!url.isValid() || url.scheme().isEmpty())
        return invalid(shown, LoadString(Str::HistErrUrlForm));
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("sqlite") || scheme == QLatin1String("file")) {
        const QString path = url.path();
        if (!path.startsWith(QLatin1Char('/')) || path.size() < 2)
            return invalid(shown, LoadString(Str::HistErrUrlPath));
        return sqliteAt(path);
    }
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))
        return invalid(shown, LoadString(Str::HistErrUrlScheme).arg(url.scheme()));

    HistoryLocation l;
    l.kind = HistoryLocation::Kind::PostgreSQL;
    l.shown = shown;
    l.host = url.host();
    l.user = url.userName();
    l.password = url.password();
    l.database = url.path().mid(1);
    if (url.port() != -1)
        l.port = url.port();
    QStringList options{QStringLiteral("connect_timeout=5")};
    const QUrlQuery query(url);
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host")) {
            l.host = value; // a folder: the server's Unix socket
        } else if (key.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0) {
            l.password = value; // as the server's own tools take it
        } else if (key == QLatin1String("sslmode") || key == QLatin1String("connect_timeout")
                   || key == QLatin1String("application_name")) {
            if (value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('=')) || value.isEmpty())
                return invalid(shown, LoadString(Str::HistErrUrlOption).arg(key));
            if (key == QLatin1String("connect_timeout"))
                options.removeFirst();
            options << key + QLatin1Char('=') + value;
        } else {
            return invalid(shown, LoadString(Str::HistErrUrlOption).arg(key));
        }
    }
    l.options = options.join(QLatin1Char(';'));
    if (l.host.isEmpty())
        return invalid(shown, LoadString(Str::HistErrUrlHost));
    if (l.database.isEmpty() || l.database.contains(QLatin1Char('/')))
        return invalid(shown, LoadString(Str::HistErrUrlDatabase));
    if (l.port <= 0 || l.port > 65535)
        return invalid(shown, LoadString(Str::HistErrUrlForm));
    // postgres:// and postgresql://, options and letter case of the host name aside, the same
    // server and database.
    l.target = QStringLiteral("postgresql://") + (l.user.isEmpty() ? QString() : l.user + QLatin1Char('@'))
               + (l.host.startsWith(QLatin1Char('/')) ? l.host : l.host.toLower()) + QLatin1Char(':')
               + QString::number(l.port) + QLatin1Char('/') + l.database;
    return l;
}

} // namespace

HistoryLocation ParseHistoryLocation(const QString &input)
{
    HistoryLocation l = parse(input.trimmed());
    l.given = input.trimmed();
    return l;
}

QString DefaultHistoryFile()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base).filePath(QLatin1String(kOrganisation) + QLatin1Char('/') + QLatin1String(kApplication)
                               + QStringLiteral("/history.sqlite"));
}

HistoryLocation DefaultHistoryLocation()
{
    return sqliteAt(DefaultHistoryFile());
}

HistoryChoice ChooseHistory(const QString &optionUrl, bool noHistory)
{
    HistoryChoice choice;
    QSettings settings{QLatin1String(kOrganisation), QLatin1String(kApplication)};
    choice.record = !noHistory && settings.value(QStringLiteral("History/record"), true).toBool();
    const QString environment = qEnvironmentVariable(kHistoryEnvironment);
    const QString stored = settings.value(QStringLiteral("History/url")).toString();
    if (!optionUrl.isEmpty()) {
        choice.location = ParseHistoryLocation(optionUrl);
        choice.from = QStringLiteral("--history");
    } else if (!environment.isEmpty()) {
        choice.location = ParseHistoryLocation(environment);
        choice.from = QLatin1String(kHistoryEnvironment);
    } else if (!stored.isEmpty()) {
        choice.location = ParseHistoryLocation(stored);
        choice.from = QStringLiteral("settings");
    } else {
        choice.location = DefaultHistoryLocation();
        choice.from = QStringLiteral("default");
    }
    return choice;
}

void SaveHistorySettings(bool record, const QString &url)
{
    QSettings settings{QLatin1String(kOrganisation), QLatin1String(kApplication)};
    settings.setValue(QStringLiteral("History/record"), record);
    if (url.isEmpty())
        settings.remove(QStringLiteral("History/url"));
    else
        settings.setValue(QStringLiteral("History/url"), url);
}

} // namespace Quilo
