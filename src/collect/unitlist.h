#pragma once
// The units a collection reads: one a line, a name and a port, optionally key mode with the
// user key in a file of its own that only its owner may read (the list itself may be read by
// anyone who runs the collection; the key never stands in it).
//
//     # venue Budapest 3
//     bar-1      /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
//     bar-2      tcp://10.1.3.20:4001   key=/etc/quilo/keys/bar-2.key
//
// The parser takes the file's bytes and nothing else, so that it can be fuzzed; reading the
// file and the key files is LoadUnitList's.

#include "result.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace QuiloCollect {

struct CollectUnit
{
    QString name;    // as the list gives it: in messages and the summary
    QString port;    // any port name the line layer takes
    QString keyFile; // key mode when not empty
    QString userKey; // read from keyFile by LoadUnitList; never shown or logged
    int line = 0;    // in the list, for messages (0: from the command line)
};

inline constexpr int kMaxUnits = 10000;
inline constexpr int kMaxLineLength = 4096;

// `fileName` only names the file in messages. Names and ports must be unique: two units on
// one port would only find each other's line busy.
Quilo::Result<QList<CollectUnit>> ParseUnitList(const QByteArray &text, const QString &fileName);

// The user key in `path`: refused when the file is readable by its group or others, or holds
// no key. Checked before anything is read from it.
Quilo::Result<QString> ReadKeyFile(const QString &path);

// Reads, parses and fetches every key; key files named relative to the list's folder.
// *unreadable: the list itself could not be read (as opposed to a malformed one).
Quilo::Result<QList<CollectUnit>> LoadUnitList(const QString &path, bool *unreadable);

// The list used without --units: the user's own (beside the program's settings) when it
// exists, else the system's /etc/quilo/units.conf, which the service uses.
QString DefaultUnitsFile();
QString UserUnitsFile();
inline constexpr char kSystemUnitsFile[] = "/etc/quilo/units.conf";

} // namespace QuiloCollect
