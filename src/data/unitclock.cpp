#include "unitclock.h"

#include "fields.h"

namespace Quilo {

namespace {

// The value of a packed-BCD byte, or -1 when a nibble is not a decimal digit.
int bcdValue(std::uint8_t byte)
{
    if ((byte >> 4) > 9 || (byte & 0x0F) > 9)
        return -1;
    return BcdToBin(byte);
}

} // namespace

QDateTime PlainDateTime(QDate date, QTime time)
{
    return QDateTime(date, time, Qt::UTC);
}

QDateTime UnitClockToDateTime(const ClockBytes &bcd)
{
    const int year = bcdValue(bcd[0]);
    const int month = bcdValue(bcd[1]);
    const int day = bcdValue(bcd[2]);
    const int hour = bcdValue(bcd[3]);
    const int minute = bcdValue(bcd[4]);
    if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return QDateTime();
    const QDate date(2000 + year, month, day); // invalid for a day the month does not have
    if (!date.isValid())
        return QDateTime();
    return PlainDateTime(date, QTime(hour, minute));
}

bool DateTimeToUnitClock(QDate date, QTime time, ClockBytes &bcd)
{
    if (!date.isValid() || !time.isValid() || date.year() < 2000 || date.year() > 2099)
        return false;
    bcd = {BinToBcd(date.year() - 2000), BinToBcd(date.month()), BinToBcd(date.day()), BinToBcd(time.hour()),
           BinToBcd(time.minute())};
    return true;
}

bool DateTimeToUnitClock(const QDateTime &value, ClockBytes &bcd)
{
    return DateTimeToUnitClock(value.date(), value.time(), bcd);
}

QDateTime PlainLocalNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return PlainDateTime(now.date(), now.time());
}

ClockBytes ClockBytesOf(const CDateTimeField &field)
{
    return {field.m_date.m_year.m_nValue, field.m_date.m_month.m_nValue, field.m_date.m_day.m_nValue,
            field.m_time.m_first.m_nValue, field.m_time.m_second.m_nValue};
}

} // namespace Quilo
