#pragma once
// Packed BCD as the unit keeps its dates and times: YY MM DD hh mm, two decimal digits a byte.

#include <QDateTime>

#include <array>
#include <cstdint>
#include <optional>

namespace QuiloSim {

using BcdDate = std::array<std::uint8_t, 3>;     // YY MM DD
using BcdTime = std::array<std::uint8_t, 2>;     // hh mm
using BcdDateTime = std::array<std::uint8_t, 5>; // YY MM DD hh mm

std::uint8_t toBcd(int value); // 0..99
int fromBcd(std::uint8_t byte);
bool isBcd(std::uint8_t byte);

// The unit counts years 2000..2099 only.
BcdDate bcdDate(QDate date);
BcdTime bcdTime(QTime time);
BcdDateTime bcdDateTime(const QDateTime &dateTime);

// Empty when a byte is not BCD or the date or time does not exist.
std::optional<QDateTime> dateTimeFromBcd(const BcdDateTime &bcd);

} // namespace QuiloSim
