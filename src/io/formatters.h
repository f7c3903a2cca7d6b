#pragma once
// The three output forms of `quilo read`: an aligned table as the window shows it, CSV and
// JSON. All produce UTF-8.

#include "exporttable.h"

#include <QByteArray>
#include <QList>
#include <QLocale>

namespace Quilo {

struct CExportInfo
{
    QString port;          // the port as chosen, or the simulated unit
    bool stopped = false;  // Ctrl-C ended the read early
};

QByteArray FormatTable(const QList<CExportSection> &sections);
QByteArray FormatCsv(const QList<CExportSection> &sections, QChar separator);
QByteArray FormatJson(const QList<CExportSection> &sections, const CExportInfo &info);

// The JSON of the sets `wanted` from a read-out, in the program's own English whatever the
// language shown: its names, titles and results are what scripts read.
QByteArray ExportJson(const ReadOut &readOut, const QList<CSetSpec> &wanted, const CExportInfo &info);

// ';' where the decimal separator is ',' (a comma would split every decimal), else ','.
QChar LocaleSeparator(const QLocale &locale);

// Text of the unit's own as a terminal shows it: controls as escapes, never acted on.
QString InertText(const QString &text);
// One CSV line, cells quoted where needed. The cells marked in `unitText` (texts of the unit's
// own) are kept from reading as spreadsheet formulas; the others (numbers, amounts, durations,
// headings) go as they are, minus signs and all.
QString CsvLine(const QStringList &fields, QChar separator, const QList<bool> &unitText = {});

// The configuration events come back one section per event; for output they are one list.
QList<CExportSection> MergeEvents(const QList<CExportSection> &sections);
// The sections of every set wanted, merged as above.
QList<CExportSection> BuildSections(const ReadOut &readOut, const QList<CSetSpec> &wanted);

} // namespace Quilo
