#include "pages.h"

#include "pageparts.h"
#include "request.h"
#include "stringtable.h"

#include <QUrlQuery>

#include <algorithm>

namespace Quilo::Site {

namespace {

QUrlQuery queryOf(LinkParams params)
{
    QUrlQuery q;
    for (const auto &[name, value] : params)
        if (!value.isEmpty())
            q.addQueryItem(QLatin1StringView(name), QString::fromLatin1(QUrl::toPercentEncoding(value)));
    return q;
}

// What a page that went wrong says; `message` is text, never markup.
Html messageBody(const QString &message)
{
    Html h;
    h.element("h1", str(Str::SiteErrTitle));
    h.element("p", message, {{"class", QStringLiteral("error")}});
    h.element("a", str(Str::SiteBackToFleet), {{"href", QStringLiteral("/fleet")}});
    return h;
}

} // namespace

QString str(unsigned id)
{
    return LoadString(id);
}

QString link(const char *path, LinkParams params)
{
    const QString query = queryOf(params).toString(QUrl::FullyEncoded);
    return QLatin1StringView(path) + (query.isEmpty() ? QString() : QLatin1Char('?') + query);
}

Answer document(const QString &language, const QString &user, const QString &title, const Html &body, int status)
{
    Html h;
    h.raw("<!DOCTYPE html>\n");
    h.open("html", {{"lang", language}});
    h.raw("<head><meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
    h.element("title", title + QStringLiteral(" - ") + str(Str::SiteTitle));
    h.raw("<link rel=\"stylesheet\" href=\"/site.css\"></head>\n<body><header>");
    h.element("span", str(Str::SiteTitle), {{"class", QStringLiteral("brand")}});
    if (!user.isEmpty()) {
        h.raw("<nav>");
        h.element("a", str(Str::SiteNavFleet), {{"href", QStringLiteral("/fleet")}});
        h.element("a", str(Str::SiteNavFlags), {{"href", QStringLiteral("/flags")}});
        h.raw("</nav><form class=\"signout\" method=\"post\" action=\"/signout\">");
        h.element("span", str(Str::SiteSignedInAs).arg(user), {{"class", QStringLiteral("user")}});
        h.open("button", {{"type", QStringLiteral("submit")}}).text(str(Str::SiteSignOut)).close("button");
        h.raw("</form>");
    }
    h.raw("</header>\n<main>");
    h.append(body);
    h.raw("</main></body></html>\n");
    Answer a;
    a.status = status;
    a.body = h.str().toUtf8();
    return a;
}

QString unitName(const UnitEntry &u)
{
    return u.type + QLatin1Char('/') + u.number;
}

void flagList(Html &h, const QList<ComparisonFlag> &flags)
{
    h.open("ul", {{"class", QStringLiteral("flags")}});
    for (const ComparisonFlag &f : flags) {
        h.raw("<li>");
        h.element("strong", str(ComparisonFlag::Title(f.kind)));
        if (!f.what.isEmpty())
            h.text(QStringLiteral(": ") + f.what);
        if (!f.earlier.isEmpty() || !f.later.isEmpty()) {
            h.raw(" <span class=\"values\">");
            h.element("span", f.earlier, {{"class", QStringLiteral("earlier")}});
            h.raw(" &rarr; ");
            h.element("span", f.later, {{"class", QStringLiteral("later")}});
            h.raw("</span>");
        }
        h.raw("</li>");
    }
    h.close("ul");
}

std::optional<qint64> numberParam(const PageContext &c, const char *name, QString *bad)
{
    const QString value = c.query.value(QLatin1StringView(name));
    if (value.isEmpty())
        return std::nullopt;
    const std::optional<qint64> n = PositiveNumber(value);
    if (!n && bad->isEmpty())
        *bad = QLatin1StringView(name);
    return n;
}

int pageParam(const PageContext &c, QString *bad)
{
    return static_cast<int>(std::min<qint64>(numberParam(c, "page", bad).value_or(1), 1000000));
}

int pageCount(qsizetype rows, int pageSize)
{
    return std::max<int>(1, static_cast<int>((rows + pageSize - 1) / pageSize));
}

Answer badParameter(const PageContext &c, const QString &name)
{
    return ErrorPage(c, 400, str(Str::SiteErrBadParameter).arg(name));
}

Answer historyFailed(const PageContext &c, const QString &error)
{
    return UnreachablePage(c.language, c.user, error);
}

void pager(Html &h, const char *path, int page, int pages, LinkParams keep)
{
    if (pages <= 1)
        return;
    h.raw("<nav class=\"pager\">");
    const auto to = [&](int p) {
        QUrlQuery q = queryOf(keep);
        q.addQueryItem(QStringLiteral("page"), QString::number(p));
        return QLatin1StringView(path) + QLatin1Char('?') + q.toString(QUrl::FullyEncoded);
    };
    if (page > 1)
        h.element("a", str(Str::SitePrevious), {{"href", to(page - 1)}, {"rel", QStringLiteral("prev")}});
    h.element("span", str(Str::SitePageOf).arg(page).arg(pages));
    if (page < pages)
        h.element("a", str(Str::SiteNext), {{"href", to(page + 1)}, {"rel", QStringLiteral("next")}});
    h.raw("</nav>");
}

QString SafeFileName(const QString &text)
{
    QString out;
    for (const QChar c : text.left(80))
        out += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-') || c == QLatin1Char('_') ? c : QLatin1Char('_');
    return out.isEmpty() ? QStringLiteral("unit") : out;
}

Answer SignInPage(const QString &language, const QString &message, const QString &name, int status)
{
    Html h;
    h.element("h1", str(Str::SiteSignInTitle));
    if (!message.isEmpty())
        h.element("p", message, {{"class", QStringLiteral("message")}, {"role", QStringLiteral("alert")}});
    h.raw("<form class=\"signin\" method=\"post\" action=\"/signin\">");
    h.element("label", str(Str::SiteName), {{"for", QStringLiteral("name")}});
    h.open("input", {{"id", QStringLiteral("name")}, {"name", QStringLiteral("name")}, {"value", name},
                     {"autocomplete", QStringLiteral("username")}, {"required", QStringLiteral("required")}});
    h.element("label", str(Str::SitePassword), {{"for", QStringLiteral("password")}});
    h.open("input", {{"id", QStringLiteral("password")}, {"name", QStringLiteral("password")}, {"type", QStringLiteral("password")},
                     {"autocomplete", QStringLiteral("current-password")}, {"required", QStringLiteral("required")}});
    h.open("button", {{"type", QStringLiteral("submit")}}).text(str(Str::SiteSignInButton)).close("button");
    h.raw("</form>");
    return document(language, QString(), str(Str::SiteSignInTitle), h, status);
}

Answer ErrorPage(const PageContext &c, int status, const QString &message)
{
    return document(c.language, c.user, str(Str::SiteErrTitle), messageBody(message), status);
}

Answer MessagePage(const QString &language, int status, const QString &message)
{
    return document(language, QString(), str(Str::SiteErrTitle), messageBody(message), status);
}

Answer UnreachablePage(const QString &language, const QString &user, const QString &message)
{
    Html h;
    h.element("h1", str(Str::SiteErrTitle));
    h.element("p", str(Str::SiteErrUnreachable).arg(message), {{"class", QStringLiteral("error")}});
    return document(language, user, str(Str::SiteErrTitle), h, 503);
}

QByteArray StyleSheet()
{
    return QByteArrayLiteral(
        "body{font-family:system-ui,sans-serif;margin:0;color:#1a1a1a;background:#fafafa}\n"
        "header{display:flex;gap:1.5em;align-items:center;background:#20364f;color:#fff;padding:.5em 1em}\n"
        "header a{color:#fff;margin-right:1em}.brand{font-weight:bold}\n"
        "header form{margin-left:auto;display:flex;gap:.5em;align-items:center}\n"
        "main{padding:1em 1.5em}table{border-collapse:collapse;margin:.5em 0 1.5em}\n"
        "th,td{border-bottom:1px solid #ddd;padding:.25em .6em;text-align:left;vertical-align:top}\n"
        "td.num{text-align:right;white-space:nowrap}tr.flagged,tr.flag{background:#fff1e6}\n"
        "ul.flags{margin:0;padding-left:1.2em;color:#8a2b00}.hasflags{color:#8a2b00}\n"
        ".muted{color:#777}.error,.message,.problem{color:#a00000}.values{font-family:monospace}\n"
        "svg.chart{width:100%;max-width:720px;height:auto;display:block;margin:1em 0;background:#fff;border:1px solid #ddd}\n"
        ".chart-title{font-weight:bold;font-size:14px}.legend,.axis-x,.axis-y{font-size:11px}\n"
        ".axis-y{text-anchor:end}.grid{stroke:#ddd}\n"
        "form.signin{display:grid;grid-template-columns:max-content 16em;gap:.5em;max-width:30em}\n"
        "form label{margin:0 .4em}form.signin button{grid-column:2}.pager a,.pager span,.downloads a{margin-right:1em}\n");
}

} // namespace Quilo::Site
