// The .quilo read-out file: a whole unit read from the simulated unit, saved and opened again
// record for record; failed records stay failed; every kind of bad file is refused with its
// reason; a save that fails leaves the old file whole.

#include "datasettable.h"
#include "fiforeader.h"
#include "exporttable.h"
#include "quilofile.h"
#include "simulatedunit.h"
#include "statustext.h"
#include "tarveldoc.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Quilo;

namespace {

// Every record's status, meta and shown texts, one line each.
QStringList snapshot(const CTarvelDoc &doc)
{
    QStringList lines;
    for (const DataSetInfo &set : DataSets()) {
        for (unsigned i = 0; i < set.records; ++i) {
            const CDataField &r = *doc.Record(set.id, i);
            const CRecordMeta &m = *doc.Meta(set.id, i);
            QString line = QStringLiteral("%1 %2 %3 %4 %5").arg(QLatin1String(set.name)).arg(i).arg(r.m_nStatus)
                               .arg(QString::fromLatin1(m.raw.toHex()), m.readAt.toString(Qt::ISODateWithMs));
            for (std::int32_t c : m.chunkStatus)
                line += QLatin1Char(' ') + QString::number(c);
            line += QLatin1Char('|') + r.GetText();
            for (int c = 0; c < 8; ++c)
                line += QLatin1Char('|') + r.GetColumnText(c);
            lines << line;
        }
    }
    lines << doc.m_config.m_name.GetText() << doc.m_aConfEvents[3].m_changeTime.GetText()
          << doc.m_aConfEvents[3].m_in.GetText();
    return lines;
}

QByteArray withRecord(const QByteArray &file, const char *set, const std::function<void(QJsonObject &)> &change)
{
    QJsonObject root = QJsonDocument::fromJson(file).object();
    QJsonArray sets = root.value(QLatin1String("sets")).toArray();
    for (qsizetype i = 0; i < sets.size(); ++i) {
        QJsonObject s = sets[i].toObject();
        if (s.value(QLatin1String("set")).toString() != QLatin1String(set))
            continue;
        QJsonArray records = s.value(QLatin1String("records")).toArray();
        QJsonObject r = records[0].toObject();
        change(r);
        records[0] = r;
        s.insert(QStringLiteral("records"), records);
        sets[i] = s;
    }
    root.insert(QStringLiteral("sets"), sets);
    return QJsonDocument(root).toJson();
}

// `file` with the first `from` made `to`; nothing (which no row accepts) when `from` is not there.
QByteArray edited(const QByteArray &file, const QByteArray &from, const QByteArray &to)
{
    const qsizetype at = file.indexOf(from);
    return at < 0 ? QByteArray() : QByteArray(file).replace(at, from.size(), to);
}

mode_t typeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

} // namespace

class TestQuiloFile : public QObject
{
    Q_OBJECT

    QuiloSim::CSimulatedUnit *m_unit = nullptr;
    CTarvelDoc *m_doc = nullptr;
    QByteArray m_file;

private slots:
    void initTestCase()
    {
        m_unit = new QuiloSim::CSimulatedUnit(QuiloSim::generateState(5));
        QString error;
        QVERIFY2(m_unit->start(&error), qPrintable(error));
        // two records fail: they must come back failed
        m_unit->addFault(*QuiloSim::parseFault(QStringLiteral("198:3=checksum")));
        m_unit->addFault(*QuiloSim::parseFault(QStringLiteral("202:12=two")));
        m_doc = new CTarvelDoc;
        m_doc->SetPort(m_unit->slavePath());
        QVERIFY(m_doc->StartReadAll()); // no thread: runs to its end here
        QVERIFY(!m_doc->IsBusy());
        ReadOutInfo info;
        info.port = QStringLiteral("Com2");
        info.savedAt = QDateTime::currentDateTimeUtc();
        m_file = SaveReadOut(m_doc->ReadOut(), info);
    }
    void cleanupTestCase()
    {
        delete m_doc;
        delete m_unit;
    }

    void roundTripKeepsEveryRecord()
    {
        QVERIFY(m_doc->m_aDaily[2].IsFailed());
        QVERIFY(m_doc->Meta(dsConfig, 0)->failedChunks() == QList<int>{11});
        QVERIFY2(m_file.size() < 200 * 1024, qPrintable(QString::number(m_file.size())));
        const Result<ReadOutFile> parsed = ParseReadOut(m_file);
        QVERIFY2(parsed, qPrintable(parsed.error()));
        const ReadOutFile &readOut = *parsed;
        QCOMPARE(readOut.info.port, QStringLiteral("Com2"));
        CTarvelDoc opened;
        ShowReadOut(readOut, opened);
        QCOMPARE(snapshot(opened), snapshot(*m_doc));
        QVERIFY(opened.m_aDaily[2].IsFailed());
        // the user key never reaches a file
        QVERIFY(!m_file.contains("user"));
        // and the identity is there for people and the history
        const QJsonObject unit = QJsonDocument::fromJson(m_file).object().value(QLatin1String("unit")).toObject();
        QCOMPARE(unit.value(QLatin1String("manufacturingNumber")).toString(), m_doc->m_config.m_mfgNo.GetText());
    }

    // The decoded texts in a file are never believed: the bytes are.
    void textsInTheFileAreNotTrusted()
    {
        const QByteArray forged = withRecord(m_file, "daily", [](QJsonObject &r) {
            QJsonObject values = r.value(QLatin1String("values")).toObject();
            values.insert(QStringLiteral("Cash in"), QStringLiteral("999999 Ft."));
            r.insert(QStringLiteral("values"), values);
        });
        const Result<ReadOutFile> readOut = ParseReadOut(forged);
        QVERIFY(readOut);
        CTarvelDoc opened;
        ShowReadOut(*readOut, opened);
        QCOMPARE(opened.m_aDaily[0].GetColumnText(1), m_doc->m_aDaily[0].GetColumnText(1));
    }

    void badFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("why");
        const auto change = [this](const char *set, std::function<void(QJsonObject &)> f) {
            return withRecord(m_file, set, std::move(f));
        };
        QTest::newRow("truncated") << m_file.left(m_file.size() / 2) << QStringLiteral("not a Quilo read-out");
        QTest::newRow("not JSON") << QByteArray("PK\x03\x04 zip") << QStringLiteral("not a Quilo read-out");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("not a Quilo read-out");
        QTest::newRow("other JSON") << QByteArray("{\"format\":\"something\"}") << QStringLiteral("format");
        QTest::newRow("newer version") << QByteArray(m_file).replace("\"version\": 1", "\"version\": 7")
                                       << QStringLiteral("newer program (read-out format 7");
        QTest::newRow("raw not hex") << change("daily", [](QJsonObject &r) {
            QString raw = r.value(QLatin1String("raw")).toString();
            raw[4] = u'g';
            r.insert(QStringLiteral("raw"), raw);
        }) << QStringLiteral("not 25 bytes in hexadecimal");
        QTest::newRow("raw too short") << change("yearly", [](QJsonObject &r) {
            r.insert(QStringLiteral("raw"), r.value(QLatin1String("raw")).toString().chopped(2));
        }) << QStringLiteral("yearly, record 1");
        QTest::newRow("no such record") << change("yearly", [](QJsonObject &r) { r.insert(QStringLiteral("index"), 6); })
                                        << QStringLiteral("no record with index 6");
        QTest::newRow("index not a whole number") << change("yearly", [](QJsonObject &r) {
            r.insert(QStringLiteral("index"), 1.5);
        }) << QStringLiteral("no record");
        QTest::newRow("twice") << change("yearly", [](QJsonObject &r) { r.insert(QStringLiteral("index"), 1); })
                               << QStringLiteral("appears twice");
        QTest::newRow("status that means nothing") << change("monthly", [](QJsonObject &r) {
            r.insert(QStringLiteral("status"), 0x8007);
        }) << QStringLiteral("status word");
        QTest::newRow("written outside the key table") << change("monthly", [](QJsonObject &r) {
            r.insert(QStringLiteral("status"), 0x4000);
        }) << QStringLiteral("status word");
        QTest::newRow("read without bytes") << change("monthly", [](QJsonObject &r) {
            r.remove(QStringLiteral("raw"));
        }) << QStringLiteral("holds no reply bytes");
        QTest::newRow("unknown set") << QByteArray(m_file).replace("\"set\":\"yearly\"", "\"set\":\"hourly\"")
                                     << QStringLiteral("no data set \"hourly\"");
        QTest::newRow("bad time") << change("daily", [](QJsonObject &r) {
            r.insert(QStringLiteral("readAt"), QStringLiteral("yesterday"));
        }) << QStringLiteral("not a date and time");
        QByteArray huge = m_file;
        huge.append(QByteArray(kMaxFileBytes, ' '));
        QTest::newRow("huge") << huge << QStringLiteral("too large");
    }
    void badFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, why);
        const Result<ReadOutFile> readOut = ParseReadOut(bytes);
        QVERIFY(!readOut);
        QVERIFY2(readOut.error().contains(why), qPrintable(readOut.error()));
    }

    // Every status word a read or a key write can leave comes back from a file as it went in;
    // forged ones are refused (below).
    void everyStatusOfAReadRoundTrips_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<int>("status");
        QTest::addColumn<QList<int>>("chunks"); // chunked records: each chunk's status word
        QTest::addColumn<int>("received");
        const int done = RecordStatus::kDone;
        const int written = RecordStatus::kWritten;
        const auto row = [](const char *name, const char *set, int status, QList<int> chunks = {}, int received = -1) {
            QTest::newRow(name) << QString::fromLatin1(set) << status << chunks << received;
        };
        row("read", "daily", done);
        row("silent", "daily", done | ResultWrongLength, {}, 0);
        row("refused with two bytes", "daily", done | ResultTwoBytes, {}, 2);
        row("refused", "monthly", done | ResultRefused, {}, 4);
        row("bad checksum", "yearly", done | ResultBadChecksum, {}, 29);
        row("not sent", "daily", done | ResultNotSent, {}, 0);
        row("key refused", "daily", RecordStatus::kKeyRefused);
        row("key read", "key-table", done);
        row("key written", "key-table", written);
        row("key write refused", "key-table", written | ResultRefused);
        row("key write without the key", "key-table", written | ResultKeyFailed);
        row("failed chunks, the rest read", "config", done, {done, done | ResultBadChecksum, done, done | ResultTwoBytes});
        row("chunks silent, nothing taken", "config", 0, {done | ResultWrongLength, done | ResultWrongLength});
        row("chunks without the key", "conf-event", 0, {RecordStatus::kKeyRefused});
    }
    void everyStatusOfAReadRoundTrips()
    {
        QFETCH(QString, set);
        QFETCH(int, status);
        QFETCH(QList<int>, chunks);
        QFETCH(int, received);
        const DataSetInfo &info = *FindDataSet(set);
        RecordOutcome record;
        record.dataSet = info.id;
        record.status = status;
        record.received = received;
        record.readAt = QDateTime::currentDateTimeUtc();
        for (int c : chunks) {
            record.chunkStatus << c;
            record.chunkReceived << (c == RecordStatus::kDone ? 29 : 0);
        }
        const RecordStatus::State state = RecordStatus::StateOf(status);
        if (state == RecordStatus::State::Read || state == RecordStatus::State::Written)
            record.bytes = QByteArray(static_cast<qsizetype>(info.recordBytes), '\x01');
        CTarvelDoc doc;
        doc.ApplyRecords({record});
        const QByteArray file = SaveReadOut(doc.ReadOut(), ReadOutInfo{});
        const Result<ReadOutFile> back = ParseReadOut(file);
        QVERIFY2(back, qPrintable(back.error()));
        QCOMPARE(back->records.size(), 1);
        const RecordOutcome &r = back->records.first();
        QCOMPARE(r.status, status);
        QCOMPARE(r.chunkStatus, record.chunkStatus);
        QCOMPARE(r.chunkReceived, record.chunkReceived);
        QCOMPARE(r.bytes, record.bytes);
        if (state != RecordStatus::State::Read)
            QCOMPARE(r.received, received);
        CTarvelDoc opened;
        ShowReadOut(*back, opened);
        QCOMPARE(opened.Record(info.id, 0)->m_nStatus, status);
        QCOMPARE(opened.Meta(info.id, 0)->chunkStatus, record.chunkStatus);
    }

    void forgedStatusIsRefused_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("field"); // "status", or "chunks" for a list of one
        QTest::addColumn<int>("status");
        const int done = RecordStatus::kDone;
        const int written = RecordStatus::kWritten;
        const auto row = [](const char *name, const char *set, const char *field, int status) {
            QTest::newRow(name) << QString::fromLatin1(set) << QString::fromLatin1(field) << status;
        };
        row("a result no read gives", "daily", "status", done | 7);
        row("key failure as a read result", "daily", "status", done | ResultKeyFailed);
        row("a result without a transaction", "daily", "status", ResultRefused);
        row("key refused and more", "daily", "status", RecordStatus::kKeyRefused | 1);
        row("read and written at once", "key-table", "status", done | written);
        row("written outside the key table", "yearly", "status", written);
        row("a write result no write gives", "key-table", "status", written | 5);
        row("an unknown flag", "daily", "status", 0x2000);
        row("a chunk written", "config", "chunks", written);
        row("a chunk with a result no read gives", "config", "chunks", done | 3);
    }
    void forgedStatusIsRefused()
    {
        QFETCH(QString, set);
        QFETCH(QString, field);
        QFETCH(int, status);
        // a good file to forge: one read record in each of the sets the rows change
        CTarvelDoc doc;
        QList<RecordOutcome> records;
        for (const char *name : {"daily", "yearly", "key-table", "config"}) {
            const DataSetInfo &info = *FindDataSet(QLatin1String(name));
            RecordOutcome r;
            r.dataSet = info.id;
            r.status = RecordStatus::kDone;
            r.bytes = QByteArray(static_cast<qsizetype>(info.recordBytes), '\x01');
            if (info.shape == SetShape::Chunked)
                r.chunkStatus = {RecordStatus::kDone};
            records << r;
        }
        doc.ApplyRecords(records);
        const QByteArray good = SaveReadOut(doc.ReadOut(), ReadOutInfo{});
        QVERIFY(ParseReadOut(good));
        const QByteArray forged = withRecord(good, set.toLatin1().constData(), [&](QJsonObject &r) {
            r.insert(field, field == QLatin1String("chunks") ? QJsonValue(QJsonArray{status}) : QJsonValue(status));
        });
        QVERIFY(forged.contains(QByteArray::number(status)));
        const Result<ReadOutFile> taken = ParseReadOut(forged);
        QVERIFY(!taken);
        QVERIFY2(taken.error().contains(QStringLiteral("status word")), qPrintable(taken.error()));
    }

    // The parser keeps the last of two equal keys: a file that says a thing twice is refused,
    // naming the key; equal keys in different objects, or a key's text in a value, are fine.
    void keyTwiceIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("key"); // empty: the file is taken
        const QByteArray records = "\"records\":[\n{";
        QTest::newRow("at the top") << edited(m_file, "\"port\":", "\"port\": \"Com9\",\n    \"port\":")
                                    << QStringLiteral("port");
        QTest::newRow("in a record") << edited(m_file, records, records + "\"status\":0,") << QStringLiteral("status");
        QTest::newRow("written as an escape") << edited(m_file, records, records + "\"st\\u0061tus\":0,")
                                              << QStringLiteral("status");
        QTest::newRow("in a set's head") << edited(m_file, "{\"set\":\"daily\",", "{\"set\":\"daily\",\"set\":\"daily\",")
                                         << QStringLiteral("set");
        QTest::newRow("controls shown, not acted on")
            << edited(m_file, "\"port\":", "\"\\u001b[2J\": 1, \"\\u001b[2J\": 2,\n    \"port\":")
            << QStringLiteral("\\u001b[2J");
        QTest::newRow("the same key in another object") << edited(m_file, "\"unit\": {", "\"unit\": {\"port\": \"Com9\",")
                                                        << QString();
        QTest::newRow("a key's text in a value")
            << edited(m_file, "\"Com2\"", "\"{\\\"port\\\": 1, \\\"port\\\": 2}\"") << QString();
    }
    void keyTwiceIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, key);
        QVERIFY(!bytes.isEmpty());
        QVERIFY(QJsonDocument::fromJson(bytes).isObject()); // the parser alone takes it
        const Result<ReadOutFile> taken = ParseReadOut(bytes);
        const QString &error = taken.error();
        if (key.isEmpty()) {
            QVERIFY2(taken, qPrintable(error));
            return;
        }
        QVERIFY(!taken);
        QVERIFY2(error.contains(QLatin1Char('"') + key + QStringLiteral("\" appears twice")), qPrintable(error));
        QVERIFY(!error.contains(QChar(0x1b)));
    }

    // A device node or a FIFO named for a save is written into and stays what it is: a save to
    // /dev/null must never leave the system a regular file there.
    void saveIntoDeviceOrFifo_data()
    {
        QTest::addColumn<bool>("device"); // else a FIFO
        QTest::newRow("device node") << true;
        QTest::newRow("FIFO") << false;
    }
    void saveIntoDeviceOrFifo()
    {
        QFETCH(bool, device);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("visit.quilo"));
        const QByteArray native = QFile::encodeName(path);
        if (device && ::geteuid() != 0)
            QSKIP("making a device node needs root");
        if (device)
            QCOMPARE(::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3)), 0); // as /dev/null
        else
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        std::optional<FifoReader> reader;
        if (!device)
            reader.emplace(path);
        const Done saved = WriteFileAtomically(path, m_file);
        const QByteArray got = reader ? reader->finish() : QByteArray();
        QVERIFY2(saved, qPrintable(saved.error()));
        QCOMPARE(typeOf(path), mode_t(device ? S_IFCHR : S_IFIFO));
        if (!device)
            QCOMPARE(got, m_file);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QStringLiteral("visit.quilo")});
    }

    // What was never read exports no values: no "0 Ft." or "invalid date" to be summed or believed.
    void notReadExportsNoValues()
    {
        const CTarvelDoc empty;
        for (const CSetSpec &want : AllSets()) {
            const CExportSection s = BuildSection(empty.ReadOut(), want);
            for (const CExportRow &r : s.rows) {
                QVERIFY(!r.ok);
                for (qsizetype c = 0; c < r.cells.size(); ++c)
                    QVERIFY2(r.cells.at(c).isEmpty() || (want.dataSet == dsKeyTable && c == 1),
                             qPrintable(want.label() + QStringLiteral(": ") + r.cells.at(c)));
            }
        }
    }

    void filesOnDisk()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("visit.quilo"));
        QVERIFY(WriteFileAtomically(path, m_file));
        QCOMPARE(ReadFileBytes(path).valueOr({}), m_file);
        // a FIFO (or a device) is not opened at all: it could block for ever
        const QString fifo = dir.filePath(QStringLiteral("fifo.quilo"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const Result<QByteArray> back = ReadFileBytes(fifo);
        QVERIFY(!back);
        QVERIFY2(back.error().contains(QStringLiteral("not a regular file")), qPrintable(back.error()));
    }

    // A write that fails half-way (here: the file size limit, which holds for root too) leaves
    // the old file as it was.
    void failedSaveKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("visit.quilo"));
        QVERIFY(WriteFileAtomically(path, "old"));
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const Done written = WriteFileAtomically(path, m_file);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        QVERIFY(!written);
        QVERIFY2(written.error().contains(QStringLiteral("untouched")), qPrintable(written.error()));
        QCOMPARE(ReadFileBytes(path).valueOr({}), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("visit.quilo")});
    }
};

QTEST_GUILESS_MAIN(TestQuiloFile)
#include "tst_quilofile.moc"
