#include "exporttable.h"

#include "commandtable.h"
#include "rawcapture.h"
#include "stringtable.h"
#include "tarveldoc.h"

namespace QuiloCli {

namespace {

constexpr int kDone = 0x8000;

// Result codes in the order of COperationSummary::failedBy.
constexpr int kSlotResults[] = {Quilo::ResultNotSent, Quilo::ResultTwoBytes, Quilo::ResultWrongLength,
                                Quilo::ResultBadChecksum, Quilo::ResultRefused, Quilo::ResultKeyFailed, 0x7FFF};

constexpr unsigned kConfigLabels[] = {
    Str::LblCfgType, Str::LblCfgMfgNo, Str::LblCfgMfgDate, Str::LblCfgLicenceNo, Str::LblCfgLicenceExpiry,
    Str::LblCfgCardMfgNo, Str::LblCfgOmhId, Str::LblCfgCertCode, Str::LblCfgCertDate, Str::LblCfgLabCode,
    Str::LblCfgCertificateNo, Str::LblCfgName, Str::LblCfgAddress, Str::LblCfgCounterStep, Str::LblCfgInitialIn,
    Str::LblCfgInitialOut, Str::LblCfgInitialStake, Str::LblCfgNote};

constexpr unsigned kEventLabels[] = {Str::LblIn, Str::LblOut, Str::LblStakeColon, Str::LblWinColon, Str::LblGames,
                                     Str::LblChangeTime};

// Form labels end in a colon; as column headings they do without.
QString heading(unsigned id)
{
    QString text = LoadString(id).trimmed();
    while (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

bool looksNumeric(const QString &text)
{
    return text.endsWith(QLatin1String(" Ft.")) || (!text.isEmpty() && text.at(text.size() - 1).isDigit()
                                                    && !text.contains(QLatin1Char(':')));
}

QStringList configCells(const CConfigRecord &c)
{
    return {c.m_type.GetText(), c.m_mfgNo.GetText(), c.m_mfgDate.GetText(), c.m_licenceNo.GetText(),
            c.m_licenceExpiry.GetText(), c.m_cardMfgNo.GetText(), c.m_omhId.GetText(), c.m_certCode.GetText(),
            c.m_certDate.GetText(), c.m_labCode.GetText(), c.m_certificateNo.GetText(), c.m_name.GetText(),
            c.m_address.GetText(), c.m_counterStep.GetText(), c.m_initialIn.GetText(), c.m_initialOut.GetText(),
            c.m_initialStake.GetText(), c.m_note.GetText()};
}

template<class Record>
void addListRows(CExportSection &s, const Record *records, const CRawCapture *raw, CDataSetRequest request)
{
    for (unsigned i = s.want.first; i <= s.want.last; ++i) {
        const Record &r = records[i];
        CExportRow row;
        row.number = static_cast<int>(i - s.want.first) + 1;
        row.index = static_cast<int>(i);
        row.status = r.m_nStatus;
        row.ok = r.m_nStatus == kDone;
        row.result = ResultText(r.m_nStatus);
        for (int c = 0; c < Record::kColumns; ++c)
            row.cells << r.GetColumnText(c);
        if (!row.ok)
            row.blankAll();
        if (row.ok && raw)
            row.raw = raw->Reply(request.command,
                                 static_cast<std::uint8_t>(request.firstParameter + (i - s.want.first)));
        s.rows << row;
    }
}

template<class Record>
void listHeadings(CExportSection &s)
{
    for (unsigned id : Record::kColumnTitles)
        s.headings << heading(id);
}

// The configuration and its events are marked read even when chunks failed; the export says so,
// and a read that got no chunk at all says why instead of "not read".
void judgeChunked(CExportRow &row, int recordStatus, const COperationSummary &summary, int chunks)
{
    row.status = recordStatus;
    row.ok = recordStatus == kDone && summary.failed() == 0;
    row.result = ResultText(recordStatus);
    if (summary.failed() == 0)
        return;
    const int partial = StatusFromSummary(summary);
    const QString why = summary.noReply == summary.failed() ? LoadString(Str::CliNoReply) : ResultText(partial);
    if (recordStatus == kDone) {
        row.status = partial;
        row.result = LoadString(Str::CliPartsFailed).arg(summary.failed()).arg(summary.tried).arg(why);
    } else if (summary.read == 0 && !summary.stopped) {
        row.status = partial;
        row.result = summary.silent && summary.tried < chunks
                         ? LoadString(Str::CliPartsSilent).arg(summary.tried).arg(chunks - summary.tried)
                         : LoadString(Str::CliPartsAllFailed).arg(summary.tried).arg(why);
    }
}

// Chunk k carries field k - 1: a failed chunk's field has no value, whatever zeros it shows.
void blankFailedChunks(CExportRow &row, int recordStatus, const CRawCapture *raw, std::uint8_t command,
                       std::size_t chunks)
{
    if (row.ok)
        return;
    if (recordStatus != kDone || !raw) {
        row.blankAll();
        return;
    }
    for (std::size_t k = 1; k <= chunks && static_cast<qsizetype>(k) <= row.cells.size(); ++k)
        if (raw->Reply(command, static_cast<std::uint8_t>(k)).isEmpty())
            row.blank(static_cast<qsizetype>(k - 1));
}

// The fields that hold free text of the unit's (everything but the amounts).
QList<bool> configTextColumns(qsizetype columns)
{
    QList<bool> text(columns, false);
    for (qsizetype c = 0; c < 13 && c < columns; ++c)
        text[c] = true;
    if (columns > 17)
        text[17] = true;
    return text;
}

} // namespace

void CExportRow::blank(qsizetype column)
{
    if (column < 0 || column >= cells.size())
        return;
    missing.resize(cells.size(), false);
    missing[column] = true;
    cells[column] = QString();
}

void CExportRow::blankAll()
{
    for (qsizetype c = 0; c < cells.size(); ++c)
        blank(c);
}

int CExportSection::failedCount() const
{
    int n = 0;
    for (const CExportRow &r : rows)
        n += r.ok ? 0 : 1;
    return n;
}

QString ResultText(int status)
{
    if (status == 0)
        return LoadString(Str::ResultNotRead);
    if (status == Quilo::ResultKeyFailed)
        return LoadString(Str::Result256);
    switch (status & 0x7FFF) {
    case Quilo::ResultOk: return LoadString(Str::Result0);
    case Quilo::ResultNotSent: return LoadString(Str::Result1);
    case Quilo::ResultTwoBytes: return LoadString(Str::Result16);
    case Quilo::ResultWrongLength: return LoadString(Str::Result32);
    case Quilo::ResultBadChecksum: return LoadString(Str::Result48);
    case Quilo::ResultRefused: return LoadString(Str::Result64);
    default: return LoadString(Str::CliResultOther).arg(status & 0x7FFF);
    }
}

int StatusFromSummary(const COperationSummary &summary)
{
    if (summary.tried == 0)
        return 0;
    for (std::size_t slot = 0; slot < summary.failedBy.size(); ++slot) {
        if (summary.failedBy[slot] == 0)
            continue;
        const int code = kSlotResults[slot];
        return code == Quilo::ResultKeyFailed ? code : kDone + code;
    }
    return kDone;
}

CExportSection BuildSection(const CTarvelDoc &doc, const CSetSpec &want, const COperationSummary &summary,
                            const CRawCapture *raw)
{
    CExportSection s;
    s.want = want;
    s.title = LoadString(want.titleId);
    if (want.groupId != 0)
        s.title += QStringLiteral(" - ") + LoadString(want.groupId);

    const CDataSetRequest request = CTarvelDoc::RequestFor(want.dataSet, want.first, want.event);
    switch (want.dataSet) {
    case CTarvelDoc::dsDaily:
        listHeadings<CDailyRecord>(s);
        addListRows(s, doc.m_aDaily.data(), raw, request);
        break;
    case CTarvelDoc::dsMonthly:
        listHeadings<CPeriodRecord>(s);
        addListRows(s, doc.m_aMonthly.data(), raw, request);
        break;
    case CTarvelDoc::dsQuarterly:
        listHeadings<CPeriodRecord>(s);
        addListRows(s, doc.m_aQuarterly.data(), raw, request);
        break;
    case CTarvelDoc::dsYearly:
        listHeadings<CYearlyRecord>(s);
        addListRows(s, doc.m_aYearly.data(), raw, request);
        break;
    case CTarvelDoc::dsDateLog:
        listHeadings<CDateLogRecord>(s);
        addListRows(s, doc.m_aDateLog.data(), raw, request);
        break;
    case CTarvelDoc::dsKeyLogs:
        listHeadings<CKeyLogRecord>(s);
        addListRows(s, doc.m_aKeyLogs.data(), raw, request);
        break;
    case CTarvelDoc::dsKeyTable:
        s.headings << heading(Str::ColKey) << heading(Str::ColState);
        for (unsigned i = want.first; i <= want.last; ++i) {
            const CKeyField &k = doc.m_aKeyTable[i];
            CExportRow row;
            row.number = static_cast<int>(i - want.first) + 1;
            row.index = static_cast<int>(i);
            row.status = k.m_nStatus;
            row.ok = k.m_nStatus == kDone;
            row.result = ResultText(k.m_nStatus);
            // The window's rule: only a result in the low bits is an error.
            row.cells << k.GetText() << LoadString((k.m_nStatus & 0x7FFF) ? Str::StateError : Str::StateOk);
            if (!row.ok)
                row.blank(0); // the key; the state column is the window's verdict, not a value
            if (k.m_nStatus == 0)
                row.blank(1); // no verdict on an entry never tried
            if (row.ok && raw)
                row.raw = raw->Reply(request.command,
                                     static_cast<std::uint8_t>(request.firstParameter + (i - want.first)));
            s.rows << row;
        }
        break;
    case CTarvelDoc::dsCounters:
    case CTarvelDoc::dsDateTime:
    case CTarvelDoc::dsCurrentKey: {
        s.form = true;
        CExportRow row;
        row.number = 1;
        row.status = StatusFromSummary(summary);
        row.ok = row.status == kDone;
        row.result = ResultText(row.status);
        if (want.dataSet == CTarvelDoc::dsCounters) {
            listHeadings<CCountersRecord>(s);
            for (int c = 0; c < CCountersRecord::kColumns; ++c)
                row.cells << doc.m_counters.GetColumnText(c);
        } else if (want.dataSet == CTarvelDoc::dsDateTime) {
            s.headings << heading(Str::TitleDateTime);
            row.cells << doc.m_dateTime.GetText();
        } else {
            s.headings << heading(Str::ColKey);
            row.cells << doc.m_currentKey.GetText();
        }
        if (!row.ok)
            row.blankAll();
        if (row.ok && raw)
            row.raw = raw->Reply(request.command, 0);
        s.rows << row;
        break;
    }
    case CTarvelDoc::dsConfig: {
        s.form = true;
        for (unsigned id : kConfigLabels)
            s.headings << heading(id);
        s.unitText = configTextColumns(s.headings.size());
        CExportRow row;
        row.number = 1;
        judgeChunked(row, doc.m_config.m_nStatus, summary, static_cast<int>(Quilo::kConfigChunks));
        row.cells = configCells(doc.m_config);
        blankFailedChunks(row, doc.m_config.m_nStatus, raw, request.command, Quilo::kConfigChunks);
        if (row.ok && raw)
            row.raw = raw->Chunked(request.command, Quilo::kConfigChunks);
        s.rows << row;
        break;
    }
    case CTarvelDoc::dsConfEvents: {
        s.form = true;
        s.title += QLatin1Char(' ') + QString::number(want.event + 1);
        for (unsigned id : kConfigLabels)
            s.headings << heading(id);
        for (unsigned id : kEventLabels)
            s.headings << heading(id);
        s.unitText = configTextColumns(s.headings.size());
        const CConfEventRecord &e = doc.m_aConfEvents[static_cast<std::size_t>(want.event)];
        CExportRow row;
        row.number = want.event + 1;
        row.index = want.event;
        judgeChunked(row, e.m_nStatus, summary, static_cast<int>(Quilo::kConfEventChunks));
        row.cells = configCells(e.m_config);
        row.cells << e.m_in.GetText() << e.m_out.GetText() << e.m_stake.GetText() << e.m_win.GetText()
                  << e.m_games.GetText() << e.m_changeTime.GetText();
        blankFailedChunks(row, e.m_nStatus, raw, request.command, Quilo::kConfEventChunks);
        if (row.ok && raw)
            row.raw = raw->Chunked(request.command, Quilo::kConfEventChunks);
        s.rows << row;
        break;
    }
    default:
        break;
    }
    s.unitText.resize(s.headings.size(), false);
    for (qsizetype c = 0; c < s.headings.size(); ++c) {
        bool right = !s.rows.isEmpty();
        for (const CExportRow &r : s.rows)
            right = right && c < r.cells.size() && (r.isMissing(c) || looksNumeric(r.cells.at(c)));
        s.rightAligned << right;
    }
    s.tried = summary.tried;
    s.noReply = summary.noReply;
    return s;
}

} // namespace QuiloCli
