#include "collectreport.h"

#include "formatters.h"
#include "stringtable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace QuiloCollect {

namespace {

const char *outcomeName(UnitRun::Outcome o)
{
    switch (o) {
    case UnitRun::Outcome::Read: return "read";
    case UnitRun::Outcome::Failed: return "failed";
    case UnitRun::Outcome::Stopped: return "stopped";
    case UnitRun::Outcome::NotRead: break;
    }
    return "not-read";
}

const char *visitName(const UnitRun &r)
{
    if (r.outcome != UnitRun::Outcome::Read)
        return "none";
    if (r.historyOff)
        return "history-off";
    if (!r.filed)
        return "not-recorded";
    switch (r.visit.where) {
    case FiledVisit::Where::Recorded: return "recorded";
    case FiledVisit::Where::AlreadyThere: return "already-there";
    case FiledVisit::Where::Kept: return "kept";
    case FiledVisit::Where::Lost: break;
    }
    return "not-recorded";
}

QString resultText(const UnitRun &r)
{
    if (r.outcome == UnitRun::Outcome::Read)
        return r.failedRecords > 0 ? LoadString(Str::CollectResPartly).arg(r.failedRecords)
                                   : LoadString(Str::CollectResRead);
    return LoadString(Str::CollectFailedFinal).arg(r.reason);
}

QString visitText(const UnitRun &r)
{
    const QString name = QString::fromLatin1(visitName(r));
    if (name == QLatin1String("recorded") || name == QLatin1String("already-there"))
        return LoadString(Str::CollectVisitRecorded);
    if (name == QLatin1String("kept"))
        return LoadString(Str::CollectVisitKept);
    return name == QLatin1String("none") ? QString() : LoadString(Str::CollectVisitNone);
}

bool flagged(const UnitRun &r)
{
    return !r.visit.flags.isEmpty();
}

} // namespace

QByteArray SummaryTable(const QList<UnitRun> &runs)
{
    QList<QStringList> rows{{LoadString(Str::CollectColUnit), LoadString(Str::CollectColPort),
                             LoadString(Str::CollectColResult), LoadString(Str::CollectColVisit),
                             LoadString(Str::CollectColFlags)}};
    for (const UnitRun &r : runs)
        rows << QStringList{Quilo::InertText(r.unit.name), Quilo::InertText(r.unit.port), Quilo::InertText(resultText(r)), visitText(r),
                            r.visit.flags.join(QStringLiteral(", "))};
    QList<qsizetype> widths(rows.first().size(), 0);
    for (const QStringList &row : rows)
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = qMax(widths[c], row.at(c).size());
    QString out;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row.at(c).leftJustified(widths[c] + 2) : row.at(c);
        out += line.trimmed() + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray SummaryJson(const QList<UnitRun> &runs, const QDateTime &started, const QDateTime &ended, bool stopped)
{
    // for scripts: stable English names, whatever the language spoken
    const CSourceTexts english;
    QJsonArray units;
    for (const UnitRun &r : runs) {
        QJsonObject u{{QStringLiteral("name"), r.unit.name},
                      {QStringLiteral("port"), r.unit.port},
                      {QStringLiteral("result"), QLatin1String(outcomeName(r.outcome))},
                      {QStringLiteral("attempts"), r.attempts},
                      {QStringLiteral("records"), r.records},
                      {QStringLiteral("failedRecords"), r.failedRecords},
                      {QStringLiteral("seconds"), static_cast<double>(r.readMs) / 1000.0},
                      {QStringLiteral("visit"), QLatin1String(visitName(r))},
                      {QStringLiteral("flags"), QJsonArray::fromStringList(r.visit.flags)}};
        u.insert(QStringLiteral("reason"), r.reason.isEmpty() ? QJsonValue() : QJsonValue(r.reason));
        u.insert(QStringLiteral("history"), r.filed ? QJsonValue(r.visit.message) : QJsonValue());
        u.insert(QStringLiteral("compared"), r.visit.compared);
        if (!r.onFlag.isEmpty())
            u.insert(QStringLiteral("onFlag"), r.onFlag);
        units.append(u);
    }
    const QJsonObject out{{QStringLiteral("started"), started.toUTC().toString(Qt::ISODateWithMs)},
                          {QStringLiteral("ended"), ended.toUTC().toString(Qt::ISODateWithMs)},
                          {QStringLiteral("stopped"), stopped},
                          {QStringLiteral("exitStatus"), CollectExitStatus(runs)},
                          {QStringLiteral("units"), units}};
    return QJsonDocument(out).toJson(QJsonDocument::Indented);
}

QString SummaryLine(const QList<UnitRun> &runs)
{
    int read = 0;
    int failed = 0;
    int flags = 0;
    for (const UnitRun &r : runs) {
        read += r.outcome == UnitRun::Outcome::Read ? 1 : 0;
        failed += r.outcome == UnitRun::Outcome::Read ? 0 : 1;
        flags += flagged(r) ? 1 : 0;
    }
    return LoadString(Str::CollectSummary).arg(read).arg(runs.size()).arg(failed).arg(flags);
}

int CollectExitStatus(const QList<UnitRun> &runs)
{
    int read = 0;
    bool failed = false;
    bool unreached = false;
    bool attention = false;
    for (const UnitRun &r : runs) {
        if (r.outcome == UnitRun::Outcome::Read) {
            ++read;
            // a flag, records that failed, a visit neither recorded nor kept: someone must look
            attention = attention || flagged(r) || r.failedRecords > 0 || !r.onFlagOk
                        || (r.filed && r.visit.where == FiledVisit::Where::Lost);
        } else {
            failed = true;
            unreached = unreached || r.outcome == UnitRun::Outcome::Failed;
        }
    }
    if (read == 0 && unreached)
        return kExitNoneReached;
    return failed || attention ? kExitSomeFailed : kExitAllRead;
}

} // namespace QuiloCollect
