#pragma once
// What one data set read out looks like for export: headings, rows of display texts, and per
// row the status word, the result in words and the reply bytes. Built from the document, after
// a read or from a file; the formatters (formatters.h) only lay it out. Both front ends use it.

#include "datasets.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct COperationSummary;

namespace Quilo {

class ReadOut;

struct CExportRow
{
    int number = 0;       // row number as the window shows it, from 1
    int index = 0;        // the record's index in its data set
    int status = 0;       // status word (for the one-record sets: made up from the read's result)
    bool ok = false;      // read and decoded
    QString result;       // the result in words
    QStringList cells;    // display texts, one per heading
    // Cells the unit gave no value for (a failed record or chunk): empty in tables and CSV,
    // null in JSON, never a made-up zero that a spreadsheet would add up.
    QList<bool> missing;
    QByteArray raw;       // the reply's data bytes as read (empty when not read)

    bool isMissing(qsizetype column) const { return column < missing.size() && missing.at(column); }
    void blank(qsizetype column);
    void blankAll();
};

struct CExportSection
{
    CSetSpec want;
    QString title;                // "Daily log", with the group or event where there is one
    QStringList headings;         // without the row number column
    QList<bool> rightAligned;     // per heading
    QList<bool> unitText;         // per heading: free text the unit keeps (name, address ...)
    bool form = false;            // one record with labelled fields rather than a list
    QList<CExportRow> rows;
    // The read in numbers (summed when event sections are merged): records or chunks tried, of
    // those the ones that got no byte back, and late replies dropped as stale.
    int tried = 0;
    int noReply = 0;
    int discarded = 0;

    int failedCount() const;
    // Not a single byte came back for anything tried.
    bool silent() const { return tried > 0 && noReply == tried; }
};

// The status word's meaning in words: "read", "bad checksum", "key refused", "not read"...
QString ResultText(int status);

// The result of the last one-record read as a status word: 0x8000 plus the code, 256 for a
// refused key, 0 when nothing was tried.
int StatusFromSummary(const COperationSummary &summary);

// The rows of one set (with its group or event) from the read-out alone: status words,
// reply bytes, what each chunk got. A read-out opened from a file exports exactly as it did
// live. The counts tried/noReply/discarded are the caller's to fill from its read, if any.
CExportSection BuildSection(const ReadOut &readOut, const CSetSpec &want);

} // namespace Quilo
