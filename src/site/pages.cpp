#include "pages.h"

#include "charts.h"
#include "datasettable.h"
#include "formatters.h"
#include "html.h"
#include "logbars.h"
#include "quilofile.h"
#include "readout.h"
#include "request.h"
#include "stringtable.h"

#include <QJsonDocument>
#include <QUrlQuery>

#include <algorithm>
#include <variant>

namespace Quilo::Site {

namespace {

QString str(unsigned id)
{
    return LoadString(id);
}

// A path on the site with its query, the values percent-encoded.
QString link(const char *path, std::initializer_list<std::pair<const char *, QString>> params)
{
    QUrlQuery q;
    for (const auto &[name, value] : params)
        if (!value.isEmpty())
            q.addQueryItem(QLatin1StringView(name), QString::fromLatin1(QUrl::toPercentEncoding(value)));
    const QString query = q.toString(QUrl::FullyEncoded);
    return QLatin1StringView(path) + (query.isEmpty() ? QString() : QLatin1Char('?') + query);
}

Answer document(const QString &language, const QString &user, const QString &title, const Html &body, int status = 200)
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

QString driftText(const std::optional<double> &drift)
{
    return drift ? LoadString(Str::HistDriftValue).arg(*drift, 0, 'f', 1) : QString();
}

// The flags of a comparison, each with the values that raised it: what the pages show first.
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

Answer badParameter(const PageContext &c, const QString &name)
{
    return ErrorPage(c, 400, str(Str::SiteErrBadParameter).arg(name));
}

// The history failed to answer (a server gone, a damaged file): the page says so, and the
// request's store is opened anew by the next.
Answer historyFailed(const PageContext &c, const QString &error)
{
    return UnreachablePage(c.language, c.user, error);
}

void pager(Html &h, const char *path, int page, int pages, std::initializer_list<std::pair<const char *, QString>> keep)
{
    if (pages <= 1)
        return;
    h.raw("<nav class=\"pager\">");
    const auto to = [&](int p) {
        QUrlQuery q;
        for (const auto &[name, value] : keep)
            if (!value.isEmpty())
                q.addQueryItem(QLatin1StringView(name), QString::fromLatin1(QUrl::toPercentEncoding(value)));
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

struct UnitAndVisits
{
    UnitEntry unit;
    QList<VisitEntry> visits; // newest first
};

// The unit of parameter `id` and its visits; an answer when there is none.
std::variant<UnitAndVisits, Answer> unitOf(const PageContext &c)
{
    QString bad;
    const std::optional<qint64> id = numberParam(c, "id", &bad);
    if (!id)
        return badParameter(c, QStringLiteral("id"));
    const Result<QList<VisitEntry>> found = c.store.Visits(*id);
    if (!found)
        return historyFailed(c, found.error());
    const QList<VisitEntry> &visits = *found;
    if (visits.isEmpty())
        return ErrorPage(c, 404, str(Str::SiteErrNoUnit).arg(*id));
    UnitAndVisits u;
    u.unit.id = *id;
    u.unit.type = visits.first().unitType;
    u.unit.number = visits.first().unitNumber;
    u.unit.visits = static_cast<int>(visits.size());
    u.unit.lastVisit = visits.first().pcTime;
    u.visits = visits;
    return u;
}

// The two visits to compare, earlier first: parameters a and b, or the last two.
std::variant<std::pair<qint64, qint64>, Answer> chosenPair(const PageContext &c, const UnitAndVisits &u)
{
    QString bad;
    const std::optional<qint64> a = numberParam(c, "a", &bad);
    const std::optional<qint64> b = numberParam(c, "b", &bad);
    if (!bad.isEmpty())
        return badParameter(c, bad);
    if (a.has_value() != b.has_value())
        return badParameter(c, a ? QStringLiteral("b") : QStringLiteral("a"));
    if (a) {
        for (const qint64 v : {*a, *b})
            if (std::none_of(u.visits.begin(), u.visits.end(), [v](const VisitEntry &e) { return e.id == v; }))
                return ErrorPage(c, 404, str(Str::SiteErrNoVisit).arg(v));
        return std::pair{*a, *b};
    }
    if (u.visits.size() < 2)
        return std::pair<qint64, qint64>{0, 0};
    return std::pair{u.visits.at(1).id, u.visits.at(0).id};
}

void sortFleet(QList<const UnitSummary *> &units, const QString &sort, bool descending)
{
    const auto key = [&](const UnitSummary &a, const UnitSummary &b) -> int {
        const auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
        if (sort == QLatin1String("visits"))
            return cmp(a.fleet.unit.visits, b.fleet.unit.visits);
        if (sort == QLatin1String("last"))
            return cmp(a.fleet.unit.lastVisit, b.fleet.unit.lastVisit);
        if (sort == QLatin1String("cash"))
            return cmp(a.netCash, b.netCash);
        if (sort == QLatin1String("stake"))
            return cmp(a.netStake, b.netStake);
        if (sort == QLatin1String("drift"))
            return cmp(std::abs(a.driftSecondsPerDay.value_or(0)), std::abs(b.driftSecondsPerDay.value_or(0)));
        if (sort == QLatin1String("flags"))
            return cmp(a.flags.size(), b.flags.size());
        return 0;
    };
    std::stable_sort(units.begin(), units.end(), [&](const UnitSummary *a, const UnitSummary *b) {
        // units with flags first, whatever else the page is sorted by
        if (a->flags.isEmpty() != b->flags.isEmpty())
            return !a->flags.isEmpty();
        const int k = key(*a, *b);
        if (k != 0)
            return descending ? k > 0 : k < 0;
        if (const int byType = QString::compare(a->fleet.unit.type, b->fleet.unit.type); byType != 0)
            return byType < 0;
        return QString::compare(a->fleet.unit.number, b->fleet.unit.number) < 0;
    });
}

} // namespace

QString SafeFileName(const QString &text)
{
    QString out;
    for (const QChar c : text.left(80))
        out += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-') || c == QLatin1Char('_') ? c : QLatin1Char('_');
    return out.isEmpty() ? QStringLiteral("unit") : out;
}

Answer FleetPage(const PageContext &c)
{
    QString bad;
    const int page = static_cast<int>(std::min<qint64>(numberParam(c, "page", &bad).value_or(1), 1000000));
    const QString sort = c.query.value(QStringLiteral("sort"));
    const QString dir = c.query.value(QStringLiteral("dir"));
    static const QStringList sorts{QString(), QStringLiteral("name"), QStringLiteral("visits"), QStringLiteral("last"),
                                   QStringLiteral("flags"), QStringLiteral("cash"), QStringLiteral("stake"),
                                   QStringLiteral("drift")};
    if (!sorts.contains(sort))
        bad = QStringLiteral("sort");
    if (!dir.isEmpty() && dir != QLatin1String("asc") && dir != QLatin1String("desc"))
        bad = QStringLiteral("dir");
    if (!bad.isEmpty())
        return badParameter(c, bad);
    const QString filter = c.query.value(QStringLiteral("q")).left(200);

    Result<QList<UnitSummary>> all = c.fleet.Summaries(c.store, c.language);
    if (!all)
        return historyFailed(c, all.error());
    QList<const UnitSummary *> units;
    units.reserve(all->size());
    int flagged = 0;
    for (const UnitSummary &s : *all) {
        if (!filter.isEmpty() && !unitName(s.fleet.unit).contains(filter, Qt::CaseInsensitive))
            continue;
        flagged += s.flags.isEmpty() ? 0 : 1;
        units << &s;
    }
    sortFleet(units, sort, dir == QLatin1String("desc"));
    const int pages = std::max<int>(1, static_cast<int>((units.size() + kFleetPageSize - 1) / kFleetPageSize));
    const int shown = std::min(page, pages);

    Html h;
    h.element("h1", str(Str::SiteNavFleet));
    h.raw("<form class=\"filter\" method=\"get\" action=\"/fleet\">");
    h.element("label", str(Str::SiteFilter), {{"for", QStringLiteral("q")}});
    h.open("input", {{"id", QStringLiteral("q")}, {"name", QStringLiteral("q")}, {"type", QStringLiteral("search")},
                     {"value", filter}});
    h.open("input", {{"type", QStringLiteral("hidden")}, {"name", QStringLiteral("sort")}, {"value", sort}});
    h.open("input", {{"type", QStringLiteral("hidden")}, {"name", QStringLiteral("dir")}, {"value", dir}});
    h.open("button", {{"type", QStringLiteral("submit")}}).text(str(Str::SiteFilterButton)).close("button");
    h.raw("</form>");
    h.element("p", str(Str::SiteFleetSummary).arg(units.size()).arg(flagged), {{"class", QStringLiteral("summary")}});

    h.raw("<table class=\"fleet\"><thead><tr>");
    const auto heading = [&](unsigned text, const char *key) {
        const QString k = QLatin1StringView(key);
        const bool current = sort == k;
        const QString nextDir = current && dir != QLatin1String("desc") ? QStringLiteral("desc") : QStringLiteral("asc");
        h.open("th", {{"aria-sort", current ? (dir == QLatin1String("desc") ? QStringLiteral("descending") : QStringLiteral("ascending")) : QString()}});
        h.element("a", str(text), {{"href", link("/fleet", {{"sort", k}, {"dir", nextDir}, {"q", filter}})}});
        h.close("th");
    };
    heading(Str::SiteColUnit, "name");
    heading(Str::HistColVisits, "visits");
    heading(Str::HistColLastVisit, "last");
    heading(Str::SiteColFlags, "flags");
    heading(Str::HistNetCash, "cash");
    heading(Str::HistNetStake, "stake");
    heading(Str::HistDrift, "drift");
    h.raw("</tr></thead><tbody>");
    for (qsizetype i = (shown - 1) * qsizetype(kFleetPageSize); i < units.size() && i < shown * qsizetype(kFleetPageSize); ++i) {
        const UnitSummary &s = *units.at(i);
        h.open("tr", {{"class", s.flags.isEmpty() ? QString() : QStringLiteral("flagged")}});
        h.raw("<td>");
        h.element("a", unitName(s.fleet.unit), {{"href", link("/unit", {{"id", QString::number(s.fleet.unit.id)}})}});
        h.raw("</td>");
        h.element("td", QString::number(s.fleet.unit.visits), {{"class", QStringLiteral("num")}});
        h.element("td", LocalMinuteText(s.fleet.unit.lastVisit));
        h.raw("<td>");
        if (!s.problem.isEmpty())
            h.element("span", s.problem, {{"class", QStringLiteral("problem")}});
        else if (!s.compared)
            h.element("span", str(Str::SiteOneVisitShort), {{"class", QStringLiteral("muted")}});
        else if (s.flags.isEmpty())
            h.element("span", str(Str::HistNoFlags), {{"class", QStringLiteral("muted")}});
        else
            flagList(h, s.flags);
        h.raw("</td>");
        h.element("td", s.compared ? MoneyText(s.netCash) : QString(), {{"class", QStringLiteral("num")}});
        h.element("td", s.compared ? MoneyText(s.netStake) : QString(), {{"class", QStringLiteral("num")}});
        h.element("td", driftText(s.driftSecondsPerDay), {{"class", QStringLiteral("num")}});
        h.raw("</tr>\n");
    }
    h.raw("</tbody></table>");
    pager(h, "/fleet", shown, pages, {{"sort", sort}, {"dir", dir}, {"q", filter}});
    return document(c.language, c.user, str(Str::SiteNavFleet), h);
}

Answer UnitPage(const PageContext &c)
{
    auto found = unitOf(c);
    if (auto *answer = std::get_if<Answer>(&found))
        return *answer;
    const UnitAndVisits &u = std::get<UnitAndVisits>(found);
    auto pair = chosenPair(c, u);
    if (auto *answer = std::get_if<Answer>(&pair))
        return *answer;
    const auto [aId, bId] = std::get<std::pair<qint64, qint64>>(pair);
    const QString id = QString::number(u.unit.id);

    Html h;
    h.element("h1", str(Str::SiteUnitTitle).arg(unitName(u.unit)));

    // the comparison first: its flags are what the page is for
    std::optional<Comparison> comparison;
    if (aId != 0) {
        Result<Comparison> r = CompareStored(c.store, u.unit.id, aId, bId);
        if (!r)
            return c.store.Faulted() ? historyFailed(c, r.error()) : ErrorPage(c, 404, r.error());
        comparison = std::move(r).value();
    }
    h.raw("<section class=\"comparison\">");
    if (!comparison) {
        h.element("h2", str(Str::SiteComparisonHeadingNone));
        h.element("p", str(Str::SiteOneVisit));
    } else {
        const Comparison &cmp = *comparison;
        h.element("h2", str(Str::SiteComparisonHeading).arg(cmp.earlier.id).arg(cmp.later.id));
        h.element("p", LocalMinuteText(cmp.earlier.pcTime) + QStringLiteral(" - ") + LocalMinuteText(cmp.later.pcTime)
                           + QStringLiteral(" (") + DurationText(cmp.periodSeconds) + QLatin1Char(')'),
                  {{"class", QStringLiteral("period")}});
        h.element("h3", LoadString(Str::HistFlagsHeading).arg(cmp.flags.size()),
                  {{"class", cmp.flags.isEmpty() ? QStringLiteral("noflags") : QStringLiteral("hasflags")}});
        if (!cmp.flags.isEmpty())
            flagList(h, cmp.flags);
        h.raw("<table class=\"lines\"><thead><tr><th></th>");
        h.element("th", str(Str::HistColEarlier));
        h.element("th", str(Str::HistColLater));
        h.element("th", str(Str::HistColDifference));
        h.raw("</tr></thead><tbody>");
        for (const ComparisonLine &l : ComparisonLines(cmp)) {
            h.open("tr", {{"class", l.section}});
            h.element("th", l.item);
            h.element("td", l.earlier);
            h.element("td", l.later);
            h.element("td", l.difference, {{"class", QStringLiteral("num")}});
            h.raw("</tr>\n");
        }
        h.raw("</tbody></table><p class=\"downloads\">");
        const QString a = QString::number(cmp.earlier.id);
        const QString b = QString::number(cmp.later.id);
        h.element("a", str(Str::SiteDownloadCsv), {{"href", link("/comparison.csv", {{"id", id}, {"a", a}, {"b", b}})}, {"download", QStringLiteral("comparison.csv")}});
        h.element("a", str(Str::SiteDownloadJson), {{"href", link("/comparison.json", {{"id", id}, {"a", a}, {"b", b}})}, {"download", QStringLiteral("comparison.json")}});
        h.raw("</p>");
    }
    if (u.visits.size() >= 2) {
        // any two visits
        h.raw("<form class=\"choose\" method=\"get\" action=\"/unit\">");
        h.open("input", {{"type", QStringLiteral("hidden")}, {"name", QStringLiteral("id")}, {"value", id}});
        const auto choice = [&](const char *name, unsigned label, qint64 selected) {
            h.element("label", str(label), {{"for", QLatin1StringView(name)}});
            h.open("select", {{"id", QLatin1StringView(name)}, {"name", QLatin1StringView(name)}});
            for (const VisitEntry &v : u.visits) {
                h.open("option", {{"value", QString::number(v.id)}, {"selected", v.id == selected ? QStringLiteral("selected") : QString()}});
                h.text(QString::number(v.id) + QStringLiteral(": ") + LocalMinuteText(v.pcTime));
                h.close("option");
            }
            h.close("select");
        };
        choice("a", Str::HistColEarlier, comparison ? comparison->earlier.id : 0);
        choice("b", Str::HistColLater, comparison ? comparison->later.id : 0);
        h.open("button", {{"type", QStringLiteral("submit")}}).text(str(Str::SiteCompareButton)).close("button");
        h.raw("</form>");
    }
    h.raw("</section>");

    // charts: the counters across the visits, and the logs of the last visit
    h.raw("<section class=\"charts\">");
    h.element("h2", str(Str::SiteChartsHeading));
    QStringList labels;
    QList<ChartSeries> money{{str(Str::ColCashIn), {}}, {str(Str::ColCashOut), {}}, {str(Str::ColStake), {}}, {str(Str::ColWin), {}}};
    QList<ChartSeries> games{{str(Str::SiteGames), {}}};
    for (auto it = u.visits.crbegin(); it != u.visits.crend(); ++it) {
        if (!it->counters)
            continue;
        labels << LocalMinuteText(it->pcTime).left(10);
        money[0].values << it->counters->cashIn;
        money[1].values << it->counters->cashOut;
        money[2].values << it->counters->stake;
        money[3].values << it->counters->win;
        games[0].values << it->counters->games;
    }
    if (!labels.isEmpty()) {
        h.append(LineChart(LoadString(Str::HistCountersChart), labels, money));
        h.append(LineChart(str(Str::SiteGamesChart), labels, games));
    }
    const Result<StoredVisit> last = c.store.LoadVisit(u.visits.first().id);
    if (!last)
        return historyFailed(c, last.error());
    const ReadOut readOut = ReadOut::FromRecords(last->records);
    for (const DataSetId set : kChartLogs) {
        for (const bool cash : {true, false}) {
            const QList<LogBar> bars = LogBars(readOut, set, cash);
            if (bars.isEmpty())
                continue;
            QStringList dates;
            QList<ChartSeries> series{{str(cash ? Str::ColCashIn : Str::ColStake), {}}, {str(cash ? Str::ColCashOut : Str::ColWin), {}}};
            for (const LogBar &bar : bars) {
                dates << bar.date;
                series[0].values << bar.first;
                series[1].values << bar.second;
            }
            h.append(BarChart(str(Str::SiteLogChart).arg(LoadString(FindDataSet(set)->title)), dates, series));
        }
    }
    h.raw("</section>");

    // the visits
    h.raw("<section class=\"visits\">");
    h.element("h2", str(Str::HistColVisits));
    h.raw("<table><thead><tr>");
    for (const unsigned t : {unsigned(Str::HistColVisit), unsigned(Str::HistColPcTime), unsigned(Str::HistColUnitClock),
                             unsigned(Str::HistColOffset), unsigned(Str::HistColSource), unsigned(Str::HistColPort), unsigned(Str::SiteDownloadVisit)})
        h.element("th", str(t));
    h.raw("</tr></thead><tbody>");
    for (const VisitEntry &v : u.visits) {
        h.raw("<tr>");
        h.element("td", QString::number(v.id), {{"class", QStringLiteral("num")}});
        h.element("td", LocalMinuteText(v.pcTime));
        h.element("td", v.unitClock);
        h.element("td", v.clockOffset ? DurationText(*v.clockOffset) : QString());
        h.element("td", v.source);
        h.element("td", v.port);
        h.raw("<td>");
        h.element("a", QStringLiteral(".quilo"), {{"href", link("/visit.quilo", {{"id", QString::number(v.id)}})}});
        h.raw("</td></tr>\n");
    }
    h.raw("</tbody></table></section>");
    return document(c.language, c.user, unitName(u.unit), h);
}

Answer FlagsPage(const PageContext &c)
{
    QString bad;
    const int page = static_cast<int>(std::min<qint64>(numberParam(c, "page", &bad).value_or(1), 1000000));
    if (!bad.isEmpty())
        return badParameter(c, bad);
    Result<QList<UnitSummary>> all = c.fleet.Summaries(c.store, c.language);
    if (!all)
        return historyFailed(c, all.error());
    struct Row
    {
        const UnitSummary *unit;
        const ComparisonFlag *flag;
    };
    QList<Row> rows;
    for (const UnitSummary &s : *all)
        for (const ComparisonFlag &f : s.flags)
            rows << Row{&s, &f};
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        if (a.unit->laterTime != b.unit->laterTime)
            return a.unit->laterTime > b.unit->laterTime; // newest first
        return QString::compare(unitName(a.unit->fleet.unit), unitName(b.unit->fleet.unit)) < 0;
    });
    const int pages = std::max<int>(1, static_cast<int>((rows.size() + kFlagsPageSize - 1) / kFlagsPageSize));
    const int shown = std::min(page, pages);

    Html h;
    h.element("h1", str(Str::SiteFlagsTitle));
    if (rows.isEmpty()) {
        h.element("p", str(Str::SiteNoFlagsFleet));
        return document(c.language, c.user, str(Str::SiteNavFlags), h);
    }
    h.raw("<table class=\"allflags\"><thead><tr>");
    for (const unsigned t : {unsigned(Str::HistColPcTime), unsigned(Str::SiteColUnit), unsigned(Str::HistColVisits),
                             unsigned(Str::SiteColFlag), unsigned(Str::HistColEarlier), unsigned(Str::HistColLater)})
        h.element("th", str(t));
    h.raw("</tr></thead><tbody>");
    for (qsizetype i = (shown - 1) * qsizetype(kFlagsPageSize); i < rows.size() && i < shown * qsizetype(kFlagsPageSize); ++i) {
        const Row &r = rows.at(i);
        const QString unitId = QString::number(r.unit->fleet.unit.id);
        h.raw("<tr>");
        h.element("td", LocalMinuteText(r.unit->laterTime));
        h.raw("<td>");
        h.element("a", unitName(r.unit->fleet.unit), {{"href", link("/unit", {{"id", unitId}})}});
        h.raw("</td><td>");
        h.element("a", QStringLiteral("%1 - %2").arg(r.unit->earlierVisitId).arg(r.unit->laterVisitId),
                  {{"href", link("/unit", {{"id", unitId}, {"a", QString::number(r.unit->earlierVisitId)},
                                           {"b", QString::number(r.unit->laterVisitId)}})}});
        h.raw("</td><td>");
        h.element("strong", str(ComparisonFlag::Title(r.flag->kind)));
        if (!r.flag->what.isEmpty())
            h.text(QStringLiteral(": ") + r.flag->what);
        h.raw("</td>");
        h.element("td", r.flag->earlier);
        h.element("td", r.flag->later);
        h.raw("</tr>\n");
    }
    h.raw("</tbody></table>");
    pager(h, "/flags", shown, pages, {});
    return document(c.language, c.user, str(Str::SiteNavFlags), h);
}

Answer ComparisonDownload(const PageContext &c, bool json)
{
    auto found = unitOf(c);
    if (auto *answer = std::get_if<Answer>(&found))
        return *answer;
    const UnitAndVisits &u = std::get<UnitAndVisits>(found);
    auto pair = chosenPair(c, u);
    if (auto *answer = std::get_if<Answer>(&pair))
        return *answer;
    const auto [aId, bId] = std::get<std::pair<qint64, qint64>>(pair);
    if (aId == 0)
        return ErrorPage(c, 404, str(Str::SiteOneVisit));
    Result<Comparison> r = CompareStored(c.store, u.unit.id, aId, bId);
    if (!r)
        return c.store.Faulted() ? historyFailed(c, r.error()) : ErrorPage(c, 404, r.error());
    Answer a;
    const QString base = SafeFileName(u.unit.type + QLatin1Char('-') + u.unit.number) + QStringLiteral("-%1-%2").arg(aId).arg(bId);
    if (json) {
        a.body = QJsonDocument(ComparisonJson(*r)).toJson(QJsonDocument::Indented);
        a.type = "application/json";
        a.download = base + QStringLiteral(".json");
        return a;
    }
    // the stable section names and the words of the page's language, as `quilo compare -f csv`
    QString out = CsvLine({QStringLiteral("section"), QStringLiteral("item"), QStringLiteral("earlier"),
                           QStringLiteral("later"), QStringLiteral("difference")}, QLatin1Char(','));
    for (const ComparisonLine &l : ComparisonLines(*r))
        out += CsvLine({l.section, l.item, l.earlier, l.later, l.difference}, QLatin1Char(','),
                       {false, false, l.unitText, l.unitText, false});
    a.body = out.toUtf8();
    a.type = "text/csv; charset=utf-8";
    a.download = base + QStringLiteral(".csv");
    return a;
}

Answer VisitDownload(const PageContext &c)
{
    QString bad;
    const std::optional<qint64> id = numberParam(c, "id", &bad);
    if (!id)
        return badParameter(c, QStringLiteral("id"));
    const Result<StoredVisit> found = c.store.LoadVisit(*id);
    if (!found)
        return c.store.Faulted() ? historyFailed(c, found.error()) : ErrorPage(c, 404, str(Str::SiteErrNoVisit).arg(*id));
    const StoredVisit &v = *found;
    ReadOutInfo info;
    info.port = v.entry.port;
    info.savedAt = v.entry.pcTime;
    Answer a;
    a.body = SaveReadOut(ReadOut::FromRecords(v.records), info);
    a.type = "application/x-quilo-document";
    a.download = SafeFileName(v.entry.unitType + QLatin1Char('-') + v.entry.unitNumber) + QStringLiteral("-%1.quilo").arg(*id);
    return a;
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
    Html h;
    h.element("h1", str(Str::SiteErrTitle));
    h.element("p", message, {{"class", QStringLiteral("error")}});
    h.element("a", str(Str::SiteBackToFleet), {{"href", QStringLiteral("/fleet")}});
    return document(c.language, c.user, str(Str::SiteErrTitle), h, status);
}

Answer MessagePage(const QString &language, int status, const QString &message)
{
    Html h;
    h.element("h1", str(Str::SiteErrTitle));
    h.element("p", message, {{"class", QStringLiteral("error")}});
    h.element("a", str(Str::SiteBackToFleet), {{"href", QStringLiteral("/fleet")}});
    return document(language, QString(), str(Str::SiteErrTitle), h, status);
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
