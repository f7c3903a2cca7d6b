#pragma once
// The office site's pages and downloads, as plain functions of what the request asked for and
// the history it is served from. No HTTP library here: the server maps requests to these, and
// what they answer is the whole response but its common headers.

#include "fleet.h"
#include "historystore.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace Quilo::Site {

struct Answer
{
    int status = 200;
    QByteArray body;
    QByteArray type = "text/html; charset=utf-8";
    QString download;   // a file name: sent as an attachment
    QString redirect;   // a path on the site
};

struct PageContext
{
    CHistoryStore &store;
    Fleet &fleet;
    QString language;               // "en" or "hu"; texts come from the thread's language
    QString user;                   // signed in as; empty on the sign-in page
    QHash<QString, QString> query;  // the query's parameters, decoded
};

inline constexpr int kFleetPageSize = 100;
inline constexpr int kFlagsPageSize = 200;

Answer FleetPage(const PageContext &context);
Answer UnitPage(const PageContext &context);
Answer FlagsPage(const PageContext &context);
// The comparison of `id`'s visits `a` and `b` (default: its last two) as CSV or JSON.
Answer ComparisonDownload(const PageContext &context, bool json);
// Visit `id` as a .quilo read-out file.
Answer VisitDownload(const PageContext &context);

// `message` (a failed sign-in, a pause): shown above the form.
Answer SignInPage(const QString &language, const QString &message, const QString &name, int status = 200);
// A page that says what went wrong; `message` is text, never markup.
Answer ErrorPage(const PageContext &context, int status, const QString &message);
// A page that says `message` to anyone, signed in or not (a page that does not exist).
Answer MessagePage(const QString &language, int status, const QString &message);
// The history could not be opened: nothing else is known.
Answer UnreachablePage(const QString &language, const QString &user, const QString &message);

QByteArray StyleSheet();

// A file name made of `text` for a download: letters, digits, '.', '-' and '_' only.
QString SafeFileName(const QString &text);

} // namespace Quilo::Site
