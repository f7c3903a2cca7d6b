// quilo: the command-line front end. Everything but the process's own streams lives in
// quilo_cli (cliapp.h); `quilo serve`, the office site, in quilo_site (serve.h), which the
// command line's own code neither includes nor is included by.

#include "cliapp.h"
#include "collectapp.h"
#include "serve.h"
#include "translation.h"
#include "version.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quilo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILO_PROGRAM_VERSION));

    // A reader that leaves early (a FIFO, `| head`) is a failed write to report, not a signal
    // that ends the program without a word.
    std::signal(SIGPIPE, SIG_IGN);
    QFile out;
    QFile err;
    QFile in;
    // Standard output by its descriptor, not through stdio's buffer: every write reaches the
    // system at once, and a full disk or a closed pipe answers that very write.
    out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    in.open(stdin, QIODevice::ReadOnly);

    QuiloCli::CCliStreams streams;
    streams.out = &out;
    streams.err = &err;
    streams.in = &in;
    streams.errIsTerminal = isatty(STDERR_FILENO) != 0;

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    // before anything is said: the parser's own messages are in that language too
    Quilo::InstallTranslation(Quilo::LanguageArgument(arguments));
    // the unattended collection is a front end of its own, beside the command line's
    if (!arguments.isEmpty() && arguments.first() == QLatin1String(QuiloCollect::kCollectCommand))
        return QuiloCollect::RunCollect(arguments.mid(1), &out, &err);
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("serve"))
        return Quilo::Site::RunServe(arguments.mid(1), {&out, &err, &in, STDIN_FILENO});
    return QuiloCli::RunCli(arguments, streams);
}
