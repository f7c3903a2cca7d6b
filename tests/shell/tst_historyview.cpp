// The history in the window: whole-unit read-outs recorded as visits, the History view showing
// the comparison with its flags first, and imported files; on Qt's offscreen platform against
// the simulated unit, with the history in an SQLite file of the test's own.

#include "historyservice.h"
#include "historyview.h"
#include "operationtext.h"
#include "stringtable.h"
#include "quilofile.h"
#include "unitclock.h"
#include "windowharness.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QLabel>
#include <QtTest>

using namespace Quilo;

class TestHistoryView : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    CWindowHarness h;

    CHistoryService *service() const { return h.frame()->findChild<CHistoryService *>(); }

    // A whole-unit read as the window's command starts it, until its visit is recorded.
    QString readWholeUnit()
    {
        QSignalSpy recorded(service(), &CHistoryService::recorded);
        // The store is open already: the answer may come while the read is still ending.
        if (!h.doc().StartReadAll() || !h.waitIdle() || (recorded.isEmpty() && !recorded.wait(20000)))
            return QStringLiteral("no answer");
        return recorded.first().at(0).toString();
    }

    CHistoryView *openHistory()
    {
        h.select(QStringLiteral("History"), false);
        auto *view = qobject_cast<CHistoryView *>(h.frame()->rightView()->widget());
        return view;
    }

    // Until the view has shown a comparison (or an error).
    static bool waitComparison(CHistoryView *view, const QString &heading)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000) {
            const QTreeWidget *c = view->comparison();
            if (c->topLevelItemCount() > 0 && c->topLevelItem(0)->text(0) == heading)
                return true;
            QTest::qWait(20);
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
        qputenv(kHistoryEnvironment, QFile::encodeName(m_dir.filePath(QStringLiteral("history.sqlite"))));
        QString error;
        QVERIFY2(h.start(&error), qPrintable(error));
        QuiloSim::UnitState s = h.unit().state();
        s.clock.set(PlainLocalNow());
        h.unit().setState(s);
        QVERIFY(h.openWindow());
        QVERIFY(service());
    }

    // Read, a counter lowered and a closed day altered, read again: both flags lead the view.
    void flagsLeadTheComparison()
    {
        QString said = readWholeUnit();
        QVERIFY2(said.contains(QStringLiteral("recorded")), qPrintable(said));
        // the read's own summary stays, the visit's note is added to it
        QCOMPARE(h.frame()->idleText(), LoadString(Str::SumWithVisit).arg(describeReadAll(h.doc().LastSummaries()), said));

        QuiloSim::UnitState s = h.unit().state();
        s.counters.cashOut -= 500;
        s.daily[2].win += 3;
        h.unit().setState(s);
        said = readWholeUnit();
        QVERIFY2(said.contains(QStringLiteral("recorded")), qPrintable(said));

        CHistoryView *view = openHistory();
        QVERIFY(view);
        QCOMPARE(view->service(), h.frame()->historyService()); // the one that recorded the visits
        QVERIFY2(waitComparison(view, QStringLiteral("Flags (2)")), qPrintable(view->statusText()));
        const QTreeWidgetItem *flags = view->comparison()->topLevelItem(0);
        QCOMPARE(flags->childCount(), 2);
        QVERIFY(flags->child(0)->text(0).startsWith(QStringLiteral("Counter lower than at the earlier visit: Cash out")));
        QCOMPARE(flags->child(0)->text(3), QString());
        QVERIFY(flags->child(1)->text(0).startsWith(QStringLiteral("Closed period changed: Daily log")));
        QVERIFY(flags->child(1)->text(2).startsWith(QStringLiteral("Win: ")));
        // The unit and its two visits on the left; the later visit's log as bars.
        QCOMPARE(view->units()->topLevelItemCount(), 1);
        QCOMPARE(view->units()->topLevelItem(0)->childCount(), 2);
        auto *logs = view->tabs()->widget(1)->findChild<QChartView *>();
        QVERIFY(logs && logs->chart() && logs->chart()->series().size() == 1);
        // the labels that name the unit and the history never read those texts as markup
        for (const QLabel *label : view->findChildren<QLabel *>())
            QVERIFY2(label->textFormat() == Qt::PlainText || label->text().isEmpty(), qPrintable(label->text()));
    }

    // Imported files are visits too; a damaged one says why; a stopped read is not a visit.
    void importAndStoppedRead()
    {
        CHistoryView *view = openHistory();
        QVERIFY(view);
        QuiloSim::UnitState s = h.unit().state();
        s.counters.games += 10;
        h.unit().setState(s);
        QVERIFY(h.doc().StartReadAll());
        h.doc().StopOperation();
        QSignalSpy recorded(service(), &CHistoryService::recorded);
        QVERIFY(h.waitIdle());
        QVERIFY(recorded.count() == 1 || recorded.wait(5000));
        QVERIFY2(recorded.first().at(0).toString().contains(QStringLiteral("not recorded")),
                 qPrintable(recorded.first().at(0).toString()));
        QCOMPARE(recorded.first().at(1).toBool(), false);

        // The document holds the unit as read before, with the games counter changed.
        CTarvelDoc doc;
        QList<RecordOutcome> records = h.doc().Records();
        for (RecordOutcome &r : records)
            if (r.dataSet == dsCounters)
                r.bytes[24] = static_cast<char>(r.bytes[24] + 1);
        doc.ApplyRecords(records);
        const QString good = m_dir.filePath(QStringLiteral("visit.quilo"));
        const QString bad = m_dir.filePath(QStringLiteral("bad.quilo"));
        QVERIFY(WriteFileAtomically(good, SaveReadOut(doc.ReadOut(), ReadOutInfo{QStringLiteral("Com2"), QDateTime::currentDateTimeUtc(), {}, {}, {}, {}, false})));
        QVERIFY(WriteFileAtomically(bad, QByteArrayLiteral("not json")));
        QSignalSpy imported(service(), &CHistoryService::imported);
        view->ImportFiles({bad, good});
        QVERIFY(imported.wait(20000));
        QCOMPARE(imported.first().at(1).toInt(), 1);
        const QStringList messages = imported.first().at(0).toStringList();
        QVERIFY2(messages.value(0).startsWith(QStringLiteral("bad.quilo: not a Quilo read-out")), qPrintable(messages.join(QLatin1Char('\n'))));
        QVERIFY2(messages.value(1).contains(QStringLiteral("recorded")), qPrintable(messages.join(QLatin1Char('\n'))));
        QTRY_COMPARE_WITH_TIMEOUT(view->units()->topLevelItemCount() == 1 ? view->units()->topLevelItem(0)->childCount() : 0, 3, 20000);
    }

    // Last: each row adds a unit. The type and number come from the unit: the status bar
    // shows their control characters as escapes, never hands them to the screen.
    void statusBarShowsTheUnitInert_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("shown"); // what the status bar must hold
        QTest::newRow("a title sequence in the type") << QStringLiteral("Q\x1b]0;owned\x07") << QStringLiteral("77")
                                                      << QStringLiteral("Q\\x1b]0;owned\\x07/77");
        QTest::newRow("backspaces and a line feed") << QStringLiteral("QU\b\bX") << QStringLiteral("79\n80")
                                                    << QStringLiteral("QU\\x08\\x08X/79\\x0a80");
    }

    void statusBarShowsTheUnitInert()
    {
        QFETCH(QString, type);
        QFETCH(QString, number);
        QFETCH(QString, shown);
        QuiloSim::UnitState s = h.unit().state();
        s.config.type = type;
        s.config.mfgNo = number;
        h.unit().setState(s);
        const QString said = readWholeUnit();
        QVERIFY2(said.contains(QStringLiteral("recorded")), qPrintable(said));
        const QString bar = h.frame()->idleText();
        QVERIFY2(bar.contains(shown), qPrintable(bar));
        for (const QChar c : bar)
            QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7f, qPrintable(bar));
    }

    // A configuration field that did not come at the later visit raises no flag: the view lists
    // it under "Not compared", with the visit that did not read it.
    void failedFieldIsNotCompared()
    {
        // the unit of the row above, visited once
        h.unit().addFault(*QuiloSim::parseFault(QStringLiteral("202:8=checksum")));
        const QString said = readWholeUnit();
        h.unit().clearFaults();
        QVERIFY2(said.contains(QStringLiteral("recorded")), qPrintable(said));
        QVERIFY(h.select(QStringLiteral("Counters|yearly")));
        CHistoryView *view = openHistory();
        QVERIFY(view);
        QVERIFY2(waitComparison(view, LoadString(Str::HistFlagsHeading).arg(0)), qPrintable(view->statusText()));
        const QTreeWidgetItem *notCompared = nullptr;
        for (int i = 0; i < view->comparison()->topLevelItemCount(); ++i)
            if (view->comparison()->topLevelItem(i)->text(0) == LoadString(Str::HistSectionNotCompared))
                notCompared = view->comparison()->topLevelItem(i);
        QVERIFY(notCompared);
        QCOMPARE(notCompared->childCount(), 1);
        QVERIFY(notCompared->child(0)->text(3).startsWith(LoadString(Str::HistNotReadAt).section(u'%', 0, 0)));
    }

    // Last, after the rows above: the unit chosen has a single visit. No comparison, but a
    // word why, and that visit's logs as bars.
    void oneVisitShowsItsLogs()
    {
        CHistoryView *view = openHistory();
        QVERIFY(view);
        QTRY_VERIFY(view->units()->topLevelItemCount() >= 3);
        QTreeWidgetItem *single = nullptr;
        for (int i = 0; i < view->units()->topLevelItemCount(); ++i)
            if (view->units()->topLevelItem(i)->text(1) == LoadString(Str::HistVisitCount).arg(1))
                single = view->units()->topLevelItem(i);
        QVERIFY(single);
        view->units()->setCurrentItem(single);
        QVERIFY2(waitComparison(view, LoadString(Str::HistOneVisit)), qPrintable(view->statusText()));
        auto *logs = view->tabs()->widget(1)->findChild<QChartView *>();
        QVERIFY(logs && logs->chart() && logs->chart()->series().size() == 1);
        const auto *bars = qobject_cast<QBarSeries *>(logs->chart()->series().first());
        QVERIFY(bars && bars->barSets().size() == 2 && bars->barSets().first()->count() > 0);
    }

    // Where the history came from is said in the language spoken, the default too.
    void locationSaysWhereFrom()
    {
        const QByteArray history = qgetenv(kHistoryEnvironment);
        qunsetenv(kHistoryEnvironment);
        QVERIFY(h.select(QStringLiteral("Counters|yearly")));
        CHistoryView *view = openHistory();
        qputenv(kHistoryEnvironment, history);
        QVERIFY(view);
        const auto *location = view->findChild<QLabel *>();
        QVERIFY(location);
        QVERIFY2(location->text().endsWith(LoadString(Str::HistLocation).arg(QString(), LoadString(Str::HistFromDefault)).section(u'(', -1)),
                 qPrintable(location->text()));
    }

    void cleanupTestCase() { h.stop(); }
};

QTEST_MAIN(TestHistoryView)
#include "tst_historyview.moc"
