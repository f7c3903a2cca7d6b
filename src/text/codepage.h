#pragma once
// The unit's texts are 8-bit, in the Central European Windows code page (1250): the unit is
// sold where Hungarian, Czech, Slovak and Polish are written, and its accented letters (ő, ű,
// č, ł ...) exist only there among the common 8-bit pages. Every byte decodes: the five byte
// values that code page leaves unassigned show as U+FFFD.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace Quilo {

QChar DecodeCp1250(std::uint8_t byte);
QString DecodeCp1250(const std::uint8_t *bytes, std::size_t length);
// Characters without a place in the code page become '?'.
QByteArray EncodeCp1250(const QString &text);

} // namespace Quilo
