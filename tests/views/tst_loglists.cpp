// The log lists' columns and rows, with a port that does not open: every row then shows the
// record as it was never read.

#include "comport.h"
#include "loglists.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QHeaderView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestLogLists : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void columns_data();
    void columns();
    void neverReadRows();
    void keyRangeOutsideTheLogs_data();
    void keyRangeOutsideTheLogs();
    void reportListLook();

private:
    QTemporaryDir m_dir;
};

namespace {

std::unique_ptr<CLogList> makeList(const QString &name, CTarvelDoc &doc)
{
    if (name == u"daily"_qs)
        return std::make_unique<CDailyList>(doc, nullptr);
    if (name == u"monthly"_qs)
        return std::make_unique<CMonthlyList>(doc, nullptr);
    if (name == u"quarterly"_qs)
        return std::make_unique<CQuarterlyList>(doc, nullptr);
    if (name == u"yearly"_qs)
        return std::make_unique<CYearlyList>(doc, nullptr);
    if (name == u"datelog"_qs)
        return std::make_unique<CDateLogList>(doc, nullptr);
    return std::make_unique<CKeyLogs>(doc, nullptr);
}

} // namespace

void TestLogLists::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CComPort::SetPortMapping(u"Com2"_qs, m_dir.filePath(u"no-tty"_qs));
}

void TestLogLists::columns_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("dataSet");
    QTest::addColumn<QStringList>("headings");
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<QString>("alignments"); // L, C, R per column
    QTest::addColumn<int>("rows");

    const QStringList period{u"idx"_qs, u"Date"_qs, u"Cash in"_qs, u"Cash out"_qs, u"Stake"_qs, u"Win"_qs};
    QTest::newRow("daily") << u"daily"_qs << int(CTarvelDoc::dsDaily)
                           << (period + QStringList{u"WinMax"_qs, u"WinMax Time"_qs})
                           << QList<int>{50, 75, 75, 75, 75, 75, 75, 80} << u"LCRRRRRC"_qs << 31;
    QTest::newRow("monthly") << u"monthly"_qs << int(CTarvelDoc::dsMonthly) << period
                             << QList<int>{50, 75, 75, 75, 75, 75} << u"LCRRRR"_qs << 61;
    QTest::newRow("quarterly") << u"quarterly"_qs << int(CTarvelDoc::dsQuarterly) << period
                               << QList<int>{50, 75, 75, 75, 75, 75} << u"LCRRRR"_qs << 21;
    QTest::newRow("yearly") << u"yearly"_qs << int(CTarvelDoc::dsYearly) << period
                            << QList<int>{50, 75, 75, 75, 75, 75} << u"LCRRRR"_qs << 6;
    QTest::newRow("date log") << u"datelog"_qs << int(CTarvelDoc::dsDateLog)
                              << QStringList{u"idx"_qs, u"old date"_qs, u"new date"_qs} << QList<int>{50, 110, 110}
                              << u"LCC"_qs << 20;
    QTest::newRow("key logs") << u"keylogs"_qs << int(CTarvelDoc::dsKeyLogs)
                              << QStringList{u"idx"_qs, u"Key"_qs, u"Start"_qs, u"End"_qs}
                              << QList<int>{50, 150, 110, 110} << u"LCCC"_qs << 20;
}

void TestLogLists::columns()
{
    QFETCH(QString, list);
    QFETCH(int, dataSet);
    QFETCH(QStringList, headings);
    QFETCH(QList<int>, widths);
    QFETCH(QString, alignments);
    QFETCH(int, rows);

    CTarvelDoc doc;
    doc.m_nFirstKey = 20;
    doc.m_nLastKey = 39;
    auto view = makeList(list, doc);
    view->OnInitialUpdate();
    QCOMPARE(doc.m_nDataSet, dataSet);
    QCOMPARE(view->columnCount(), headings.size());
    for (int i = 0; i < headings.size(); ++i) {
        QCOMPARE(view->headerItem()->text(i), headings.at(i));
        // widths grow with the font, never shrink below the table's
        QVERIFY(view->columnWidth(i) >= widths.at(i));
        const int a = view->topLevelItem(0)->textAlignment(i) & Qt::AlignHorizontal_Mask;
        const int expected = alignments.at(i) == u'L' ? Qt::AlignLeft
                             : alignments.at(i) == u'C' ? Qt::AlignHCenter
                                                        : Qt::AlignRight;
        QCOMPARE(a, expected);
    }
    QCOMPARE(view->topLevelItemCount(), rows);
    QCOMPARE(view->topLevelItem(rows - 1)->text(0), QString::number(rows) + u'.');
}

void TestLogLists::neverReadRows()
{
    CTarvelDoc doc;
    CDailyList view(doc, nullptr);
    view.OnInitialUpdate();
    // a record not read says so, and shows no made-up values
    QTreeWidgetItem *row = view.topLevelItem(0);
    QCOMPARE(row->text(1), u"not read"_qs);
    QCOMPARE(row->text(2), QString());
    QVERIFY(!doc.LastSummary().portOpened);

    // Load on a port that does not open leaves what was read as it was
    for (auto &r : doc.m_aDateLog)
        r.m_nStatus = 0x8000;
    CDateLogList dates(doc, nullptr);
    dates.OnInitialUpdate();
    dates.OnLoad();
    QVERIFY(!doc.LastSummary().portOpened);
    QCOMPARE(doc.m_aDateLog[19].m_nStatus, 0x8000);
    QCOMPARE(doc.m_aDateLog[20].m_nStatus, 0x8000);
}

void TestLogLists::keyRangeOutsideTheLogs_data()
{
    QTest::addColumn<unsigned>("first");
    QTest::addColumn<unsigned>("last");
    QTest::addColumn<int>("rows");

    QTest::newRow("key table group") << 128u << 191u << 0;
    QTest::newRow("straddling the end") << 30u << 45u << 10;
    QTest::newRow("reversed") << 19u << 0u << 0;
    QTest::newRow("huge") << 0xFFFFFFF0u << 0xFFFFFFFFu << 0;
}

void TestLogLists::keyRangeOutsideTheLogs()
{
    QFETCH(unsigned, first);
    QFETCH(unsigned, last);
    CTarvelDoc doc;
    doc.m_nFirstKey = first;
    doc.m_nLastKey = last;
    CKeyLogs view(doc, nullptr);
    view.OnInitialUpdate();
    view.OnLoad();
    QTEST(view.topLevelItemCount(), "rows");
}

void TestLogLists::reportListLook()
{
    CTarvelDoc doc;
    CYearlyList view(doc, nullptr);
    view.OnInitialUpdate();
    QCOMPARE(view.selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(view.editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!view.isSortingEnabled());
    QVERIFY(!view.header()->sectionsClickable());
    QVERIFY(!(view.topLevelItem(0)->flags() & Qt::ItemIsEditable));
    QVERIFY(view.answersCommand(Str::CmdLoad));
    QVERIFY(!view.answersCommand(Str::CmdWrite));
}

QTEST_MAIN(TestLogLists)
#include "tst_loglists.moc"
