#include "exporttable.h"

#include "commandtable.h"
#include "datasettable.h"
#include "readout.h"
#include "statustext.h"
#include "stringtable.h"

#include <memory>

namespace Quilo {

namespace {

constexpr int kDone = RecordStatus::kDone;

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
    QStringList cells;
    for (const CDataField *field : CConfigRecord::FieldsOf(c))
        cells << field->GetText();
    return cells;
}

// Record `i` of a section's range: its number, index, status and verdict; no cells yet.
CExportRow rowOf(const CExportSection &s, unsigned i, const CDataField &record, bool ok)
{
    CExportRow row;
    row.number = static_cast<int>(i - s.want.first) + 1;
    row.index = static_cast<int>(i);
    row.status = record.m_nStatus;
    row.ok = ok;
    row.result = ResultText(record.m_nStatus);
    return row;
}

template<DataSetId Set>
void addListRows(CExportSection &s, const ReadOut &readOut)
{
    using Record = RecordOf<Set>;
    for (unsigned i = s.want.first; i <= s.want.last; ++i) {
        const Record r = readOut.Decoded<Set>(i);
        CExportRow row = rowOf(s, i, r, r.IsRead());
        for (int c = 0; c < Record::kColumns; ++c)
            row.cells << r.GetColumnText(c);
        if (!row.ok)
            row.blankAll();
        else
            row.raw = readOut.Meta(Set, i)->raw;
        s.rows << row;
    }
}

template<class Record>
void listHeadings(CExportSection &s)
{
    for (unsigned id : Record::kColumnTitles)
        s.headings << heading(id);
}

template<DataSetId Set>
void listSection(CExportSection &s, const ReadOut &readOut)
{
    listHeadings<RecordOf<Set>>(s);
    addListRows<Set>(s, readOut);
}

// The configuration and its events are marked read even when chunks failed; the export says so,
// and a read that got no chunk whole says why instead of "not read". All of it from what the
// read-out keeps of each chunk, so that a read-out opened from a file says the same.
void judgeChunked(CExportRow &row, const CDataField &record, const CRecordMeta &meta, int chunks)
{
    const QList<int> failed = meta.failedChunks();
    row.status = record.m_nStatus;
    row.ok = record.IsRead() && failed.isEmpty();
    row.result = ResultText(record.m_nStatus);
    if (!record.IsRead())
        row.blankAll(); // whatever the fields hold did not come from this read
    if (failed.isEmpty())
        return;
    const auto silent = [&](int chunk) { return chunk < meta.chunkReceived.size() && meta.chunkReceived.at(chunk) == 0; };
    bool allSilent = true;
    for (int k : failed)
        allSilent = allSilent && silent(k);
    const int first = meta.chunkStatus.at(failed.first());
    const QString why = allSilent ? LoadString(Str::CliNoReply) : ResultText(first);
    const int tried = static_cast<int>(meta.chunkStatus.size());
    if (record.IsRead()) {
        row.status = first;
        row.result = LoadString(Str::CliPartsFailed).arg(failed.size()).arg(tried).arg(why);
        for (int k : failed)
            row.blank(k);
        return;
    }
    if (failed.size() != tried)
        return; // some came and the read still ended: stopped, or the line was lost
    bool givenUp = tried < chunks && tried >= Quilo::CEngine::kSilentRecords;
    for (int k = tried - Quilo::CEngine::kSilentRecords; givenUp && k < tried; ++k)
        givenUp = silent(k);
    if (tried == chunks || givenUp) {
        row.status = first;
        row.result = givenUp ? LoadString(Str::CliPartsSilent).arg(tried).arg(chunks - tried)
                             : LoadString(Str::CliPartsAllFailed).arg(tried).arg(why);
    }
}

void keyTableSection(CExportSection &s, const ReadOut &readOut)
{
    s.headings << heading(Str::ColKey) << heading(Str::ColState);
    for (unsigned i = s.want.first; i <= s.want.last; ++i) {
        const CKeyField k = readOut.Decoded<dsKeyTable>(i);
        CExportRow row = rowOf(s, i, k, k.HoldsUnitValue());
        // The window's verdict: OK for a key read or written, ERROR for one that failed.
        row.cells << k.GetText() << LoadString(k.HoldsUnitValue() ? Str::StateOk : Str::StateError);
        if (!row.ok)
            row.blank(0); // the key; the state column is the window's verdict, not a value
        if (k.m_nStatus == 0)
            row.blank(1); // no verdict on an entry never tried
        if (row.ok)
            row.raw = readOut.Meta(dsKeyTable, i)->raw;
        s.rows << row;
    }
}

// The counters, the clock and the current key: one record each, shown as a form.
void singleSection(CExportSection &s, const ReadOut &readOut)
{
    s.form = true;
    const int set = s.want.dataSet;
    const std::unique_ptr<CDataField> record = readOut.Record(set, 0);
    CExportRow row;
    row.number = 1;
    row.status = record->m_nStatus;
    row.ok = record->IsRead();
    row.result = ResultText(row.status);
    if (set == dsCounters) {
        listHeadings<CCountersRecord>(s);
        for (int c = 0; c < CCountersRecord::kColumns; ++c)
            row.cells << record->GetColumnText(c);
    } else {
        s.headings << heading(set == dsDateTime ? Str::TitleDateTime : Str::ColKey);
        row.cells << record->GetText();
    }
    if (!row.ok)
        row.blankAll();
    else
        row.raw = readOut.Meta(set, 0)->raw;
    s.rows << row;
}

void configHeadings(CExportSection &s)
{
    s.form = true;
    for (const Quilo::ConfigFieldInfo &f : Quilo::ConfigFields()) {
        s.headings << heading(f.label);
        s.unitText << f.text;
    }
}

void configSection(CExportSection &s, const ReadOut &readOut)
{
    configHeadings(s);
    CExportRow row;
    row.number = 1;
    const CConfigRecord config = readOut.Decoded<dsConfig>(0);
    row.cells = configCells(config);
    const CRecordMeta &meta = *readOut.Meta(dsConfig, 0);
    judgeChunked(row, config, meta, static_cast<int>(Quilo::kConfigChunks));
    if (row.ok)
        row.raw = meta.raw;
    s.rows << row;
}

void confEventSection(CExportSection &s, const ReadOut &readOut)
{
    s.title += QLatin1Char(' ') + QString::number(s.want.event + 1);
    configHeadings(s);
    for (unsigned id : Quilo::EventExtraLabels())
        s.headings << heading(id);
    const auto event = static_cast<unsigned>(s.want.event);
    const CConfEventRecord e = readOut.Decoded<dsConfEvents>(event);
    CExportRow row;
    row.number = s.want.event + 1;
    row.index = s.want.event;
    row.cells = configCells(e.m_config);
    row.cells << e.m_in.GetText() << e.m_out.GetText() << e.m_stake.GetText() << e.m_win.GetText()
              << e.m_games.GetText() << e.m_changeTime.GetText();
    const CRecordMeta &meta = *readOut.Meta(dsConfEvents, event);
    judgeChunked(row, e, meta, static_cast<int>(Quilo::kConfEventChunks));
    if (row.ok)
        row.raw = meta.raw;
    s.rows << row;
}

// A column is right-aligned when every row holds a number there, or nothing.
void alignColumns(CExportSection &s)
{
    s.unitText.resize(s.headings.size(), false);
    for (qsizetype c = 0; c < s.headings.size(); ++c) {
        bool right = !s.rows.isEmpty();
        for (const CExportRow &r : s.rows)
            right = right && c < r.cells.size() && (r.isMissing(c) || looksNumeric(r.cells.at(c)));
        s.rightAligned << right;
    }
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
    return Quilo::StatusText(status);
}

int StatusFromSummary(const COperationSummary &summary)
{
    if (summary.tried == 0)
        return 0;
    for (std::size_t slot = 0; slot < summary.failedBy.size(); ++slot) {
        if (summary.failedBy[slot] == 0)
            continue;
        const int code = COperationSummary::kSlotResults[slot];
        return RecordStatus::AfterRead(code);
    }
    return kDone;
}

CExportSection BuildSection(const ReadOut &readOut, const CSetSpec &want)
{
    CExportSection s;
    s.want = want;
    s.title = LoadString(want.titleId);
    if (want.groupId != 0)
        s.title += QStringLiteral(" - ") + LoadString(want.groupId);

    switch (want.dataSet) {
    case dsDaily: listSection<dsDaily>(s, readOut); break;
    case dsMonthly: listSection<dsMonthly>(s, readOut); break;
    case dsQuarterly: listSection<dsQuarterly>(s, readOut); break;
    case dsYearly: listSection<dsYearly>(s, readOut); break;
    case dsDateLog: listSection<dsDateLog>(s, readOut); break;
    case dsKeyLogs: listSection<dsKeyLogs>(s, readOut); break;
    case dsKeyTable: keyTableSection(s, readOut); break;
    case dsCounters:
    case dsDateTime:
    case dsCurrentKey: singleSection(s, readOut); break;
    case dsConfig: configSection(s, readOut); break;
    case dsConfEvents: confEventSection(s, readOut); break;
    default: break;
    }
    alignColumns(s);
    return s;
}

} // namespace Quilo
