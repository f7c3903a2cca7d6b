// The unit page (the comparison of two visits, the charts, the visits) and the downloads of a
// comparison and of a visit.

#include "pageparts.h"
#include "charts.h"
#include "datasettable.h"
#include "formatters.h"
#include "logbars.h"
#include "quilofile.h"
#include "readout.h"
#include "stringtable.h"

#include <QJsonDocument>

#include <algorithm>
#include <variant>

namespace Quilo::Site {

namespace {

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

// The unit of parameter `id` and the two of its visits to compare (0 and 0: it has only one);
// an answer when the query does not name them.
struct ChosenVisits
{
    UnitAndVisits unit;
    qint64 earlier = 0;
    qint64 later = 0;
};

std::variant<ChosenVisits, Answer> chosenVisits(const PageContext &c)
{
    auto found = unitOf(c);
    if (auto *answer = std::get_if<Answer>(&found))
        return *answer;
    const UnitAndVisits &u = std::get<UnitAndVisits>(found);
    auto pair = chosenPair(c, u);
    if (auto *answer = std::get_if<Answer>(&pair))
        return *answer;
    const auto [a, b] = std::get<std::pair<qint64, qint64>>(pair);
    return ChosenVisits{u, a, b};
}

// The comparison first: its flags are what the page is for.
void comparisonSection(Html &h, const QString &id, const std::optional<Comparison> &comparison)
{
    if (!comparison) {
        h.element("h2", str(Str::SiteComparisonHeadingNone));
        h.element("p", str(Str::SiteOneVisit));
        return;
    }
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

// A form to compare any two visits.
void chooseForm(Html &h, const QString &id, const UnitAndVisits &u, const std::optional<Comparison> &comparison)
{
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

// The counters across the visits.
void counterCharts(Html &h, const UnitAndVisits &u)
{
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
}

// The logs of the last visit.
void logCharts(Html &h, const ReadOut &readOut)
{
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
}

void visitsSection(Html &h, const UnitAndVisits &u)
{
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
}

} // namespace

Answer UnitPage(const PageContext &c)
{
    auto chosen = chosenVisits(c);
    if (auto *answer = std::get_if<Answer>(&chosen))
        return *answer;
    const auto &[u, aId, bId] = std::get<ChosenVisits>(chosen);
    const QString id = QString::number(u.unit.id);
    std::optional<Comparison> comparison;
    if (aId != 0) {
        Result<Comparison> r = CompareStored(c.store, u.unit.id, aId, bId);
        if (!r)
            return c.store.Faulted() ? historyFailed(c, r.error()) : ErrorPage(c, 404, r.error());
        comparison = std::move(r).value();
    }
    const Result<StoredVisit> last = c.store.LoadVisit(u.visits.first().id);
    if (!last)
        return historyFailed(c, last.error());

    Html h;
    h.element("h1", str(Str::SiteUnitTitle).arg(unitName(u.unit)));
    h.raw("<section class=\"comparison\">");
    comparisonSection(h, id, comparison);
    if (u.visits.size() >= 2)
        chooseForm(h, id, u, comparison);
    h.raw("</section>");
    h.raw("<section class=\"charts\">");
    h.element("h2", str(Str::SiteChartsHeading));
    counterCharts(h, u);
    logCharts(h, ReadOut::FromRecords(last->records));
    h.raw("</section>");
    visitsSection(h, u);
    return document(c.language, c.user, unitName(u.unit), h);
}

Answer ComparisonDownload(const PageContext &c, bool json)
{
    auto chosen = chosenVisits(c);
    if (auto *answer = std::get_if<Answer>(&chosen))
        return *answer;
    const auto &[u, aId, bId] = std::get<ChosenVisits>(chosen);
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

} // namespace Quilo::Site
