#include "stringtable.h"

#include <QtTest>

class TestStrings : public QObject
{
    Q_OBJECT
private slots:
    void tableIsSortedAndUnique()
    {
        for (std::size_t i = 1; i < StringTable::count(); ++i)
            QVERIFY2(StringTable::idAt(i - 1) < StringTable::idAt(i),
                     qPrintable(QString::number(StringTable::idAt(i))));
    }

    void texts_data()
    {
        QTest::addColumn<unsigned>("id");
        QTest::addColumn<QString>("text");
        const struct { unsigned id; const char *text; } rows[] = {
            {128, "Quilo ReadOut\n\nQuilo\nQuilo Files (*.quilo)\n.quilo\nQuilo.Document\nQuilo Document"},
            {32783, "Load current data from Quilo"}, {32784, "Write current data to Quilo"},
            {32786, "Load from file"}, {32787, "Save to file"},
            {32789, "Define user key(mode)"}, {32790, "Help"},
            {57344, "tarvel"}, {57345, "Ready"},
            {57665, "Quit the application; prompts to save documents\nExit"},
            {59137, "CAP"}, {59138, "NUM"}, {59139, "SCRL"},
            {61453, "Counters"}, {61454, "Config"}, {61455, "Date/Time"}, {61456, "Keys"},
            {61457, "momentary"}, {61458, "daily"}, {61459, "monthly"}, {61460, "quarterly"},
            {61461, "yearly"}, {61462, "logs"}, {61463, "OMH"}, {61464, "SZF"}, {61465, "LAB"},
            {61467, "organizer"}, {61468, "Tables"},
            {61469, "idx"}, {61470, "Date"}, {61471, "Cash in"}, {61472, "Cash out"}, {61473, "Stake"},
            {61474, "Win"}, {61475, "WinMax"}, {61476, "WinMax Time"}, {61477, "old date"},
            {61478, "new date"}, {61479, "Key"}, {61480, "Start"}, {61481, "End"}, {61482, "%d."},
            {61487, "%02X - %02X %02X %02X %02X %02X %02X - %02X"}, {61489, "%d"}, {61490, "%02X"},
            {61491, "20%02X"}, {61492, "%s:%s"}, {61493, "%s:%s:%s"}, {61494, "%s  /  %s"},
            {61495, "invalid date"}, {61497, "Would you like to modify\n%d key to\n%s ?"},
            {61498, "Key modify.."}, {61499, "State"}, {61500, "%d Ft."}, {61501, "%s at %s"},
            {61502, "Daily log"}, {61503, "Monthly log"}, {61504, "Quarterly log"}, {61505, "Yearly log"},
            {61506, "Date modify log"}, {61507, "Key table"}, {61508, "Key usage logs"},
            {61509, "Current counters"}, {61510, "Date - Time"}, {61511, "Current HW key"},
            {61512, "Main"}, {61513, "Current Configuration"}, {61514, "Configuration events"},
        };
        for (const auto &r : rows)
            QTest::newRow(qPrintable(QString::number(r.id))) << r.id << QString::fromUtf8(r.text);
    }
    void texts()
    {
        QFETCH(unsigned, id);
        QFETCH(QString, text);
        QCOMPARE(LoadString(id), text);
    }

    void unknownNumbersAreEmpty()
    {
        for (unsigned id : {0u, 1u, 61466u, 61488u, 61496u, 61515u, 99999u}) {
            QVERIFY(!HasString(id));
            QVERIFY(LoadString(id).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestStrings)
#include "tst_strings.moc"
