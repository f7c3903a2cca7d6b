#pragma once
// The office site's server: cpp-httplib's thread pool, each of its threads with one history
// store of its own, opened at its first request and kept (a Qt SQL connection belongs to the
// thread that made it), opened anew after a request on it failed. One slow page never holds up
// another.

#include "historylocation.h"
#include "result.h"

#include <QString>

#include <memory>

namespace Quilo::Site {

struct SiteOptions
{
    HistoryLocation history;
    QString address = QStringLiteral("127.0.0.1");
    int port = 8080;            // 0: any free port (tests)
    QString certificateFile;    // both or neither: TLS
    QString keyFile;
    int threads = 16;
    bool log = true;            // a line per request on standard error
};

// Where a site may listen: on a loopback address always, elsewhere only over TLS. Failed with
// the message for people otherwise.
Done CheckListening(const SiteOptions &options);

class SiteServer
{
public:
    explicit SiteServer(SiteOptions options);
    ~SiteServer();
    SiteServer(const SiteServer &) = delete;
    SiteServer &operator=(const SiteServer &) = delete;

    // Binds the address and starts serving on threads of its own.
    Done Start();
    int Port() const;
    // Units compared so far, per language (the first pages need every unit compared once).
    qsizetype ComparedUnits() const;
    bool Tls() const;
    // Stops serving and waits for the requests under way.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace Quilo::Site
