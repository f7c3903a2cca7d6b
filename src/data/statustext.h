#pragma once
// A record's status word in words, for lists, exports and messages: "read", "not read",
// "bad checksum", "key refused", "written".

#include <QString>

#include <cstdint>

namespace Quilo {

QString StatusText(std::int32_t status);
// The string the words come from, for names other programs read (untranslated).
unsigned StatusTextId(std::int32_t status);
// The words for a transaction's result code alone.
QString ResultWords(int result);

} // namespace Quilo
