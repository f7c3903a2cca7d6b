#include "quilofile.h"

#include "datasettable.h"
#include "fields.h"
#include "jsonkeys.h"
#include "outputfile.h"
#include "records.h"
#include "statustext.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "unitclock.h"
#include "version.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>
#include <utility>

namespace Quilo {

namespace {

using Values = QList<std::pair<QString, QString>>;

// Value names are the table's own English headings: other programs read them, whatever the
// language the program shows.
QString nameOf(unsigned heading)
{
    QString text = LoadSourceString(heading).trimmed();
    while (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

void configValues(const CConfigRecord &c, Values &values)
{
    const auto fields = CConfigRecord::FieldsOf(c);
    const std::span<const ConfigFieldInfo> labels = ConfigFields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        values << std::pair{nameOf(labels[i].label), fields[i]->GetText()};
}

// The decoded texts of a record that holds the unit's value, for people reading the file.
Values valuesOf(const ReadOut &readOut, const DataSetInfo &set, unsigned index)
{
    Values values;
    if (!readOut.HoldsUnitValue(set.id, index))
        return values;
    const std::unique_ptr<CDataField> decoded = readOut.Record(set.id, index);
    const CDataField &record = *decoded;
    switch (set.id) {
    case dsKeyTable:
    case dsCurrentKey: values << std::pair{nameOf(Str::ColKey), record.GetText()}; break;
    case dsDateTime: values << std::pair{nameOf(Str::TitleDateTime), record.GetText()}; break;
    case dsConfig: configValues(readOut.Decoded<dsConfig>(0), values); break;
    case dsConfEvents: {
        const CConfEventRecord e = readOut.Decoded<dsConfEvents>(index);
        configValues(e.m_config, values);
        const auto extra = CConfEventRecord::FieldsOf(e);
        const std::span<const unsigned> labels = EventExtraLabels();
        for (std::size_t i = 0; i < labels.size(); ++i)
            values << std::pair{nameOf(labels[i]), extra[i + 1]->GetText()};
        break;
    }
    default:
        for (std::size_t c = 0; c < set.columns.size(); ++c)
            values << std::pair{nameOf(set.columns[c]), record.GetColumnText(static_cast<int>(c))};
        break;
    }
    return values;
}

QString isoUtc(const QDateTime &t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODateWithMs) : QString();
}

// The status words a record can carry; a written status only in the key table.
bool validStatus(std::int32_t status, const DataSetInfo &set)
{
    const int result = RecordStatus::ResultOf(status);
    const bool transaction = result == ResultOk || result == ResultNotSent || result == ResultTwoBytes
                             || result == ResultWrongLength || result == ResultBadChecksum || result == ResultRefused;
    if (status == 0 || status == RecordStatus::kKeyRefused)
        return true;
    if ((status & ~RecordStatus::kResultMask) == RecordStatus::kDone)
        return transaction;
    if ((status & ~RecordStatus::kResultMask) == RecordStatus::kWritten)
        return set.id == dsKeyTable && (transaction || result == ResultKeyFailed);
    return false;
}

bool isHex(const QString &text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')))
            return false;
    }
    return true;
}

// An integer held by a JSON number, within limits.
bool integerIn(const QJsonValue &v, qint64 low, qint64 high, qint64 *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (d != static_cast<double>(static_cast<qint64>(d)) || d < static_cast<double>(low) || d > static_cast<double>(high))
        return false;
    *out = static_cast<qint64>(d);
    return true;
}

class Reader
{
public:
    QString error;

    bool fail(unsigned detail, const QString &a = {}, const QString &b = {}, const QString &c = {})
    {
        QString text = LoadString(detail);
        for (const QString &arg : {a, b, c})
            if (text.contains(QLatin1Char('%')))
                text = text.arg(arg);
        error = LoadString(Str::FileErrField).arg(text);
        return false;
    }

    bool readRecord(const DataSetInfo &set, const QJsonValue &value, std::set<unsigned> &seen, RecordOutcome &out)
    {
        const QString name = QLatin1String(set.name);
        if (!value.isObject())
            return fail(Str::FileDetailShape, name, QStringLiteral("records"));
        const QJsonObject o = value.toObject();
        qint64 index = 0;
        if (!integerIn(o.value(QLatin1String("index")), 0, set.records - 1, &index))
            return fail(Str::FileDetailIndex, name, o.value(QLatin1String("index")).toVariant().toString());
        const QString where = QString::number(index + 1);
        if (!seen.insert(static_cast<unsigned>(index)).second)
            return fail(Str::FileDetailTwice, name, where);
        qint64 status = 0;
        if (!integerIn(o.value(QLatin1String("status")), 0, 0xFFFF, &status)
            || !validStatus(static_cast<std::int32_t>(status), set))
            return fail(Str::FileDetailStatus, name, where);
        out.dataSet = set.id;
        out.index = static_cast<unsigned>(index);
        out.status = static_cast<std::int32_t>(status);

        const QJsonValue raw = o.value(QLatin1String("raw"));
        if (!raw.isUndefined()) {
            const QString hex = raw.toString();
            if (!raw.isString() || hex.size() != static_cast<qsizetype>(2 * set.recordBytes) || !isHex(hex))
                return fail(Str::FileDetailRaw, name, where, QString::number(set.recordBytes));
            out.bytes = QByteArray::fromHex(hex.toLatin1());
        }
        const RecordStatus::State state = RecordStatus::StateOf(out.status);
        if ((state == RecordStatus::State::Read || state == RecordStatus::State::Written) && out.bytes.isEmpty())
            return fail(Str::FileDetailNoRaw, name, where);

        const QJsonValue readAt = o.value(QLatin1String("readAt"));
        if (!readAt.isUndefined()) {
            out.readAt = QDateTime::fromString(readAt.toString(), Qt::ISODateWithMs);
            if (!readAt.isString() || !out.readAt.isValid())
                return fail(Str::FileDetailTime, name, where);
        }
        const QJsonValue chunks = o.value(QLatin1String("chunks"));
        if (!chunks.isUndefined()) {
            const QJsonArray list = chunks.toArray();
            if (set.shape != SetShape::Chunked || !chunks.isArray() || list.size() > static_cast<qsizetype>(set.chunks))
                return fail(Str::FileDetailShape, name, QStringLiteral("chunks"));
            for (const QJsonValue &c : list) {
                qint64 chunkStatus = 0;
                if (!integerIn(c, 0, 0xFFFF, &chunkStatus) || !validStatus(static_cast<std::int32_t>(chunkStatus), set))
                    return fail(Str::FileDetailStatus, name, where);
                out.chunkStatus << static_cast<std::int32_t>(chunkStatus);
            }
        }
        const QJsonValue received = o.value(QLatin1String("received"));
        if (!received.isUndefined()) {
            qint64 n = 0;
            if (!integerIn(received, 0, 1000, &n))
                return fail(Str::FileDetailShape, name, QStringLiteral("received"));
            out.received = static_cast<int>(n);
        }
        const QJsonValue chunkReceived = o.value(QLatin1String("chunkReceived"));
        if (!chunkReceived.isUndefined()) {
            const QJsonArray list = chunkReceived.toArray();
            if (!chunkReceived.isArray() || list.size() != out.chunkStatus.size())
                return fail(Str::FileDetailShape, name, QStringLiteral("chunkReceived"));
            for (const QJsonValue &c : list) {
                qint64 n = 0;
                if (!integerIn(c, 0, 1000, &n))
                    return fail(Str::FileDetailShape, name, QStringLiteral("chunkReceived"));
                out.chunkReceived << static_cast<int>(n);
            }
        }
        return true;
    }
};

} // namespace

ReadOutInfo IdentityOf(const ReadOut &readOut)
{
    ReadOutInfo info;
    info.unitType = readOut.UnitType();
    info.unitNumber = readOut.UnitNumber();
    return info;
}

QByteArray SaveReadOut(const ReadOut &readOut, const ReadOutInfo &info)
{
    QJsonObject root{
        {QStringLiteral("format"), QLatin1String(kFileFormat)},
        {QStringLiteral("version"), kFileVersion},
        {QStringLiteral("program"), LoadSourceString(Str::ProductName) + QLatin1Char(' ')
                                        + QLatin1String(QUILO_PROGRAM_VERSION)},
        {QStringLiteral("savedAt"), isoUtc(info.savedAt)},
        {QStringLiteral("port"), info.port},
    };
    if (!info.request.isEmpty())
        root.insert(QStringLiteral("request"), QJsonArray::fromStringList(info.request));
    if (info.stopped)
        root.insert(QStringLiteral("stopped"), true);
    // For people and indexes: who the unit is and what its clock said. Not read back.
    const ReadOutInfo identity = IdentityOf(readOut);
    QJsonObject unit;
    if (!identity.unitType.isEmpty() || !identity.unitNumber.isEmpty()) {
        unit.insert(QStringLiteral("type"), identity.unitType);
        unit.insert(QStringLiteral("manufacturingNumber"), identity.unitNumber);
    }
    if (readOut.ClockRead()) {
        const QDateTime clock = readOut.ClockValue();
        unit.insert(QStringLiteral("clock"), clock.isValid() ? clock.toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                                             : readOut.Clock().GetText());
        unit.insert(QStringLiteral("clockReadAt"), isoUtc(readOut.ClockReadAt()));
    }
    root.insert(QStringLiteral("unit"), unit);

    // One line per record: small enough to keep, and still readable with a text editor.
    const auto compact = [](const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); };
    QByteArray sets;
    const QList<RecordOutcome> records = readOut.Records();
    for (const DataSetInfo &set : DataSets()) {
        QByteArray list;
        for (const RecordOutcome &r : records) {
            if (r.dataSet != set.id)
                continue;
            QJsonObject o{{QStringLiteral("index"), static_cast<int>(r.index)},
                          {QStringLiteral("status"), r.status},
                          {QStringLiteral("result"), LoadSourceString(StatusTextId(r.status))}};
            if (r.readAt.isValid())
                o.insert(QStringLiteral("readAt"), isoUtc(r.readAt));
            if (!r.bytes.isEmpty())
                o.insert(QStringLiteral("raw"), QString::fromLatin1(r.bytes.toHex()));
            if (!r.chunkStatus.isEmpty()) {
                QJsonArray chunks;
                for (std::int32_t c : r.chunkStatus)
                    chunks.append(c);
                o.insert(QStringLiteral("chunks"), chunks);
            }
            // what came back when nothing good did: silence or a wrong reply
            if (r.received >= 0 && RecordStatus::StateOf(r.status) != RecordStatus::State::Read)
                o.insert(QStringLiteral("received"), r.received);
            if (!r.chunkReceived.isEmpty()) {
                QJsonArray received;
                for (int n : r.chunkReceived)
                    received.append(n);
                o.insert(QStringLiteral("chunkReceived"), received);
            }
            QJsonObject values;
            for (const auto &[name, text] : valuesOf(readOut, set, r.index))
                values.insert(name, text);
            if (!values.isEmpty())
                o.insert(QStringLiteral("values"), values);
            list += (list.isEmpty() ? "\n" : ",\n") + compact(o);
        }
        if (list.isEmpty())
            continue;
        QByteArray head = compact(QJsonObject{{QStringLiteral("set"), QLatin1String(set.name)},
                                              {QStringLiteral("title"), LoadSourceString(set.title)}});
        head.chop(1); // the object goes on with its records
        sets += (sets.isEmpty() ? "\n" : ",\n") + head + ",\"records\":[" + list + "\n]}";
    }
    QByteArray out = QJsonDocument(root).toJson(QJsonDocument::Indented);
    out.chop(2); // "}\n": the sets follow
    while (out.endsWith('\n'))
        out.chop(1);
    return out + ",\n    \"sets\": [" + sets + "\n    ]\n}\n";
}

namespace {

// The whole file checked into `out`; false with the reason in reader.error.
bool parseFile(const QByteArray &bytes, Reader &reader, ReadOutFile &out)
{
    if (bytes.size() > kMaxFileBytes) {
        reader.error = LoadString(Str::FileErrTooLarge).arg(bytes.size()).arg(kMaxFileBytes);
        return false;
    }
    QJsonParseError parseError{};
    const QJsonDocument json = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !json.isObject()) {
        // Qt's own words for the parse error, and ours around them, in the language spoken
        const QString why = parseError.error != QJsonParseError::NoError
                                ? QCoreApplication::translate("Quilo", "%1 (byte %2)")
                                      .arg(parseError.errorString())
                                      .arg(parseError.offset)
                                : QCoreApplication::translate("Quilo", "no JSON object");
        reader.error = LoadString(Str::FileErrNotJson).arg(why);
        return false;
    }
    // the parser would keep the last of the two without a word
    if (QString key; FindDuplicateKey(bytes, &key))
        return reader.fail(Str::FileDetailDuplicateKey, VisibleKey(key));
    const QJsonObject root = json.object();
    if (root.value(QLatin1String("format")).toString() != QLatin1String(kFileFormat)) {
        reader.error = LoadString(Str::FileErrFormat).arg(QLatin1String(kFileFormat));
        return false;
    }
    qint64 version = 0;
    if (!integerIn(root.value(QLatin1String("version")), 1, 1000000, &version))
        return reader.fail(Str::FileDetailShape, QStringLiteral("file"), QStringLiteral("version"));
    if (version > kFileVersion) {
        reader.error = LoadString(Str::FileErrNewer).arg(version).arg(kFileVersion);
        return false;
    }
    out.info.port = root.value(QLatin1String("port")).toString();
    out.info.program = root.value(QLatin1String("program")).toString();
    out.info.savedAt = QDateTime::fromString(root.value(QLatin1String("savedAt")).toString(), Qt::ISODateWithMs);
    out.info.stopped = root.value(QLatin1String("stopped")).toBool();
    const QJsonValue request = root.value(QLatin1String("request"));
    if (!request.isUndefined()) {
        if (!request.isArray())
            return reader.fail(Str::FileDetailShape, QStringLiteral("file"), QStringLiteral("request"));
        for (const QJsonValue &r : request.toArray()) {
            if (!r.isString() || r.toString().size() > 64)
                return reader.fail(Str::FileDetailShape, QStringLiteral("file"), QStringLiteral("request"));
            out.info.request << r.toString();
        }
    }
    const QJsonValue sets = root.value(QLatin1String("sets"));
    if (!sets.isArray())
        return reader.fail(Str::FileDetailShape, QStringLiteral("file"), QStringLiteral("sets"));
    std::set<int> setsSeen;
    for (const QJsonValue &s : sets.toArray()) {
        const QJsonObject o = s.toObject();
        const QString name = o.value(QLatin1String("set")).toString();
        const DataSetInfo *set = s.isObject() ? FindDataSet(name) : nullptr;
        if (!set || name != QLatin1String(set->name))
            return reader.fail(Str::FileDetailSet, name);
        if (!setsSeen.insert(set->id).second)
            return reader.fail(Str::FileDetailTwice, name, QString());
        const QJsonValue records = o.value(QLatin1String("records"));
        if (!records.isArray())
            return reader.fail(Str::FileDetailShape, name, QStringLiteral("records"));
        std::set<unsigned> seen;
        for (const QJsonValue &r : records.toArray()) {
            RecordOutcome record;
            if (!reader.readRecord(*set, r, seen, record))
                return false;
            out.records << record;
        }
    }
    return true;
}

} // namespace

Result<ReadOutFile> ParseReadOut(const QByteArray &bytes)
{
    Reader reader;
    ReadOutFile out;
    if (!parseFile(bytes, reader, out))
        return Failed{reader.error};
    return out;
}

void ShowReadOut(const ReadOutFile &readOut, CTarvelDoc &doc)
{
    doc.Clear();
    doc.ApplyRecords(readOut.records);
}

Result<QByteArray> ReadFileBytes(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Failed{LoadString(Str::FileErrNotRegular)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failed{LoadString(Str::FileErrRead).arg(file.errorString())};
    if (file.size() > kMaxFileBytes)
        return Failed{LoadString(Str::FileErrTooLarge).arg(file.size()).arg(kMaxFileBytes)};
    QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        return Failed{LoadString(Str::FileErrTooLarge).arg(bytes.size()).arg(kMaxFileBytes)};
    if (file.error() != QFileDevice::NoError)
        return Failed{LoadString(Str::FileErrRead).arg(file.errorString())};
    return bytes;
}

Done WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    COutputFile file(path);
    if (!file.Open() || !file.Write(bytes) || !file.Commit()) {
        const QString why = LoadString(Str::FileErrWrite).arg(file.errorString());
        file.Discard();
        return Failed{why};
    }
    return {};
}

} // namespace Quilo
