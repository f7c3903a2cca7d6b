#include "historycli.h"

#include "cliargs.h"
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

void say(const CCliStreams &io, const QString &message)
{
    io.err->write((QStringLiteral("quilo: ") + message + QLatin1Char('\n')).toUtf8());
}

// `numbers`: the JSON keys whose values are counts, given to scripts as numbers.
QByteArray render(const CCliOptions &o, const QStringList &heading, const QStringList &names, QList<QStringList> rows,
                  const QStringList &numbers = {})
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
        for (const QStringList &r : rows)
            out += CsvLine(r, sep);
        return out.toUtf8();
    }
    for (QStringList &r : rows)
        for (QString &cell : r)
            cell = InertText(cell);
    rows.prepend(heading);
    return AlignedRows(rows).toUtf8();
}

// Opens the chosen store and sends it what the outbox holds for it; `waiting` and `sendError`
// say what stayed there and why. `takeUnknown`: visits whose history the outbox does not know
// go there too.
bool openStore(const CCliOptions &o, const CCliStreams &io, Quilo::CHistoryStore **store,
               std::unique_ptr<Quilo::CHistoryStore> &holder, int *waiting = nullptr, QString *sendError = nullptr,
               bool takeUnknown = false)
{
    const Quilo::HistoryChoice choice = Quilo::ChooseHistory(o.historyUrl);
    QString error;
    if (!choice.location.valid()) {
        say(io, choice.location.error);
        return false;
    }
    holder = std::make_unique<Quilo::CHistoryStore>(choice.location);
    if (!holder->Open(&error)) {
        say(io, error);
        return false;
    }
    int left = 0;
    const int sent = Quilo::SendQueued(*holder, Quilo::DefaultHistoryFile(), &left, &error, takeUnknown);
    if (sent > 0)
        say(io, LoadString(Str::HistSentQueued).arg(sent));
    if (waiting)
        *waiting = left;
    if (sendError)
        *sendError = error;
    *store = holder.get();
    return true;
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
    QList<Quilo::Waiting> waiting;
    QString error;
    if (!Quilo::WaitingVisits(Quilo::DefaultHistoryFile(), &waiting, &error)) {
        say(io, error);
        return;
    }
    const QString text = waitingText(waiting, Quilo::ChooseHistory(o.historyUrl).location.target);
    if (!text.isEmpty())
        say(io, text);
}

int listHistory(const CCliOptions &o, const CCliStreams &io)
{
    std::unique_ptr<Quilo::CHistoryStore> holder;
    Quilo::CHistoryStore *store = nullptr;
    if (!openStore(o, io, &store, holder))
        return ExitHistoryUnavailable;
    QString error;
    if (o.words.isEmpty()) {
        QList<Quilo::UnitEntry> units;
        if (!store->Units(&units, &error)) {
            say(io, error);
            return ExitHistoryUnavailable;
        }
        QList<QStringList> rows;
        for (const Quilo::UnitEntry &u : units)
            rows << QStringList{u.type, u.number, QString::number(u.visits), Quilo::LocalMinuteText(u.lastVisit)};
        io.out->write(render(o, {LoadString(Str::HistColType), LoadString(Str::HistColNumber), LoadString(Str::HistColVisits),
                                 LoadString(Str::HistColLastVisit)},
                             {QStringLiteral("type"), QStringLiteral("manufacturingNumber"), QStringLiteral("visits"),
                              QStringLiteral("lastVisit")},
                             rows, {QStringLiteral("visits")}));
        sayWaiting(o, io);
        return ExitOk;
    }
    Quilo::UnitEntry unit;
    QList<Quilo::VisitEntry> visits;
    if (!store->FindUnit(o.words.join(QLatin1Char(' ')), &unit, &error)) {
        say(io, error);
        return store->Faulted() ? ExitHistoryUnavailable : ExitUsage;
    }
    if (!store->Visits(unit.id, &visits, &error)) {
        say(io, error);
        return ExitHistoryUnavailable;
    }
    QList<QStringList> rows;
    for (const Quilo::VisitEntry &v : visits)
        rows << QStringList{QString::number(v.id), v.uuid.left(8), Quilo::LocalMinuteText(v.pcTime), v.unitClock,
                            v.clockOffset ? Quilo::DurationText(*v.clockOffset) : QString(), v.source, v.port};
    io.out->write(render(o,
                         {LoadString(Str::HistColVisit), LoadString(Str::HistColId), LoadString(Str::HistColPcTime),
                          LoadString(Str::HistColUnitClock), LoadString(Str::HistColOffset), LoadString(Str::HistColSource),
                          LoadString(Str::HistColPort)},
                         {QStringLiteral("visit"), QStringLiteral("id"), QStringLiteral("pcTime"), QStringLiteral("unitClock"),
                          QStringLiteral("clockOffset"), QStringLiteral("source"), QStringLiteral("port")},
                         rows, {QStringLiteral("visit")}));
    sayWaiting(o, io);
    return ExitOk;
}

int importFiles(const CCliOptions &o, const CCliStreams &io)
{
    if (o.words.size() < 2) {
        say(io, LoadString(Str::HistErrImportArgs));
        return ExitUsage;
    }
    const Quilo::HistoryChoice choice = Quilo::ChooseHistory(o.historyUrl);
    int exit = ExitOk;
    for (const QString &path : o.words.mid(1)) {
        QString error;
        Quilo::Visit visit;
        if (!Quilo::VisitFromFile(path, &visit, &error)) {
            say(io, path + QStringLiteral(": ") + error);
            exit = ExitFailed;
            continue;
        }
        const Quilo::RecordReport report = Quilo::RecordVisit(choice.location, visit);
        if (report.outcome == Quilo::RecordReport::Outcome::Failed) {
            say(io, path + QStringLiteral(": ") + report.message);
            exit = ExitFailed;
        } else {
            io.err->write((path + QStringLiteral(": ") + report.message + QLatin1Char('\n')).toUtf8());
        }
    }
    return exit;
}

int syncHistory(const CCliOptions &o, const CCliStreams &io)
{
    std::unique_ptr<Quilo::CHistoryStore> holder;
    Quilo::CHistoryStore *store = nullptr;
    int waiting = 0;
    QString error;
    // Visits whose history is not known go only where the user names one on this command.
    const bool named = Quilo::ChooseHistory(o.historyUrl).from == QLatin1String("--history");
    if (!openStore(o, io, &store, holder, &waiting, &error, named))
        return ExitHistoryUnavailable;
    if (waiting > 0)
        say(io, LoadString(Str::HistStillWaiting).arg(waiting).arg(error));
    QList<Quilo::Waiting> left;
    QString outboxError;
    if (!Quilo::WaitingVisits(Quilo::DefaultHistoryFile(), &left, &outboxError)) {
        say(io, outboxError);
        return ExitHistoryUnavailable;
    }
    int forNamed = 0;
    const QString text = waitingText(left, store->Location().target, &forNamed);
    if (!text.isEmpty())
        say(io, text);
    // Done only when nothing waits that may be meant for the history named. The outbox's own
    // file is no history any of them can go to: whatever waits, waits on.
    const bool outboxItself = store->Location().target == Quilo::DefaultHistoryLocation().target;
    return forNamed > 0 || (outboxItself && !left.isEmpty()) ? ExitHistoryUnavailable : ExitOk;
}

int compareVisits(const CCliOptions &o, const CCliStreams &io)
{
    std::unique_ptr<Quilo::CHistoryStore> holder;
    Quilo::CHistoryStore *store = nullptr;
    if (!openStore(o, io, &store, holder))
        return ExitHistoryUnavailable;
    QString error;
    Quilo::StoredVisit a;
    Quilo::StoredVisit b;
    if (o.words.size() == 2) {
        if (!store->LoadVisit(o.words.at(0), &a, &error) || !store->LoadVisit(o.words.at(1), &b, &error)) {
            say(io, error);
            return store->Faulted() ? ExitHistoryUnavailable : ExitUsage;
        }
        if (a.entry.unitId != b.entry.unitId) {
            say(io, LoadString(Str::HistErrTwoUnits));
            return ExitUsage;
        }
        if (b.entry.pcTime < a.entry.pcTime)
            std::swap(a, b);
    } else if (o.words.size() <= 1) {
        // The last two visits of the unit named, or of the unit visited last.
        qint64 unitId = 0;
        if (o.words.size() == 1) {
            Quilo::UnitEntry unit;
            if (!store->FindUnit(o.words.first(), &unit, &error)) {
                say(io, error);
                return store->Faulted() ? ExitHistoryUnavailable : ExitUsage;
            }
            unitId = unit.id;
        } else {
            Quilo::VisitEntry latest;
            if (!store->LatestVisit(&latest, &error)) {
                say(io, error);
                return store->Faulted() ? ExitHistoryUnavailable : ExitUsage;
            }
            unitId = latest.unitId;
        }
        QList<Quilo::VisitEntry> visits;
        if (!store->Visits(unitId, &visits, &error)) {
            say(io, error);
            return ExitHistoryUnavailable;
        }
        if (visits.size() < 2) {
            say(io, LoadString(Str::HistErrOneVisit));
            return ExitUsage;
        }
        if (!store->LoadVisit(visits.at(1).id, &a, &error) || !store->LoadVisit(visits.at(0).id, &b, &error)) {
            say(io, error);
            return ExitHistoryUnavailable;
        }
    } else {
        say(io, LoadString(Str::HistErrCompareArgs));
        return ExitUsage;
    }
    const Quilo::Comparison c = Quilo::CompareVisits(a, b);
    if (o.format == OutputFormat::Json) {
        io.out->write(QJsonDocument(Quilo::ComparisonJson(c)).toJson(QJsonDocument::Indented));
    } else {
        QList<QStringList> rows;
        for (const Quilo::ComparisonLine &l : Quilo::ComparisonLines(c))
            rows << QStringList{o.format == OutputFormat::Csv ? l.section : QString(), l.item, l.earlier, l.later, l.difference};
        if (o.format == OutputFormat::Table) {
            io.out->write((LoadString(Str::HistCompareTitle)
                               .arg(InertText(c.later.unitType + QLatin1Char('/') + c.later.unitNumber))
                               .arg(c.earlier.id)
                               .arg(c.later.id)
                           + QLatin1Char('\n'))
                              .toUtf8());
            for (QStringList &r : rows)
                r.removeFirst();
            io.out->write(render(o, {QString(), LoadString(Str::HistColEarlier), LoadString(Str::HistColLater),
                                     LoadString(Str::HistColDifference)},
                                 {}, rows));
        } else {
            io.out->write(render(o, {QStringLiteral("section"), QStringLiteral("item"), QStringLiteral("earlier"),
                                     QStringLiteral("later"), QStringLiteral("difference")},
                                 {}, rows));
        }
    }
    if (!c.flags.isEmpty()) {
        say(io, LoadString(Str::HistFlagsRaised).arg(c.flags.size()));
        return ExitFailed;
    }
    return ExitOk;
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
    Quilo::Visit visit;
    QString error;
    if (!Quilo::VisitFromDocument(doc, port, QDateTime::currentDateTimeUtc(), &visit, &error)) {
        say(io, error);
        return false;
    }
    const Quilo::RecordReport report = Quilo::RecordVisit(choice.location, visit);
    switch (report.outcome) {
    case Quilo::RecordReport::Outcome::Recorded:
    case Quilo::RecordReport::Outcome::AlreadyThere:
        io.err->write((report.message + QLatin1Char('\n')).toUtf8());
        return true;
    case Quilo::RecordReport::Outcome::Queued:
        say(io, report.message);
        return true;
    case Quilo::RecordReport::Outcome::Failed:
        break;
    }
    say(io, report.message);
    return false;
}

} // namespace QuiloCli
