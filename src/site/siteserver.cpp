#include "siteserver.h"

#include "formatters.h"
#include "historystore.h"
#include "office.h"
#include "pages.h"
#include "request.h"
#include "signin.h"
#include "stringtable.h"
#include "translation.h"


#include <QElapsedTimer>
#include <QHostAddress>

#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace Quilo::Site {

namespace {

constexpr char kCookie[] = "quilo_session";

// Scripts and styles from the site itself only, never inline, nothing from elsewhere; no
// plug-ins, no frames, forms sent back here only.
constexpr char kPolicy[] = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                           "form-action 'self'; frame-ancestors 'none'; base-uri 'none'";

QString qs(const std::string &s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string bytes(const QByteArray &b)
{
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

std::atomic<quint64> g_serverSerial{0};

// The store of this thread for the server `serial`; opened at the first request and again
// after a request on it failed.
struct ThreadStore
{
    quint64 serial = 0;
    std::unique_ptr<CHistoryStore> store;
};
thread_local ThreadStore t_store;

} // namespace

Done CheckListening(const SiteOptions &o)
{
    if (o.certificateFile.isEmpty() != o.keyFile.isEmpty())
        return Failed{LoadString(Str::SiteServeNeedsBoth)};
    const QHostAddress address(o.address);
    const bool loopback = o.address == QLatin1String("localhost") || (!address.isNull() && address.isLoopback());
    if (!loopback && o.certificateFile.isEmpty())
        return Failed{LoadString(Str::SiteServeNeedsTls).arg(o.address)};
    return {};
}

struct SiteServer::Impl
{
    SiteOptions options;
    quint64 serial = ++g_serverSerial;
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    std::thread warmer;
    std::atomic<bool> stopping{false};
    int port = 0;
    Fleet fleet;
    Sessions sessions;
    SignInPause pause;

    // This thread's store, open; a failure when the history cannot be reached.
    Result<CHistoryStore *> store()
    {
        if (t_store.serial != serial || !t_store.store || !t_store.store->IsOpen()) {
            t_store.store.reset();
            t_store.serial = serial;
            auto s = std::make_unique<CHistoryStore>(options.history);
            if (Done opened = s->Open(); !opened)
                return opened.failure();
            t_store.store = std::move(s);
        }
        return t_store.store.get();
    }
    // After a request whose store failed: the next one connects anew.
    void dropStoreIfFaulted()
    {
        if (t_store.store && t_store.store->Faulted())
            t_store.store.reset();
    }

    static void send(httplib::Response &res, const Answer &a)
    {
        res.status = a.status;
        if (!a.redirect.isEmpty()) {
            res.set_redirect(a.redirect.toStdString(), 303);
            return;
        }
        if (!a.download.isEmpty())
            res.set_header("Content-Disposition", "attachment; filename=\"" + a.download.toStdString() + "\"");
        res.set_content(bytes(a.body), a.type.constData());
    }

    std::optional<QString> userOf(const httplib::Request &req)
    {
        return sessions.UserOf(CookieValue(qs(req.get_header_value("Cookie")), QLatin1StringView(kCookie)));
    }

    QString cookie(const QString &token, bool end) const
    {
        QString c = QLatin1StringView(kCookie) + QLatin1Char('=') + token + QStringLiteral("; Path=/; HttpOnly; SameSite=Strict");
        if (server && Tls())
            c += QStringLiteral("; Secure");
        if (end)
            c += QStringLiteral("; Max-Age=0");
        return c;
    }
    bool Tls() const { return !options.certificateFile.isEmpty(); }

    // A page that reads the history, in the browser's language, for a signed-in user.
    template<class Page>
    void page(const httplib::Request &req, httplib::Response &res, Page make)
    {
        const QString language = BrowserLanguage(qs(req.get_header_value("Accept-Language")));
        const ThreadLanguage texts(ProgramTranslator(language));
        const std::optional<QString> user = userOf(req);
        if (!user) {
            res.set_redirect("/signin", 303);
            return;
        }
        const Result<CHistoryStore *> s = store();
        if (!s) {
            send(res, UnreachablePage(language, *user, s.error()));
            return;
        }
        PageContext context{**s, fleet, language, *user, {}};
        for (const auto &[name, value] : req.params)
            context.query.insert(qs(name), qs(value));
        send(res, make(context));
        dropStoreIfFaulted();
    }

    void signIn(const httplib::Request &req, httplib::Response &res)
    {
        const QString language = BrowserLanguage(qs(req.get_header_value("Accept-Language")));
        const ThreadLanguage texts(ProgramTranslator(language));
        const QString name = qs(req.get_param_value("name")).left(200);
        const QByteArray password = QByteArray::fromStdString(req.get_param_value("password")).left(1024);
        const QString address = qs(req.remote_addr);
        if (const int wait = pause.SecondsLeft(name, address); wait > 0) {
            send(res, SignInPage(language, LoadString(Str::SiteSignInPause).arg(wait), name, 429));
            res.set_header("Retry-After", std::to_string(wait));
            return;
        }
        const Result<CHistoryStore *> s = store();
        if (!s) {
            send(res, UnreachablePage(language, QString(), s.error()));
            return;
        }
        const Result<std::optional<QString>> hash = AccountHash(**s, name);
        dropStoreIfFaulted();
        if (!hash) {
            send(res, UnreachablePage(language, QString(), hash.error()));
            return;
        }
        bool good = false;
        if (hash->has_value())
            good = PasswordMatches(**hash, password);
        else
            SpendPasswordTime(password);
        if (!good) {
            pause.Failed(name, address);
            send(res, SignInPage(language, LoadString(Str::SiteSignInWrong), name, 401));
            return;
        }
        pause.Succeeded(name);
        res.set_header("Set-Cookie", cookie(sessions.Start(name), false).toStdString());
        res.set_redirect("/fleet", 303);
    }

    void routes()
    {
        httplib::Server &s = *server;
        s.Get("/", [](const httplib::Request &, httplib::Response &res) { res.set_redirect("/fleet", 303); });
        s.Get("/fleet", [this](const auto &req, auto &res) { page(req, res, FleetPage); });
        s.Get("/unit", [this](const auto &req, auto &res) { page(req, res, UnitPage); });
        s.Get("/flags", [this](const auto &req, auto &res) { page(req, res, FlagsPage); });
        s.Get("/comparison.csv", [this](const auto &req, auto &res) {
            page(req, res, [](const PageContext &c) { return ComparisonDownload(c, false); });
        });
        s.Get("/comparison.json", [this](const auto &req, auto &res) {
            page(req, res, [](const PageContext &c) { return ComparisonDownload(c, true); });
        });
        s.Get("/visit.quilo", [this](const auto &req, auto &res) { page(req, res, VisitDownload); });
        s.Get("/site.css", [](const httplib::Request &, httplib::Response &res) {
            res.set_content(bytes(StyleSheet()), "text/css; charset=utf-8");
        });
        s.Get("/signin", [](const httplib::Request &req, httplib::Response &res) {
            const QString language = BrowserLanguage(qs(req.get_header_value("Accept-Language")));
            const ThreadLanguage texts(ProgramTranslator(language));
            send(res, SignInPage(language, QString(), QString()));
        });
        s.Post("/signin", [this](const auto &req, auto &res) { signIn(req, res); });
        s.Post("/signout", [this](const httplib::Request &req, httplib::Response &res) {
            sessions.End(CookieValue(qs(req.get_header_value("Cookie")), QLatin1StringView(kCookie)));
            res.set_header("Set-Cookie", cookie(QString(), true).toStdString());
            res.set_redirect("/signin", 303);
        });
        // whatever else is asked: a page that says so, in the site's own words
        s.set_error_handler([](const httplib::Request &req, httplib::Response &res) {
            if (!res.body.empty() || (res.status >= 300 && res.status < 400))
                return;
            const QString language = BrowserLanguage(qs(req.get_header_value("Accept-Language")));
            const ThreadLanguage texts(ProgramTranslator(language));
            const int status = res.status;
            send(res, MessagePage(language, status, status == 404 ? LoadString(Str::SiteErrNotFound)
                                                                  : LoadString(Str::SiteErrInternal)));
        });
        s.set_exception_handler([](const httplib::Request &req, httplib::Response &res, std::exception_ptr) {
            const QString language = BrowserLanguage(qs(req.get_header_value("Accept-Language")));
            const ThreadLanguage texts(ProgramTranslator(language));
            send(res, MessagePage(language, 500, LoadString(Str::SiteErrInternal)));
        });
        s.set_post_routing_handler([this](const httplib::Request &, httplib::Response &res) {
            res.set_header("Content-Security-Policy", kPolicy);
            res.set_header("X-Content-Type-Options", "nosniff");
            res.set_header("X-Frame-Options", "DENY");
            res.set_header("Referrer-Policy", "no-referrer");
            res.set_header("Cache-Control", "no-store");
            if (Tls())
                res.set_header("Strict-Transport-Security", "max-age=31536000");
        });
        if (options.log)
            s.set_logger([](const httplib::Request &req, const httplib::Response &res) {
                // the path only: a query is the browser's, and never needed to follow what happened
                std::fprintf(stderr, "%s %s %s %d\n", req.remote_addr.c_str(), req.method.c_str(),
                             InertText(qs(req.path)).left(200).toUtf8().constData(), res.status);
            });
    }
};

SiteServer::SiteServer(SiteOptions options)
    : d(std::make_unique<Impl>())
{
    d->options = std::move(options);
}

SiteServer::~SiteServer()
{
    Stop();
}

Done SiteServer::Start()
{
    if (Done listening = CheckListening(d->options); !listening)
        return listening;
    if (d->Tls()) {
        auto tls = std::make_unique<httplib::SSLServer>(d->options.certificateFile.toLocal8Bit().constData(),
                                                        d->options.keyFile.toLocal8Bit().constData());
        if (!tls->is_valid())
            return Failed{LoadString(Str::SiteServeTlsBad).arg(d->options.certificateFile, d->options.keyFile)};
        d->server = std::move(tls);
    } else {
        d->server = std::make_unique<httplib::Server>();
    }
    httplib::Server &s = *d->server;
    const int threads = std::max(2, d->options.threads);
    s.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
    // a browser keeps a connection (and with it one of the threads) only briefly
    s.set_keep_alive_timeout(2);
    s.set_keep_alive_max_count(100);
    s.set_read_timeout(10);
    s.set_write_timeout(30);
    s.set_payload_max_length(64 * 1024);
    d->routes();
    const std::string host = d->options.address.toStdString();
    if (d->options.port == 0) {
        d->port = s.bind_to_any_port(host);
        if (d->port <= 0)
            return Failed{LoadString(Str::SiteServeBindFailed).arg(d->options.address).arg(0)};
    } else {
        if (!s.bind_to_port(host, d->options.port))
            return Failed{LoadString(Str::SiteServeBindFailed).arg(d->options.address).arg(d->options.port)};
        d->port = d->options.port;
    }
    d->listener = std::thread([this] { d->server->listen_after_bind(); });
    // The fleet compared before the first browser asks, in both languages, on a store of its own.
    d->warmer = std::thread([this] {
        CHistoryStore store(d->options.history);
        if (!store.Open())
            return; // the pages say so, and compare what they need themselves
        QElapsedTimer t;
        t.start();
        for (const QString &language : Languages()) {
            const ThreadLanguage texts(ProgramTranslator(language));
            if (!d->fleet.Summaries(store, language, &d->stopping) || d->stopping)
                return;
        }
        if (d->options.log)
            std::fprintf(stderr, "%s\n", qPrintable(LoadString(Str::SiteServeCompared).arg(d->fleet.Kept() / Languages().size()).arg(t.elapsed() / 1000.0, 0, 'f', 1)));
    });
    // until it runs: a stop before that would not reach the loop, which would then never end
    for (int i = 0; i < 1000 && !d->server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return {};
}

qsizetype SiteServer::ComparedUnits() const
{
    return d->fleet.Kept();
}

int SiteServer::Port() const
{
    return d->port;
}

bool SiteServer::Tls() const
{
    return d->Tls();
}

void SiteServer::Stop()
{
    d->stopping = true;
    if (d->warmer.joinable())
        d->warmer.join();
    if (d->server)
        d->server->stop();
    if (d->listener.joinable())
        d->listener.join();
    d->server.reset();
}

} // namespace Quilo::Site
