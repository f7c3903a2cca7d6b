#include "unitgenerator.h"

#include <QStringList>

#include <algorithm>
#include <random>
#include <vector>

namespace QuiloSim {
namespace {

// std::mt19937 is the same everywhere; the distributions of <random> are not, so no use of them.
class Dice
{
public:
    explicit Dice(std::uint32_t seed) : m_engine(seed) {}
    std::uint32_t below(std::uint32_t n) { return n ? m_engine() % n : 0; }
    int between(int low, int high) { return low + static_cast<int>(below(static_cast<std::uint32_t>(high - low + 1))); }
    template<typename T> const T &pick(const std::vector<T> &items) { return items[below(static_cast<std::uint32_t>(items.size()))]; }

private:
    std::mt19937 m_engine;
};

struct Day {
    QDate date;
    std::uint32_t cashIn = 0, cashOut = 0, stake = 0, win = 0, winMax = 0, games = 0;
    BcdTime winMaxTime{};
};

struct Totals {
    std::uint32_t cashIn = 0, cashOut = 0, stake = 0, win = 0, games = 0;
    void add(const Day &d)
    {
        cashIn += d.cashIn;
        cashOut += d.cashOut;
        stake += d.stake;
        win += d.win;
        games += d.games;
    }
};

std::uint32_t roundDown(std::uint32_t value, std::uint32_t step)
{
    return value / step * step;
}

// Money kept in the machine at the end of a day is zero: cash in - cash out = stake - win.
Day playDay(Dice &dice, QDate date, std::uint32_t step)
{
    Day d;
    d.date = date;
    if (dice.below(12) == 0)
        return d; // closed
    d.games = static_cast<std::uint32_t>(dice.between(60, 420));
    d.stake = step * d.games * static_cast<std::uint32_t>(dice.between(2, 5));
    d.win = roundDown(d.stake / 100 * static_cast<std::uint32_t>(dice.between(78, 96)), step);
    d.winMax = std::min(d.win, step * static_cast<std::uint32_t>(dice.between(20, 400)));
    d.winMaxTime = bcdTime(QTime(dice.between(10, 23), dice.between(0, 59)));
    d.cashOut = roundDown(d.win / 100 * static_cast<std::uint32_t>(dice.between(30, 80)), step);
    d.cashIn = d.stake - d.win + d.cashOut;
    return d;
}

Config makeConfig(Dice &dice, int installYear)
{
    static const std::vector<QString> names{
        QStringLiteral(u"Árvíztűrő Játékterem Kft."), QStringLiteral(u"Szerencsecsillag Bt."),
        QStringLiteral(u"Zlatá Koruna s.r.o."), QStringLiteral(u"Złota Podkowa Sp. z o.o."),
        QStringLiteral(u"Tündérkert Szórakoztató Kft.")};
    static const std::vector<QString> addresses{
        QStringLiteral(u"1051 Budapest, Nádor utca 12."), QStringLiteral(u"6720 Szeged, Kárász u. 5."),
        QStringLiteral(u"602 00 Brno, Třída Kpt. Jaroše 7"), QStringLiteral(u"90-001 Łódź, ul. Łąkowa 5"),
        QStringLiteral(u"9021 Győr, Baross Gábor út 31.")};
    Config c;
    c.type = QStringLiteral("QUILO-3M");
    c.mfgNo = QStringLiteral("Q3M-%1").arg(dice.between(1, 99999), 5, 10, QLatin1Char('0'));
    c.mfgDate = QStringLiteral("%1.11.%2").arg(installYear - 1).arg(dice.between(10, 28));
    c.licenceNo = QStringLiteral("ENG-%1/%2").arg(dice.between(100, 9999)).arg(installYear - 1);
    c.licenceExpiry = QStringLiteral("%1.12.31").arg(installYear + 10);
    c.cardMfgNo = QStringLiteral("PK-%1").arg(dice.between(1, 999999), 6, 10, QLatin1Char('0'));
    c.omhId = QStringLiteral("OMH%1").arg(dice.between(1, 99999), 5, 10, QLatin1Char('0'));
    c.certCode = QStringLiteral("B%1").arg(dice.between(1, 9));
    c.certDate = QStringLiteral("%1.12.%2").arg(installYear - 1).arg(dice.between(10, 20));
    c.labCode = QStringLiteral("K%1").arg(dice.between(1, 9));
    c.certificateNo = QStringLiteral("TAN-%1/%2").arg(dice.between(1000, 9999)).arg(installYear % 100);
    c.name = dice.pick(names);
    c.address = dice.pick(addresses);
    c.counterStep = static_cast<std::uint16_t>(dice.pick(std::vector<int>{10, 20, 50}));
    c.initialIn = c.counterStep * static_cast<std::uint32_t>(dice.between(0, 5000));
    c.initialOut = c.counterStep * static_cast<std::uint32_t>(dice.between(0, 3000));
    c.initialStake = c.counterStep * static_cast<std::uint32_t>(dice.between(0, 8000));
    c.note = QStringLiteral(u"Üzembe helyezve – ügyfélszolgálat: Ő. Kovács");
    return c;
}

template<typename Record>
void setTotals(Record &r, const Totals &t)
{
    r.cashIn = t.cashIn;
    r.cashOut = t.cashOut;
    r.stake = t.stake;
    r.win = t.win;
}

// The totals of the days that `belongs` picks.
template <typename Belongs>
Totals sumDays(const std::vector<Day> &days, Belongs belongs)
{
    Totals t;
    for (const Day &d : days)
        if (belongs(d.date))
            t.add(d);
    return t;
}

// The daily, monthly, quarterly and yearly records and the counters, from the days played.
void fillTotals(UnitState &s, const std::vector<Day> &days, QDate today)
{
    for (std::size_t i = 0; i < s.daily.size(); ++i) {
        const Day &d = days[days.size() - 1 - i];
        s.daily[i] = {bcdDate(d.date), d.cashIn, d.cashOut, d.stake, d.win, d.winMax, d.winMaxTime};
    }
    for (std::size_t i = 0; i < s.monthly.size(); ++i) {
        const QDate month = QDate(today.year(), today.month(), 1).addMonths(-static_cast<int>(i));
        PeriodRecord &r = s.monthly[i];
        r.year = toBcd(month.year() % 100);
        r.period = toBcd(month.month());
        setTotals(r, sumDays(days, [month](QDate d) { return d.year() == month.year() && d.month() == month.month(); }));
    }
    for (std::size_t i = 0; i < s.quarterly.size(); ++i) {
        const QDate first = QDate(today.year(), (today.month() - 1) / 3 * 3 + 1, 1).addMonths(-3 * static_cast<int>(i));
        PeriodRecord &r = s.quarterly[i];
        r.year = toBcd(first.year() % 100);
        r.period = toBcd((first.month() - 1) / 3 + 1);
        setTotals(r, sumDays(days, [first](QDate d) { return d >= first && d < first.addMonths(3); }));
    }
    for (std::size_t i = 0; i < s.yearly.size(); ++i) {
        const int year = today.year() - static_cast<int>(i);
        s.yearly[i].year = toBcd(year % 100);
        setTotals(s.yearly[i], sumDays(days, [year](QDate d) { return d.year() == year; }));
    }

    // Counters: the installation's initial values plus every day played.
    Totals all = sumDays(days, [](QDate) { return true; });
    const auto best = std::max_element(days.begin(), days.end(),
                                       [](const Day &a, const Day &b) { return a.winMax < b.winMax; });
    s.counters = {s.config.initialIn + all.cashIn, s.config.initialOut + all.cashOut,
                  s.config.initialStake + all.stake, all.win, best->winMax, best->winMaxTime, all.games};
}

// Configuration events, newest first; the newest set the configuration in use now and the
// oldest is the installation.
void fillConfEvents(Dice &dice, UnitState &s, const std::vector<Day> &days)
{
    std::vector<std::size_t> changeDays{0};
    while (changeDays.size() < s.confEvents.size()) {
        const std::size_t d = 1 + dice.below(static_cast<std::uint32_t>(days.size() - 1));
        if (std::find(changeDays.begin(), changeDays.end(), d) == changeDays.end())
            changeDays.push_back(d);
    }
    std::sort(changeDays.rbegin(), changeDays.rend());
    static const std::vector<QString> notes{
        QStringLiteral(u"Tanúsítvány megújítása"), QStringLiteral(u"Cím módosítása"),
        QStringLiteral(u"Új programkártya"), QStringLiteral(u"Hatósági ellenőrzés után"),
        QStringLiteral(u"Změna provozovatele"), QStringLiteral(u"Przegląd techniczny")};
    for (std::size_t i = 0; i < s.confEvents.size(); ++i) {
        ConfEvent &e = s.confEvents[i];
        const std::size_t day = changeDays[i];
        Totals before;
        for (std::size_t k = 0; k < day; ++k)
            before.add(days[k]);
        e.config = s.config;
        if (i > 0) {
            e.config.note = dice.pick(notes);
            e.config.certificateNo = QStringLiteral("TAN-%1/%2").arg(dice.between(1000, 9999)).arg(days[day].date.year() % 100);
        }
        e.in = s.config.initialIn + before.cashIn;
        e.out = s.config.initialOut + before.cashOut;
        e.stake = s.config.initialStake + before.stake;
        e.win = before.win;
        e.games = before.games;
        e.changeTime = bcdDateTime(QDateTime(days[day].date, QTime(dice.between(7, 9), dice.between(0, 59)), Qt::UTC));
    }
    s.confEvents.back().config.note = QStringLiteral(u"Első üzembe helyezés");
}

// The clock's corrections and the keys' usage, before `now`.
void fillLogs(Dice &dice, UnitState &s, const QDateTime &now)
{
    // Clock corrections, newest first, a few days apart.
    QDateTime when = now.addDays(-dice.between(1, 10));
    for (DateLogRecord &r : s.dateLog) {
        const int shift = dice.below(4) == 0 ? (dice.below(2) ? 60 : -60) : dice.between(-9, 9);
        const QDateTime old = when.addSecs(-60 * shift);
        r = {bcdDateTime(old), bcdDateTime(when)};
        when = when.addDays(-dice.between(3, 30)).addSecs(60 * dice.between(-120, 120));
    }

    // Key usage: OMH keys (table 128..191) in records 0..19, SZF keys (64..127) in 20..39.
    for (std::size_t group = 0; group < 2; ++group) {
        QDateTime start = now.addDays(-dice.between(0, 5));
        for (std::size_t i = 0; i < 20; ++i) {
            start = QDateTime(start.date().addDays(-dice.between(2, 40)), QTime(dice.between(8, 16), dice.between(0, 59)), Qt::UTC);
            const std::size_t keyIndex = (group == 0 ? 128 : 64) + dice.below(64);
            s.keyLogs[group * 20 + i] = {s.keyTable[keyIndex], bcdDateTime(start),
                                         bcdDateTime(start.addSecs(60 * dice.between(5, 240)))};
        }
    }
}

} // namespace

UnitState generateState(std::uint32_t seed)
{
    // The order of the draws is the unit's identity: a seed gives the same unit every time.
    Dice dice(seed);
    UnitState s;
    s.seed = seed;
    const QDate today = QDate(2023, 1, 1).addDays(dice.between(0, 730));
    const QDateTime now(today, QTime(dice.between(9, 20), dice.between(0, 59)), Qt::UTC);
    s.clock.set(now);
    const QDate installed(today.year() - 5, 1, 1);
    s.config = makeConfig(dice, installed.year());
    const std::uint32_t step = s.config.counterStep;

    std::vector<Day> days; // oldest first
    for (QDate d = installed; d <= today; d = d.addDays(1))
        days.push_back(playDay(dice, d, step));
    fillTotals(s, days, today);

    for (Key &k : s.keyTable)
        for (std::uint8_t &b : k)
            b = static_cast<std::uint8_t>(dice.below(256));
    s.currentKey = s.keyTable[dice.below(32)];

    fillConfEvents(dice, s, days);
    fillLogs(dice, s, now);
    return s;
}

} // namespace QuiloSim
