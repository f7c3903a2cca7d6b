#pragma once
// `quilo serve`: the office site over the history, until stopped (Ctrl+C, SIGTERM), and
// `quilo serve --add-user NAME`, which asks for the account's password.

#include <QIODevice>
#include <QStringList>

namespace Quilo::Site {

struct ServeStreams
{
    QIODevice *out = nullptr;
    QIODevice *err = nullptr;
    QIODevice *in = nullptr;
    int inDescriptor = -1;   // a terminal: the password is read without echo
};

// The arguments after `serve`; returns the exit status.
int RunServe(const QStringList &arguments, const ServeStreams &streams);

} // namespace Quilo::Site
