#include "statejson.h"

#include "codepage.h"
#include "commandtable.h"
#include "jsonkeys.h"
#include "outputfile.h"
#include "unitgenerator.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace QuiloSim {
namespace {

constexpr auto kDateTimeFormat = "yyyy-MM-dd HH:mm:ss";

template<std::size_t N>
QString hexOf(const std::array<std::uint8_t, N> &bytes)
{
    return hexBytes(QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(N)));
}

QString hexOf(std::uint8_t byte)
{
    return hexOf(std::array<std::uint8_t, 1>{byte});
}

// Reads values out of JSON objects; the first fault is kept, later reads do nothing.
class JsonIn
{
public:
    QString error;

    bool ok() const { return error.isEmpty(); }
    void fail(const QString &where, const QString &what)
    {
        if (ok())
            error = where + QStringLiteral(": ") + what;
    }

    // Unknown keys are most likely typing errors in a crafted file.
    void knownKeys(const QJsonObject &o, std::initializer_list<const char *> keys, const QString &where)
    {
        for (auto it = o.begin(); it != o.end(); ++it) {
            bool known = false;
            for (const char *k : keys)
                known = known || it.key() == QLatin1String(k);
            if (!known)
                fail(where, QCoreApplication::translate("quilo-sim", "unknown entry \"%1\"").arg(it.key()));
        }
    }

    bool integer(const QJsonObject &o, const char *key, double low, double high, double &out, const QString &where)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || !ok())
            return false;
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || d != std::floor(d) || d < low || d > high) {
            fail(where + QLatin1Char('.') + QLatin1String(key),
                 QCoreApplication::translate("quilo-sim", "expected an integer from %1 to %2")
                     .arg(static_cast<qint64>(low))
                     .arg(static_cast<qint64>(high)));
            return false;
        }
        out = d;
        return true;
    }

    // Amounts are 32 bits on the line; negative values are taken as two's complement.
    void amount(const QJsonObject &o, const char *key, std::uint32_t &out, const QString &where)
    {
        double d = 0;
        if (integer(o, key, -2147483648.0, 4294967295.0, d, where))
            out = static_cast<std::uint32_t>(static_cast<std::int64_t>(d));
    }

    void word(const QJsonObject &o, const char *key, std::uint16_t &out, const QString &where)
    {
        double d = 0;
        if (integer(o, key, 0, 65535, d, where))
            out = static_cast<std::uint16_t>(d);
    }

    template<std::size_t N>
    void bytes(const QJsonObject &o, const char *key, std::array<std::uint8_t, N> &out, const QString &where)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || !ok())
            return;
        QString digits = v.toString();
        digits.remove(QLatin1Char(' '));
        const QByteArray raw = QByteArray::fromHex(digits.toLatin1());
        bool hexOnly = v.isString() && digits.size() == static_cast<qsizetype>(2 * N);
        for (QChar c : digits)
            hexOnly = hexOnly && QStringLiteral("0123456789abcdefABCDEF").contains(c);
        if (!hexOnly || raw.size() != static_cast<qsizetype>(N)) {
            fail(where + QLatin1Char('.') + QLatin1String(key),
                 QCoreApplication::translate("quilo-sim", "expected %1 hexadecimal bytes").arg(N));
            return;
        }
        for (std::size_t i = 0; i < N; ++i)
            out[i] = static_cast<std::uint8_t>(raw[static_cast<qsizetype>(i)]);
    }

    void byte(const QJsonObject &o, const char *key, std::uint8_t &out, const QString &where)
    {
        std::array<std::uint8_t, 1> b{out};
        bytes(o, key, b, where);
        out = b[0];
    }

    void text(const QJsonObject &o, const char *key, QString &out, int width, const QString &where)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || !ok())
            return;
        const QString s = v.toString();
        const QByteArray encoded = Quilo::EncodeCp1250(s);
        const QString path = where + QLatin1Char('.') + QLatin1String(key);
        if (!v.isString())
            fail(path, QCoreApplication::translate("quilo-sim", "expected a text"));
        else if (Quilo::DecodeCp1250(reinterpret_cast<const std::uint8_t *>(encoded.constData()),
                                     static_cast<std::size_t>(encoded.size())) != s)
            fail(path, QCoreApplication::translate("quilo-sim", "a character has no place in code page 1250"));
        else if (encoded.size() > width)
            fail(path, QCoreApplication::translate("quilo-sim", "longer than the field's %1 characters").arg(width));
        else if (encoded.contains('\0'))
            fail(path, QCoreApplication::translate("quilo-sim", "contains a NUL character"));
        else
            out = s;
    }

    // Each element of a present array goes through `read`; the size must be the unit's.
    template<typename T, std::size_t N, typename Read>
    void array(const QJsonObject &o, const char *key, std::array<T, N> &out, Read read)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || !ok())
            return;
        const QJsonArray a = v.toArray();
        if (!v.isArray() || a.size() != static_cast<qsizetype>(N)) {
            fail(QLatin1String(key), QCoreApplication::translate("quilo-sim", "expected an array of %1 entries").arg(N));
            return;
        }
        for (std::size_t i = 0; i < N; ++i)
            read(a.at(static_cast<qsizetype>(i)), out[i], QStringLiteral("%1[%2]").arg(QLatin1String(key)).arg(i));
    }

    QJsonObject object(const QJsonValue &v, const QString &where)
    {
        if (!v.isObject())
            fail(where, QCoreApplication::translate("quilo-sim", "expected an object"));
        return v.toObject();
    }
};

// --- each record: to JSON and back ---

QJsonObject toJson(const Config &c)
{
    return {{QStringLiteral("type"), c.type},
            {QStringLiteral("mfgNo"), c.mfgNo},
            {QStringLiteral("mfgDate"), c.mfgDate},
            {QStringLiteral("licenceNo"), c.licenceNo},
            {QStringLiteral("licenceExpiry"), c.licenceExpiry},
            {QStringLiteral("cardMfgNo"), c.cardMfgNo},
            {QStringLiteral("omhId"), c.omhId},
            {QStringLiteral("certCode"), c.certCode},
            {QStringLiteral("certDate"), c.certDate},
            {QStringLiteral("labCode"), c.labCode},
            {QStringLiteral("certificateNo"), c.certificateNo},
            {QStringLiteral("name"), c.name},
            {QStringLiteral("address"), c.address},
            {QStringLiteral("counterStep"), c.counterStep},
            {QStringLiteral("initialIn"), static_cast<qint64>(c.initialIn)},
            {QStringLiteral("initialOut"), static_cast<qint64>(c.initialOut)},
            {QStringLiteral("initialStake"), static_cast<qint64>(c.initialStake)},
            {QStringLiteral("note"), c.note}};
}

void fromJson(JsonIn &in, const QJsonValue &v, Config &c, const QString &w)
{
    const QJsonObject o = in.object(v, w);
    in.knownKeys(o, {"type", "mfgNo", "mfgDate", "licenceNo", "licenceExpiry", "cardMfgNo", "omhId", "certCode",
                     "certDate", "labCode", "certificateNo", "name", "address", "counterStep", "initialIn",
                     "initialOut", "initialStake", "note"}, w);
    const auto &len = Quilo::kChunkLengths;
    in.text(o, "type", c.type, len[0], w);
    in.text(o, "mfgNo", c.mfgNo, len[1], w);
    in.text(o, "mfgDate", c.mfgDate, len[2], w);
    in.text(o, "licenceNo", c.licenceNo, len[3], w);
    in.text(o, "licenceExpiry", c.licenceExpiry, len[4], w);
    in.text(o, "cardMfgNo", c.cardMfgNo, len[5], w);
    in.text(o, "omhId", c.omhId, len[6], w);
    in.text(o, "certCode", c.certCode, len[7], w);
    in.text(o, "certDate", c.certDate, len[8], w);
    in.text(o, "labCode", c.labCode, len[9], w);
    in.text(o, "certificateNo", c.certificateNo, len[10], w);
    in.text(o, "name", c.name, len[11], w);
    in.text(o, "address", c.address, len[12], w);
    in.word(o, "counterStep", c.counterStep, w);
    in.amount(o, "initialIn", c.initialIn, w);
    in.amount(o, "initialOut", c.initialOut, w);
    in.amount(o, "initialStake", c.initialStake, w);
    in.text(o, "note", c.note, len[17], w);
}

QJsonObject toJson(const ConfEvent &e)
{
    return {{QStringLiteral("config"), toJson(e.config)},
            {QStringLiteral("in"), static_cast<qint64>(e.in)},
            {QStringLiteral("out"), static_cast<qint64>(e.out)},
            {QStringLiteral("stake"), static_cast<qint64>(e.stake)},
            {QStringLiteral("win"), static_cast<qint64>(e.win)},
            {QStringLiteral("games"), static_cast<qint64>(e.games)},
            {QStringLiteral("changeTime"), hexOf(e.changeTime)}};
}

void fromJson(JsonIn &in, const QJsonValue &v, ConfEvent &e, const QString &w)
{
    const QJsonObject o = in.object(v, w);
    in.knownKeys(o, {"config", "in", "out", "stake", "win", "games", "changeTime"}, w);
    if (o.contains(QLatin1String("config")))
        fromJson(in, o.value(QLatin1String("config")), e.config, w + QStringLiteral(".config"));
    in.amount(o, "in", e.in, w);
    in.amount(o, "out", e.out, w);
    in.amount(o, "stake", e.stake, w);
    in.amount(o, "win", e.win, w);
    in.amount(o, "games", e.games, w);
    in.bytes(o, "changeTime", e.changeTime, w);
}

QJsonObject toJson(const Counters &c)
{
    return {{QStringLiteral("cashIn"), static_cast<qint64>(c.cashIn)},
            {QStringLiteral("cashOut"), static_cast<qint64>(c.cashOut)},
            {QStringLiteral("stake"), static_cast<qint64>(c.stake)},
            {QStringLiteral("win"), static_cast<qint64>(c.win)},
            {QStringLiteral("winMax"), static_cast<qint64>(c.winMax)},
            {QStringLiteral("winMaxTime"), hexOf(c.winMaxTime)},
            {QStringLiteral("games"), static_cast<qint64>(c.games)}};
}

void fromJson(JsonIn &in, const QJsonValue &v, Counters &c, const QString &w)
{
    const QJsonObject o = in.object(v, w);
    in.knownKeys(o, {"cashIn", "cashOut", "stake", "win", "winMax", "winMaxTime", "games"}, w);
    in.amount(o, "cashIn", c.cashIn, w);
    in.amount(o, "cashOut", c.cashOut, w);
    in.amount(o, "stake", c.stake, w);
    in.amount(o, "win", c.win, w);
    in.amount(o, "winMax", c.winMax, w);
    in.bytes(o, "winMaxTime", c.winMaxTime, w);
    in.amount(o, "games", c.games, w);
}

QJsonObject toJson(const DailyRecord &r)
{
    return {{QStringLiteral("date"), hexOf(r.date)},
            {QStringLiteral("cashIn"), static_cast<qint64>(r.cashIn)},
            {QStringLiteral("cashOut"), static_cast<qint64>(r.cashOut)},
            {QStringLiteral("stake"), static_cast<qint64>(r.stake)},
            {QStringLiteral("win"), static_cast<qint64>(r.win)},
            {QStringLiteral("winMax"), static_cast<qint64>(r.winMax)},
            {QStringLiteral("winMaxTime"), hexOf(r.winMaxTime)}};
}

void fromJson(JsonIn &in, const QJsonValue &v, DailyRecord &r, const QString &w)
{
    const QJsonObject o = in.object(v, w);
    in.knownKeys(o, {"date", "cashIn", "cashOut", "stake", "win", "winMax", "winMaxTime"}, w);
    in.bytes(o, "date", r.date, w);
    in.amount(o, "cashIn", r.cashIn, w);
    in.amount(o, "cashOut", r.cashOut, w);
    in.amount(o, "stake", r.stake, w);
    in.amount(o, "win", r.win, w);
    in.amount(o, "winMax", r.winMax, w);
    in.bytes(o, "winMaxTime", r.winMaxTime, w);
}

QJsonObject toJson(const PeriodRecord &r)
{
    return {{QStringLiteral("year"), hexOf(r.year)},
            {QStringLiteral("period"), hexOf(r.period)},
            {QStringLiteral("cashIn"), static_cast<qint64>(r.cashIn)},
            {QStringLiteral("cashOut"), static_cast<qint64>(r.cashOut)},
            {QStringLiteral("stake"), static_cast<qint64>(r.stake)},
            {QStringLiteral("win"), static_cast<qint64>(r.win)}};
}

void fromJson(JsonIn &in, const QJsonValue &v, PeriodRecord &r, const QString &w)
{
    const QJsonObject o = in.object(v, w);
    in.knownKeys(o, {"year", "period", "cashIn", "cashOut", "stake", "win"}, w);
    in.byte(o, "year", r.year, w);
    in.byte(o, "period", r.period, w);
    in.amount(o, "cashIn", r.cashIn, w);
    in.amount(o, "cashOut", r.cashOut, w);
    in.amount(o, "stake", r.stake, w);
    in.amount(o, "win", r.win, w);
}

QJsonObject toJson(const YearlyRecord &r)
{
    return {{QStringLiteral("year"), hexOf(r.year)},
            {QStringLiteral("cashIn"), static_cast<qint64>(r.cashIn)},
            {QStringLiteral("cashOut"), static_cast<qint64>(r.cashOut)},
            {QStringLiteral("stake"), static_cast<qint64>(r.stake)},
            {QStringLiteral("win"), static_cast<qint64>(r.win)}};
}

void fromJson(JsonIn &in, const QJsonValue &v, YearlyRecord &r, const QString &w)
{
    const QJsonObject o = in.object(v, w);
    in.knownKeys(o, {"year", "cashIn", "cashOut", "stake", "win"}, w);
    in.byte(o, "year", r.year, w);
    in.amount(o, "cashIn", r.cashIn, w);
    in.amount(o, "cashOut", r.cashOut, w);
    in.amount(o, "stake", r.stake, w);
    in.amount(o, "win", r.win, w);
}

QJsonObject toJson(const DateLogRecord &r)
{
    return {{QStringLiteral("old"), hexOf(r.oldDate)}, {QStringLiteral("new"), hexOf(r.newDate)}};
}

void fromJson(JsonIn &in, const QJsonValue &v, DateLogRecord &r, const QString &w)
{
    const QJsonObject o = in.object(v, w);
    in.knownKeys(o, {"old", "new"}, w);
    in.bytes(o, "old", r.oldDate, w);
    in.bytes(o, "new", r.newDate, w);
}

QJsonObject toJson(const KeyLogRecord &r)
{
    return {{QStringLiteral("key"), hexOf(r.key)},
            {QStringLiteral("start"), hexOf(r.start)},
            {QStringLiteral("end"), hexOf(r.end)}};
}

void fromJson(JsonIn &in, const QJsonValue &v, KeyLogRecord &r, const QString &w)
{
    const QJsonObject o = in.object(v, w);
    in.knownKeys(o, {"key", "start", "end"}, w);
    in.bytes(o, "key", r.key, w);
    in.bytes(o, "start", r.start, w);
    in.bytes(o, "end", r.end, w);
}

template<typename T, std::size_t N>
QJsonArray toJsonArray(const std::array<T, N> &records)
{
    QJsonArray a;
    for (const T &r : records)
        a.append(toJson(r));
    return a;
}

} // namespace

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QJsonObject stateToJson(const UnitState &state)
{
    QJsonArray keys;
    for (const Key &k : state.keyTable)
        keys.append(hexOf(k));
    return {{QStringLiteral("seed"), static_cast<qint64>(state.seed)},
            {QStringLiteral("clock"), state.clock.now().toString(QLatin1String(kDateTimeFormat))},
            {QStringLiteral("userKey"), state.userKey ? QJsonValue(hexOf(*state.userKey)) : QJsonValue()},
            {QStringLiteral("currentKey"), hexOf(state.currentKey)},
            {QStringLiteral("keyTable"), keys},
            {QStringLiteral("counters"), toJson(state.counters)},
            {QStringLiteral("config"), toJson(state.config)},
            {QStringLiteral("confEvents"), toJsonArray(state.confEvents)},
            {QStringLiteral("daily"), toJsonArray(state.daily)},
            {QStringLiteral("monthly"), toJsonArray(state.monthly)},
            {QStringLiteral("quarterly"), toJsonArray(state.quarterly)},
            {QStringLiteral("yearly"), toJsonArray(state.yearly)},
            {QStringLiteral("dateLog"), toJsonArray(state.dateLog)},
            {QStringLiteral("keyLogs"), toJsonArray(state.keyLogs)}};
}

bool stateFromJson(const QJsonObject &json, UnitState &state, QString *error)
{
    JsonIn in;
    const QString top = QStringLiteral("state");
    in.knownKeys(json, {"seed", "clock", "userKey", "currentKey", "keyTable", "counters", "config", "confEvents",
                        "daily", "monthly", "quarterly", "yearly", "dateLog", "keyLogs"}, top);
    double seed = 1;
    in.integer(json, "seed", 0, 4294967295.0, seed, top);
    UnitState s = generateState(static_cast<std::uint32_t>(seed));

    if (json.contains(QLatin1String("clock"))) {
        const QDateTime clock = QDateTime::fromString(json.value(QLatin1String("clock")).toString(),
                                                      QLatin1String(kDateTimeFormat));
        if (!clock.isValid() || clock.date().year() < 2000 || clock.date().year() > 2099)
            in.fail(QStringLiteral("clock"),
                    QCoreApplication::translate("quilo-sim", "expected \"YYYY-MM-DD hh:mm:ss\" in 2000..2099"));
        else
            s.clock.set(QDateTime(clock.date(), clock.time(), Qt::UTC));
    }
    const QJsonValue userKey = json.value(QLatin1String("userKey"));
    if (!userKey.isUndefined() && !userKey.isNull()) {
        Key k{};
        in.bytes(json, "userKey", k, top);
        s.userKey = k;
    }
    in.bytes(json, "currentKey", s.currentKey, top);
    in.array(json, "keyTable", s.keyTable, [&in](const QJsonValue &v, Key &k, const QString &w) {
        in.bytes(QJsonObject{{QStringLiteral("key"), v}}, "key", k, w);
    });
    if (json.contains(QLatin1String("counters")))
        fromJson(in, json.value(QLatin1String("counters")), s.counters, QStringLiteral("counters"));
    if (json.contains(QLatin1String("config")))
        fromJson(in, json.value(QLatin1String("config")), s.config, QStringLiteral("config"));
    auto each = [&in](const QJsonValue &v, auto &record, const QString &w) { fromJson(in, v, record, w); };
    in.array(json, "confEvents", s.confEvents, each);
    in.array(json, "daily", s.daily, each);
    in.array(json, "monthly", s.monthly, each);
    in.array(json, "quarterly", s.quarterly, each);
    in.array(json, "yearly", s.yearly, each);
    in.array(json, "dateLog", s.dateLog, each);
    in.array(json, "keyLogs", s.keyLogs, each);

    if (!in.ok()) {
        if (error)
            *error = in.error;
        return false;
    }
    state = s;
    return true;
}

bool saveStateFile(const UnitState &state, const QString &path, QString *error)
{
    // A device or a FIFO (--save-state /dev/null, -) is written in place; a regular file is
    // replaced whole or not at all.
    Quilo::COutputFile file(path);
    if (!file.Open() || !file.Write(QJsonDocument(stateToJson(state)).toJson()) || !file.Commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool loadStateFile(const QString &path, UnitState &state, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    // The parser stops at a NUL byte and takes what came before it: anything after the object
    // would be silently ignored, and a file that is not what it seems is refused instead.
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) {
        if (error)
            *error = QCoreApplication::translate("quilo-sim", "offset %1: a NUL byte; nothing may follow the JSON object")
                         .arg(nul);
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (!doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError
                         ? QCoreApplication::translate("quilo-sim", "offset %1: %2")
                               .arg(parseError.offset)
                               .arg(parseError.errorString())
                         : QCoreApplication::translate("quilo-sim", "expected a JSON object");
        return false;
    }
    // the parser keeps the last of the two without a word: which one was meant is unknown
    if (QString key; Quilo::FindDuplicateKey(bytes, &key)) {
        if (error)
            *error = QCoreApplication::translate("quilo-sim", "the key \"%1\" appears twice in one object")
                         .arg(Quilo::VisibleKey(key));
        return false;
    }
    return stateFromJson(doc.object(), state, error);
}

} // namespace QuiloSim
