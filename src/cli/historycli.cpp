#include "historycli.h"

#include "cliargs.h"
#include "clioutput.h"
#include "comparison.h"
#include "formatters.h"
#include "history.h"
#include "historystore.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace QuiloCli {

namespace {

// `unitText` marks, per row and column, the texts the unit (or a file) gave: CSV keeps them from
// reading as formulas and leaves the figures as they are. `numbers`: the JSON keys whose values
// are counts, given to scripts as numbers.
QByteArray render(const CCliOptions &o, const QStringList &heading, const QStringList &names, QList<QStringList> rows,
                  const QList<QList<bool>> &unitText, const QStringList &numbers = {})
{
    if (o.format == OutputFormat::Json) {
        QJsonArray list;
        for (const QStringList &r : rows) {
            QJsonObject item;
            for (qsizetype c = 0; c < names.size() && c < r.size(); ++c) {
                bool number = false;
                const qint64 n = r.at(c).toLongLong(&number);
                if (numbers.contains(names.at(c)) && number)
                    item.insert(names.at(c), n);
                else
                    item.insert(names.at(c), r.at(c));
            }
            list.append(item);
        }
        return QJsonDocument(list).toJson(QJsonDocument::Indented);
    }
    if (o.format == OutputFormat::Csv) {
        const QChar sep = o.separator.isNull() ? LocaleSeparator(QLocale()) : o.separator;
        QString out = CsvLine(heading, sep);
        for (qsizetype i = 0; i < rows.size(); ++i)
            out += CsvLine(rows.at(i), sep, unitText.value(i));
        return out.toUtf8();
    }
    for (QStringList &r : rows)
        for (QString &cell : r)
            cell = InertText(cell);
    rows.prepend(heading);
    return AlignedRows(rows).toUtf8();
}

// Opens the chosen store. Looking only reads it: what waits in the outbox goes there with
// `history sync` (or the next visit recorded there).
bool openStore(const CCliOptions &o, const CCliStreams &io, Quilo::CHistoryStore **store,
               std::unique_ptr<Quilo::CHistoryStore> &holder)
{
    const Quilo::HistoryChoice choice = Quilo::ChooseHistory(o.historyUrl);
    if (!choice.location.valid()) {
        Say(io, choice.location.error);
        return false;
    }
    holder = std::make_unique<Quilo::CHistoryStore>(choice.location);
    if (const Quilo::Done opened = holder->Open(); !opened) {
        Say(io, opened.error());
        return false;
    }
    *store = holder.get();
    return true;
}

// Sends `store` what the outbox holds for it, and says what arrived. `takeUnknown`: visits whose
// history the outbox does not know go there too.
Quilo::SendReport sendWaiting(const CCliStreams &io, Quilo::CHistoryStore &store, bool takeUnknown)
{
    const Quilo::SendReport report = Quilo::SendQueued(store, Quilo::DefaultHistoryFile(), takeUnknown);
    if (report.sent > 0)
        Say(io, LoadString(Str::HistSentQueued).arg(report.sent));
    return report;
}

// What waits in the outbox, per history; `named` (a target) comes first. *forNamed: how many
// may be meant for it (its own and those whose history is not known).
QString waitingText(const QList<Quilo::Waiting> &waiting, const QString &named, int *forNamed = nullptr)
{
    QStringList parts;
    int total = 0;
    int mine = 0;
    for (const Quilo::Waiting &w : waiting) {
        total += w.visits;
        const bool known = Quilo::NamesHistory(w.target);
        if (w.target == named || !known)
            mine += w.visits;
        const QString part = known                ? LoadString(Str::HistWaitingFor).arg(w.visits).arg(InertText(w.target))
                             : w.target.isEmpty() ? LoadString(Str::HistWaitingUnknown).arg(w.visits)
                                                  : LoadString(Str::HistWaitingNamesNone).arg(w.visits).arg(InertText(w.target));
        if (w.target == named)
            parts.prepend(part);
        else
            parts << part;
    }
    if (forNamed)
        *forNamed = mine;
    return total == 0 ? QString() : LoadString(Str::HistWaitingTotal).arg(total).arg(parts.join(QStringLiteral("; ")));
}

void sayWaiting(const CCliOptions &o, const CCliStreams &io)
{
    const Quilo::Result<QList<Quilo::Waiting>> waiting = Quilo::WaitingVisits(Quilo::DefaultHistoryFile());
    if (!waiting) {
        Say(io, waiting.error());
        return;
    }
    const QString text = waitingText(*waiting, Quilo::ChooseHistory(o.historyUrl).location.target);
    if (!text.isEmpty())
        Say(io, text);
}

int listHistory(const CCliOptions &o, const CCliStreams &io)
{
    std::unique_ptr<Quilo::CHistoryStore> holder;
    Quilo::CHistoryStore *store = nullptr;
    if (!openStore(o, io, &store, holder))
        return ExitHistoryUnavailable;
    if (o.words.isEmpty()) {
        const Quilo::Result<QList<Quilo::UnitEntry>> units = store->Units();
        if (!units) {
            Say(io, units.error());
            return ExitHistoryUnavailable;
        }
        QList<QStringList> rows;
        for (const Quilo::UnitEntry &u : *units)
            rows << QStringList{u.type, u.number, QString::number(u.visits), Quilo::LocalMinuteText(u.lastVisit)};
        const QByteArray data = render(o,
                                       {LoadString(Str::HistColType), LoadString(Str::HistColNumber),
                                        LoadString(Str::HistColVisits), LoadString(Str::HistColLastVisit)},
                                       {QStringLiteral("type"), QStringLiteral("manufacturingNumber"),
                                        QStringLiteral("visits"), QStringLiteral("lastVisit")},
                                       rows, QList<QList<bool>>(rows.size(), {true, true, false, false}),
                                       {QStringLiteral("visits")});
        if (!WriteOut(io, data))
            return ExitOutput;
        sayWaiting(o, io);
        return ExitOk;
    }
    const Quilo::Result<Quilo::UnitEntry> unit = store->FindUnit(o.words.join(QLatin1Char(' ')));
    if (!unit) {
        Say(io, unit.error());
        return store->Faulted() ? ExitHistoryUnavailable : ExitUsage;
    }
    const Quilo::Result<QList<Quilo::VisitEntry>> visits = store->Visits(unit->id);
    if (!visits) {
        Say(io, visits.error());
        return ExitHistoryUnavailable;
    }
    QList<QStringList> rows;
    for (const Quilo::VisitEntry &v : *visits)
        rows << QStringList{QString::number(v.id), v.uuid.left(8), Quilo::LocalMinuteText(v.pcTime), v.unitClock,
                            v.clockOffset ? Quilo::DurationText(*v.clockOffset) : QString(), v.source, v.port};
    // the port as a file gave it; the offset is a duration ("-1222 d 11 h") and stays one
    const QByteArray data =
        render(o,
               {LoadString(Str::HistColVisit), LoadString(Str::HistColId), LoadString(Str::HistColPcTime),
                LoadString(Str::HistColUnitClock), LoadString(Str::HistColOffset), LoadString(Str::HistColSource),
                LoadString(Str::HistColPort)},
               {QStringLiteral("visit"), QStringLiteral("id"), QStringLiteral("pcTime"), QStringLiteral("unitClock"),
                QStringLiteral("clockOffset"), QStringLiteral("source"), QStringLiteral("port")},
               rows, QList<QList<bool>>(rows.size(), {false, false, false, false, false, false, true}),
               {QStringLiteral("visit")});
    if (!WriteOut(io, data))
        return ExitOutput;
    sayWaiting(o, io);
    return ExitOk;
}

int importFiles(const CCliOptions &o, const CCliStreams &io)
{
    if (o.words.size() < 2) {
        Say(io, LoadString(Str::HistErrImportArgs));
        return ExitUsage;
    }
    const Quilo::HistoryChoice choice = Quilo::ChooseHistory(o.historyUrl);
    int exit = ExitOk;
    for (const QString &path : o.words.mid(1)) {
        const Quilo::Result<Quilo::Visit> visit = Quilo::VisitFromFile(path);
        if (!visit) {
            Say(io, path + QStringLiteral(": ") + visit.error());
            exit = ExitFailed;
            continue;
        }
        const Quilo::RecordReport report = Quilo::RecordVisit(choice.location, *visit);
        if (report.outcome == Quilo::RecordReport::Outcome::Failed) {
            Say(io, path + QStringLiteral(": ") + report.message);
            exit = ExitFailed;
        } else {
            Tell(io, path + QStringLiteral(": ") + report.message);
        }
    }
    return exit;
}

int syncHistory(const CCliOptions &o, const CCliStreams &io)
{
    std::unique_ptr<Quilo::CHistoryStore> holder;
    Quilo::CHistoryStore *store = nullptr;
    // Visits whose history is not known go only where the user names one on this command.
    const bool named = Quilo::ChooseHistory(o.historyUrl).from == QLatin1String("--history");
    if (!openStore(o, io, &store, holder))
        return ExitHistoryUnavailable;
    const Quilo::SendReport sent = sendWaiting(io, *store, named);
    if (sent.waiting > 0)
        Say(io, LoadString(Str::HistStillWaiting).arg(sent.waiting).arg(sent.why));
    const Quilo::Result<QList<Quilo::Waiting>> waiting = Quilo::WaitingVisits(Quilo::DefaultHistoryFile());
    if (!waiting) {
        Say(io, waiting.error());
        return ExitHistoryUnavailable;
    }
    const QList<Quilo::Waiting> &left = *waiting;
    int forNamed = 0;
    const QString text = waitingText(left, store->Location().target, &forNamed);
    if (!text.isEmpty())
        Say(io, text);
    // Done only when nothing waits that may be meant for the history named. The outbox's own
    // file is no history any of them can go to: whatever waits, waits on.
    const bool outboxItself = store->Location().target == Quilo::DefaultHistoryLocation().target;
    return forNamed > 0 || (outboxItself && !left.isEmpty()) ? ExitHistoryUnavailable : ExitOk;
}

// The unit named, or the unit visited last.
Quilo::Result<qint64> unitToCompare(const CCliOptions &o, Quilo::CHistoryStore *store)
{
    if (o.words.size() == 1) {
        const Quilo::Result<Quilo::UnitEntry> unit = store->FindUnit(o.words.first());
        if (!unit)
            return unit.failure();
        return unit->id;
    }
    const Quilo::Result<Quilo::VisitEntry> latest = store->LatestVisit();
    if (!latest)
        return latest.failure();
    return latest->unitId;
}

// The two visits to compare, the earlier first: the two named, or the last two of the unit
// named or visited last. ExitOk when both were loaded, else the status to end with.
int loadComparedVisits(const CCliOptions &o, const CCliStreams &io, Quilo::CHistoryStore *store,
                       Quilo::StoredVisit *a, Quilo::StoredVisit *b)
{
    // Both loaded, or the status to end with (`lookUp`: a name the user gave was not found).
    const auto load = [&](const auto &first, const auto &second, int lookUp) {
        Quilo::Result<Quilo::StoredVisit> earlier = store->LoadVisit(first);
        Quilo::Result<Quilo::StoredVisit> later = earlier ? store->LoadVisit(second) : earlier.failure();
        if (!later) {
            Say(io, later.error());
            return store->Faulted() ? ExitHistoryUnavailable : lookUp;
        }
        *a = std::move(earlier).value();
        *b = std::move(later).value();
        return int(ExitOk);
    };
    if (o.words.size() == 2) {
        if (const int status = load(o.words.at(0), o.words.at(1), ExitUsage); status != ExitOk)
            return status;
        if (a->entry.unitId != b->entry.unitId) {
            Say(io, LoadString(Str::HistErrTwoUnits));
            return ExitUsage;
        }
        if (b->entry.pcTime < a->entry.pcTime)
            std::swap(*a, *b);
        return ExitOk;
    }
    if (o.words.size() > 1) {
        Say(io, LoadString(Str::HistErrCompareArgs));
        return ExitUsage;
    }
    // The last two visits of the unit named, or of the unit visited last.
    const Quilo::Result<qint64> unitId = unitToCompare(o, store);
    if (!unitId) {
        Say(io, unitId.error());
        return store->Faulted() ? ExitHistoryUnavailable : ExitUsage;
    }
    const Quilo::Result<QList<Quilo::VisitEntry>> visits = store->Visits(*unitId);
    if (!visits) {
        Say(io, visits.error());
        return ExitHistoryUnavailable;
    }
    if (visits->size() < 2) {
        Say(io, LoadString(Str::HistErrOneVisit));
        return ExitUsage;
    }
    return load(visits->at(1).id, visits->at(0).id, ExitHistoryUnavailable);
}

// The comparison in the format asked for.
QByteArray comparisonOutput(const CCliOptions &o, const Quilo::Comparison &c)
{
    QByteArray data;
    if (o.format == OutputFormat::Json) {
        data = QJsonDocument(Quilo::ComparisonJson(c)).toJson(QJsonDocument::Indented);
    } else {
        QList<QStringList> rows;
        QList<QList<bool>> unitText;
        for (const Quilo::ComparisonLine &l : Quilo::ComparisonLines(c)) {
            rows << QStringList{o.format == OutputFormat::Csv ? l.section : QString(), l.item, l.earlier, l.later, l.difference};
            unitText << QList<bool>{false, false, l.unitText, l.unitText, false};
        }
        if (o.format == OutputFormat::Table) {
            data = (LoadString(Str::HistCompareTitle)
                        .arg(InertText(c.later.unitType + QLatin1Char('/') + c.later.unitNumber))
                        .arg(c.earlier.id)
                        .arg(c.later.id)
                    + QLatin1Char('\n'))
                       .toUtf8();
            for (QStringList &r : rows)
                r.removeFirst();
            data += render(o, {QString(), LoadString(Str::HistColEarlier), LoadString(Str::HistColLater),
                               LoadString(Str::HistColDifference)},
                           {}, rows, {});
        } else {
            data = render(o, {QStringLiteral("section"), QStringLiteral("item"), QStringLiteral("earlier"),
                              QStringLiteral("later"), QStringLiteral("difference")},
                          {}, rows, unitText);
        }
    }
    return data;
}

int compareVisits(const CCliOptions &o, const CCliStreams &io)
{
    std::unique_ptr<Quilo::CHistoryStore> holder;
    Quilo::CHistoryStore *store = nullptr;
    if (!openStore(o, io, &store, holder))
        return ExitHistoryUnavailable;
    Quilo::StoredVisit a;
    Quilo::StoredVisit b;
    if (const int status = loadComparedVisits(o, io, store, &a, &b); status != ExitOk)
        return status;
    const Quilo::Comparison c = Quilo::CompareVisits(a, b);
    const QByteArray data = comparisonOutput(o, c);
    const bool written = WriteOut(io, data);
    if (!c.flags.isEmpty())
        Say(io, LoadString(Str::HistFlagsRaised).arg(c.flags.size()));
    if (!written)
        return ExitOutput;
    return c.flags.isEmpty() ? ExitOk : ExitFailed;
}

} // namespace

int RunHistoryCommand(const CCliOptions &o, const CCliStreams &io)
{
    if (o.command == Command::Compare)
        return compareVisits(o, io);
    if (!o.words.isEmpty() && o.words.first() == QLatin1String("import"))
        return importFiles(o, io);
    if (o.words.size() == 1 && o.words.first() == QLatin1String("sync"))
        return syncHistory(o, io);
    return listHistory(o, io);
}

bool RecordWholeUnitVisit(const CTarvelDoc &doc, const QString &port, const QString &historyUrl, bool noHistory,
                          const CCliStreams &io)
{
    const Quilo::HistoryChoice choice = Quilo::ChooseHistory(historyUrl, noHistory);
    if (!choice.record)
        return true;
    const Quilo::Result<Quilo::Visit> visit = Quilo::VisitFromDocument(doc.ReadOut(), port, QDateTime::currentDateTimeUtc());
    if (!visit) {
        Say(io, visit.error());
        return false;
    }
    const Quilo::RecordReport report = Quilo::RecordVisit(choice.location, *visit);
    switch (report.outcome) {
    case Quilo::RecordReport::Outcome::Recorded:
    case Quilo::RecordReport::Outcome::AlreadyThere:
        Tell(io, report.message);
        return true;
    case Quilo::RecordReport::Outcome::Queued:
        Say(io, report.message);
        return true;
    case Quilo::RecordReport::Outcome::Failed:
        break;
    }
    Say(io, report.message);
    return false;
}

} // namespace QuiloCli
