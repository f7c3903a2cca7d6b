#pragma once
// The .quilo read-out file: UTF-8 JSON that records a visit to the unit. It holds every record
// that was read (or tried) with its status word and its reply bytes exactly as received, when
// each was read, the port, the unit's identity and clock as read, and the program's version,
// under a format name and version number. The decoded texts it also holds are for people and
// other programs: opening a file decodes the bytes with the same code as a live read. The user
// key is never written.

#include "engine.h"
#include "readout.h"
#include "result.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class CTarvelDoc;

namespace Quilo {

inline constexpr char kFileFormat[] = "quilo-readout";
inline constexpr int kFileVersion = 1;
inline constexpr char kFileSuffix[] = ".quilo";
// Far beyond any read-out (a whole unit is about 150 KiB): a bigger file is refused unread.
inline constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

// What a file says besides its records.
struct ReadOutInfo {
    QString port;
    QDateTime savedAt;       // UTC
    QString program;         // "Quilo ReadOut 0.8"
    QString unitType;        // from the configuration, when it was read
    QString unitNumber;      // manufacturing number
    // The sets a command-line read asked for ("daily", "key-table LAB", "conf-event 3"), so
    // that showing the file lists what the read listed; empty from the window.
    QStringList request;
    bool stopped = false;    // the read was stopped before its end
};

// A file as read: what it says, and its records as they were saved.
struct ReadOutFile {
    ReadOutInfo info;
    QList<RecordOutcome> records;
};

// A read-out's records as file bytes; `info` gives the port, the time and what a read asked
// for (the program and the unit's identity are filled in here).
QByteArray SaveReadOut(const ReadOut &readOut, const ReadOutInfo &info);

// The file's bytes checked throughout (the document is not involved, so nothing is half taken).
Result<ReadOutFile> ParseReadOut(const QByteArray &bytes);

// Replaces the document's records with the file's.
void ShowReadOut(const ReadOutFile &readOut, CTarvelDoc &doc);

// The unit's identity as a read-out holds it: type and manufacturing number, when the
// configuration was read.
ReadOutInfo IdentityOf(const ReadOut &readOut);

// Reads a file of at most kMaxFileBytes from a regular file (not a FIFO or a device).
Result<QByteArray> ReadFileBytes(const QString &path);
// Writes all or nothing: the old file stays whole when the write fails. A device or a FIFO is
// written in place, never replaced by a regular file.
Done WriteFileAtomically(const QString &path, const QByteArray &bytes);

} // namespace Quilo
