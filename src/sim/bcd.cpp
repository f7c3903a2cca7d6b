#include "bcd.h"

namespace QuiloSim {

std::uint8_t toBcd(int value)
{
    return static_cast<std::uint8_t>((value / 10 % 10) * 16 + value % 10);
}

int fromBcd(std::uint8_t byte)
{
    return (byte >> 4) * 10 + (byte & 0x0F);
}

bool isBcd(std::uint8_t byte)
{
    return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}

BcdDate bcdDate(QDate date)
{
    return {toBcd(date.year() % 100), toBcd(date.month()), toBcd(date.day())};
}

BcdTime bcdTime(QTime time)
{
    return {toBcd(time.hour()), toBcd(time.minute())};
}

BcdDateTime bcdDateTime(const QDateTime &dateTime)
{
    const BcdDate d = bcdDate(dateTime.date());
    const BcdTime t = bcdTime(dateTime.time());
    return {d[0], d[1], d[2], t[0], t[1]};
}

std::optional<QDateTime> dateTimeFromBcd(const BcdDateTime &bcd)
{
    for (std::uint8_t b : bcd)
        if (!isBcd(b))
            return std::nullopt;
    const QDate date(2000 + fromBcd(bcd[0]), fromBcd(bcd[1]), fromBcd(bcd[2]));
    const QTime time(fromBcd(bcd[3]), fromBcd(bcd[4]));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

} // namespace QuiloSim
