#include "serve.h"

#include "historylocation.h"
#include "historystore.h"
#include "office.h"
#include "request.h"
#include "signin.h"
#include "siteserver.h"
#include "stringtable.h"

#include <QCommandLineParser>

#include <csignal>
#include <variant>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace Quilo::Site {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnavailable = 69;
constexpr int kMinPasswordLength = 8;

void say(const ServeStreams &io, const QString &text)
{
    if (io.err)
        io.err->write((text + QLatin1Char('\n')).toUtf8());
}

// A line from the input, without its end; on a terminal without echo.
QByteArray readPassword(const ServeStreams &io, const QString &prompt)
{
    const bool terminal = io.inDescriptor >= 0 && isatty(io.inDescriptor);
    termios saved{};
    if (terminal) {
        if (io.err)
            io.err->write(prompt.toUtf8());
        tcgetattr(io.inDescriptor, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(io.inDescriptor, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    if (terminal) {
        // straight from the descriptor: no buffer of the stream keeps the password
        char c = 0;
        while (::read(io.inDescriptor, &c, 1) == 1 && c != '\n')
            line += c;
        tcsetattr(io.inDescriptor, TCSAFLUSH, &saved);
        if (io.err)
            io.err->write("\n");
    } else if (io.in) {
        line = io.in->readLine(4096);
    }
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

int addUser(const QString &name, const HistoryLocation &location, const ServeStreams &io)
{
    if (!ValidAccountName(name)) {
        say(io, LoadString(Str::SiteAddUserBadName).arg(name));
        return kExitUsage;
    }
    const QByteArray password = readPassword(io, LoadString(Str::SiteAddUserPrompt).arg(name));
    if (password.size() < kMinPasswordLength) {
        say(io, LoadString(Str::SiteAddUserShort).arg(kMinPasswordLength));
        return kExitUsage;
    }
    if (io.inDescriptor >= 0 && isatty(io.inDescriptor)
        && readPassword(io, LoadString(Str::SiteAddUserRepeat)) != password) {
        say(io, LoadString(Str::SiteAddUserMismatch));
        return kExitUsage;
    }
    const Result<QString> hash = HashPassword(password);
    if (!hash) {
        say(io, hash.error());
        return kExitFailed;
    }
    CHistoryStore store(location);
    if (const Done opened = store.Open(); !opened) {
        say(io, opened.error());
        return kExitUnavailable;
    }
    if (const Done stored = StoreAccount(store, name, *hash); !stored) {
        say(io, stored.error());
        return kExitUnavailable;
    }
    say(io, LoadString(Str::SiteAddUserDone).arg(name));
    return kExitOk;
}

// The options of `quilo serve`.
struct ServeOptions
{
    QCommandLineOption history{QStringLiteral("history"), QString(), QStringLiteral("URL")};
    QCommandLineOption listen{QStringLiteral("listen"), QString(), QStringLiteral("ADDRESS")};
    QCommandLineOption port{QStringLiteral("port"), QString(), QStringLiteral("N")};
    QCommandLineOption certificate{QStringLiteral("certificate"), QString(), QStringLiteral("FILE")};
    QCommandLineOption key{QStringLiteral("key"), QString(), QStringLiteral("FILE")};
    QCommandLineOption threads{QStringLiteral("threads"), QString(), QStringLiteral("N")};
    QCommandLineOption addUser{QStringLiteral("add-user"), QString(), QStringLiteral("NAME")};
    QCommandLineOption lang{QStringLiteral("lang"), QString(), QStringLiteral("LANGUAGE")};
    QCommandLineOption help{QStringList{QStringLiteral("help"), QStringLiteral("h")}};
};

// Option `option` as a number from `least` to `most` in `*value`, when it is given; false (and
// said with `complaint`) when it is not such a number.
bool numberOption(const QCommandLineParser &parser, const QCommandLineOption &option, int least, int most,
                  unsigned complaint, int *value, const ServeStreams &io)
{
    if (!parser.isSet(option))
        return true;
    bool ok = true;
    *value = parser.value(option).toInt(&ok);
    if (!ok || *value < least || *value > most) {
        say(io, LoadString(complaint).arg(parser.value(option)));
        return false;
    }
    return true;
}

// How the site is served, from the command line; an exit status when it cannot be.
std::variant<SiteOptions, int> siteOptions(const QCommandLineParser &parser, const ServeOptions &o,
                                           const HistoryLocation &location, const ServeStreams &io)
{
    SiteOptions options;
    options.history = location;
    if (parser.isSet(o.listen))
        options.address = parser.value(o.listen);
    if (!numberOption(parser, o.port, 1, 65535, Str::SiteServeBadPort, &options.port, io)
        || !numberOption(parser, o.threads, 2, 256, Str::SiteServeBadThreads, &options.threads, io))
        return kExitUsage;
    options.certificateFile = parser.value(o.certificate);
    options.keyFile = parser.value(o.key);
    if (const Done listening = CheckListening(options); !listening) {
        say(io, listening.error());
        return kExitUsage;
    }
    return options;
}

// What a person should know before the first browser comes: the history is not there now
// (the site starts all the same, and says so on every page until it is), or no one can sign in.
void checkHistory(const HistoryLocation &location, const ServeStreams &io)
{
    CHistoryStore store(location);
    if (const Done opened = store.Open(); !opened) {
        say(io, opened.error());
    } else if (const Result<int> accounts = AccountCount(store); accounts && *accounts == 0) {
        say(io, LoadString(Str::SiteServeNoAccounts));
    }
}

// Serves the site until a signal ends it.
int serveUntilStopped(const SiteOptions &options, const ServeStreams &io)
{
    // The signals that end the server are taken by this thread alone, in sigwait() below: the
    // server's threads, started after this, inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SiteServer server(options);
    if (const Done started = server.Start(); !started) {
        say(io, started.error());
        return kExitFailed;
    }
    const QString url = QStringLiteral("%1://%2:%3/")
                            .arg(server.Tls() ? QStringLiteral("https") : QStringLiteral("http"),
                                 options.address.contains(QLatin1Char(':')) ? QLatin1Char('[') + options.address + QLatin1Char(']')
                                                                            : options.address)
                            .arg(server.Port());
    say(io, LoadString(Str::SiteServeListening).arg(options.history.shown, url));
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    say(io, LoadString(Str::SiteServeStopped));
    return kExitOk;
}

} // namespace

int RunServe(const QStringList &arguments, const ServeStreams &io)
{
    QCommandLineParser parser;
    const ServeOptions o;
    parser.addOptions({o.history, o.listen, o.port, o.certificate, o.key, o.threads, o.addUser, o.lang, o.help});
    if (!parser.parse(QStringList{QStringLiteral("quilo serve")} + arguments) || !parser.positionalArguments().isEmpty()) {
        say(io, parser.errorText().isEmpty() ? LoadString(Str::SiteServeUsage)
                                             : parser.errorText() + QLatin1Char('\n') + LoadString(Str::SiteServeUsage));
        return kExitUsage;
    }
    if (parser.isSet(o.help)) {
        if (io.out)
            io.out->write((LoadString(Str::SiteServeUsage) + QLatin1Char('\n')).toUtf8());
        return kExitOk;
    }
    const HistoryChoice choice = ChooseHistory(parser.value(o.history));
    if (!choice.location.valid()) {
        say(io, choice.location.error);
        return kExitUsage;
    }
    if (parser.isSet(o.addUser))
        return addUser(parser.value(o.addUser), choice.location, io);
    const std::variant<SiteOptions, int> options = siteOptions(parser, o, choice.location, io);
    if (const int *status = std::get_if<int>(&options))
        return *status;
    checkHistory(choice.location, io);
    return serveUntilStopped(std::get<SiteOptions>(options), io);
}

} // namespace Quilo::Site
