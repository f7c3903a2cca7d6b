#pragma once
// What the office site's pages share: the frame every page is written in, links with queries,
// the query's numbers, the pager and the flag list. For the pages' own files only.

#include "html.h"
#include "pages.h"

#include <optional>

namespace Quilo::Site {

QString str(unsigned id);

using LinkParams = std::initializer_list<std::pair<const char *, QString>>;

// A path on the site with its query, the values percent-encoded.
QString link(const char *path, LinkParams params);

Answer document(const QString &language, const QString &user, const QString &title, const Html &body, int status = 200);

QString unitName(const UnitEntry &u);

// The flags of a comparison, each with the values that raised it: what the pages show first.
void flagList(Html &h, const QList<ComparisonFlag> &flags);

// Parameter `name` as a positive number; nothing when it is not given. A value that is not
// one names the parameter in `bad` (the first such only).
std::optional<qint64> numberParam(const PageContext &c, const char *name, QString *bad);
// The page asked for (1 when not given), bounded.
int pageParam(const PageContext &c, QString *bad);
// How many pages `rows` rows fill, at least one.
int pageCount(qsizetype rows, int pageSize);

Answer badParameter(const PageContext &c, const QString &name);

// The history failed to answer (a server gone, a damaged file): the page says so, and the
// request's store is opened anew by the next.
Answer historyFailed(const PageContext &c, const QString &error);

void pager(Html &h, const char *path, int page, int pages, LinkParams keep);

} // namespace Quilo::Site
