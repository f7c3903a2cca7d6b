// The fleet page (every unit with its last comparison, flagged units first) and the flags page
// (every flag of the fleet, newest first).

#include "pageparts.h"
#include "formatters.h"
#include "stringtable.h"

#include <algorithm>
#include <variant>

namespace Quilo::Site {

namespace {

QString driftText(const std::optional<double> &drift)
{
    return drift ? LoadString(Str::HistDriftValue).arg(*drift, 0, 'f', 1) : QString();
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

// What the fleet page was asked for.
struct FleetQuery
{
    int page = 1;
    QString sort;
    QString dir;
    QString filter;
};

std::variant<FleetQuery, Answer> fleetQuery(const PageContext &c)
{
    QString bad;
    FleetQuery q;
    q.page = pageParam(c, &bad);
    q.sort = c.query.value(QStringLiteral("sort"));
    q.dir = c.query.value(QStringLiteral("dir"));
    static const QStringList sorts{QString(), QStringLiteral("name"), QStringLiteral("visits"), QStringLiteral("last"),
                                   QStringLiteral("flags"), QStringLiteral("cash"), QStringLiteral("stake"),
                                   QStringLiteral("drift")};
    if (!sorts.contains(q.sort))
        bad = QStringLiteral("sort");
    if (!q.dir.isEmpty() && q.dir != QLatin1String("asc") && q.dir != QLatin1String("desc"))
        bad = QStringLiteral("dir");
    if (!bad.isEmpty())
        return badParameter(c, bad);
    q.filter = c.query.value(QStringLiteral("q")).left(200);
    return q;
}

// The units whose names contain the filter; `flagged` counts those with flags.
QList<const UnitSummary *> filteredUnits(const QList<UnitSummary> &all, const QString &filter, int *flagged)
{
    QList<const UnitSummary *> units;
    units.reserve(all.size());
    for (const UnitSummary &s : all) {
        if (!filter.isEmpty() && !unitName(s.fleet.unit).contains(filter, Qt::CaseInsensitive))
            continue;
        *flagged += s.flags.isEmpty() ? 0 : 1;
        units << &s;
    }
    return units;
}

void fleetFilterForm(Html &h, const FleetQuery &q)
{
    h.raw("<form class=\"filter\" method=\"get\" action=\"/fleet\">");
    h.element("label", str(Str::SiteFilter), {{"for", QStringLiteral("q")}});
    h.open("input", {{"id", QStringLiteral("q")}, {"name", QStringLiteral("q")}, {"type", QStringLiteral("search")},
                     {"value", q.filter}});
    h.open("input", {{"type", QStringLiteral("hidden")}, {"name", QStringLiteral("sort")}, {"value", q.sort}});
    h.open("input", {{"type", QStringLiteral("hidden")}, {"name", QStringLiteral("dir")}, {"value", q.dir}});
    h.open("button", {{"type", QStringLiteral("submit")}}).text(str(Str::SiteFilterButton)).close("button");
    h.raw("</form>");
}

// The column headings, each a link that sorts by it (the current one the other way round).
void fleetHeadings(Html &h, const FleetQuery &q)
{
    const auto heading = [&](unsigned text, const char *key) {
        const QString k = QLatin1StringView(key);
        const bool current = q.sort == k;
        const QString nextDir = current && q.dir != QLatin1String("desc") ? QStringLiteral("desc") : QStringLiteral("asc");
        h.open("th", {{"aria-sort", current ? (q.dir == QLatin1String("desc") ? QStringLiteral("descending") : QStringLiteral("ascending")) : QString()}});
        h.element("a", str(text), {{"href", link("/fleet", {{"sort", k}, {"dir", nextDir}, {"q", q.filter}})}});
        h.close("th");
    };
    heading(Str::SiteColUnit, "name");
    heading(Str::HistColVisits, "visits");
    heading(Str::HistColLastVisit, "last");
    heading(Str::SiteColFlags, "flags");
    heading(Str::HistNetCash, "cash");
    heading(Str::HistNetStake, "stake");
    heading(Str::HistDrift, "drift");
}

void fleetRow(Html &h, const UnitSummary &s)
{
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

} // namespace

Answer FleetPage(const PageContext &c)
{
    auto asked = fleetQuery(c);
    if (auto *answer = std::get_if<Answer>(&asked))
        return *answer;
    const FleetQuery &q = std::get<FleetQuery>(asked);
    Result<QList<UnitSummary>> all = c.fleet.Summaries(c.store, c.language);
    if (!all)
        return historyFailed(c, all.error());
    int flagged = 0;
    QList<const UnitSummary *> units = filteredUnits(*all, q.filter, &flagged);
    sortFleet(units, q.sort, q.dir == QLatin1String("desc"));
    const int pages = pageCount(units.size(), kFleetPageSize);
    const int shown = std::min(q.page, pages);

    Html h;
    h.element("h1", str(Str::SiteNavFleet));
    fleetFilterForm(h, q);
    h.element("p", str(Str::SiteFleetSummary).arg(units.size()).arg(flagged), {{"class", QStringLiteral("summary")}});
    h.raw("<table class=\"fleet\"><thead><tr>");
    fleetHeadings(h, q);
    h.raw("</tr></thead><tbody>");
    for (qsizetype i = (shown - 1) * qsizetype(kFleetPageSize); i < units.size() && i < shown * qsizetype(kFleetPageSize); ++i)
        fleetRow(h, *units.at(i));
    h.raw("</tbody></table>");
    pager(h, "/fleet", shown, pages, {{"sort", q.sort}, {"dir", q.dir}, {"q", q.filter}});
    return document(c.language, c.user, str(Str::SiteNavFleet), h);
}

Answer FlagsPage(const PageContext &c)
{
    QString bad;
    const int page = pageParam(c, &bad);
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
    const int pages = pageCount(rows.size(), kFlagsPageSize);
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

} // namespace Quilo::Site
