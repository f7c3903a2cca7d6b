#pragma once
// The unit's clock: five packed-BCD bytes YY MM DD hh mm. It is a plain date and time with no
// time zone and no daylight saving, so it is compared, subtracted and shown as such: the
// values here carry Qt::UTC only so that no zone rule ever shifts or rejects them (02:30 on a
// spring-forward day is a real reading of the unit). Never convert them with toLocalTime().

#include <QDateTime>

#include <array>
#include <cstdint>

class CDateTimeField;

namespace Quilo {

using ClockBytes = std::array<std::uint8_t, 5>;

// The bytes as a date and time, or an invalid QDateTime when they are no real date: a nibble
// above 9, month 0 or above 12, a day the month does not have, hour above 23, minute above 59.
QDateTime UnitClockToDateTime(const ClockBytes &bcd);

// The bytes for a date in 2000..2099 and a time of day (seconds dropped); false, and `bcd`
// untouched, for anything the unit cannot hold.
bool DateTimeToUnitClock(QDate date, QTime time, ClockBytes &bcd);
bool DateTimeToUnitClock(const QDateTime &value, ClockBytes &bcd);

// A date and time as the unit's clock would hold it (Qt::UTC standing for "no zone").
QDateTime PlainDateTime(QDate date, QTime time);

// The PC's wall clock as it reads now, plain, to compare with the unit's; seconds kept.
QDateTime PlainLocalNow();

// The bytes of a clock field as the unit sent them.
ClockBytes ClockBytesOf(const CDateTimeField &field);

} // namespace Quilo
