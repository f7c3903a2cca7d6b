#pragma once
// QJsonDocument keeps the last of two equal keys in an object and says nothing; a file that
// names a value twice has been edited or put together by hand, and which of the two it meant
// cannot be known. The files the programs read are refused then, naming the key.

#include <QByteArray>
#include <QString>

namespace Quilo {

// True when a key appears twice in one object of `json`, with the first such key, decoded
// (escapes resolved), in *key. `json` must already have parsed as JSON:
// this follows its structure only so far as to tell keys from values. Linear in its size.
bool FindDuplicateKey(const QByteArray &json, QString *key);

} // namespace Quilo

namespace Quilo {

// A key from a file as an error message may show it: what cannot be printed as its JSON
// escape (a line break or a terminal's control sequence in it is never acted on), and at most
// 64 characters.
QString VisibleKey(const QString &key);

} // namespace Quilo
