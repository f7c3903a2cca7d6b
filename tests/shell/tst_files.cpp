// Read-outs kept: the whole unit read with one command, saved, opened again offline with the
// same texts in every view and no byte sent; files saved by the command line and the window
// read by each other; a bad file leaves what was shown; export bytes as the command line's;
// a PDF report.

#include "cliapp.h"
#include "filecommands.h"
#include "leftview.h"
#include "mainframe.h"
#include "quiloview.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "windowharness.h"

#include <QBuffer>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

namespace {

// What a view shows a person: list cells, boxes, pickers and its state line.
QStringList viewTexts(QWidget *view)
{
    QStringList texts;
    if (auto *list = qobject_cast<QTreeWidget *>(view)) {
        for (int r = 0; r < list->topLevelItemCount(); ++r)
            for (int c = 0; c < list->columnCount(); ++c)
                texts << list->topLevelItem(r)->text(c);
        return texts;
    }
    for (const QLineEdit *e : view->findChildren<QLineEdit *>())
        if (!qobject_cast<QDateTimeEdit *>(e->parent()))
            texts << e->objectName() + u'=' + e->text();
    for (const QPlainTextEdit *e : view->findChildren<QPlainTextEdit *>())
        texts << e->objectName() + u'=' + e->toPlainText();
    for (const QDateTimeEdit *e : view->findChildren<QDateTimeEdit *>())
        texts << e->objectName() + u'=' + e->text();
    for (const QLabel *l : view->findChildren<QLabel *>(u"stateLine"_qs))
        texts << u"state="_qs + (l->isVisible() ? l->text() : QString());
    return texts;
}

QByteArray runCli(const QStringList &arguments, int *exit = nullptr)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    QuiloCli::CCliStreams io;
    io.out = &out;
    io.err = &err;
    const int status = QuiloCli::RunCli(arguments, io);
    if (exit)
        *exit = status;
    return out.data();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void wholeUnitSavedAndOpenedOffline();
    void commandLineAndWindowReadEachOthersFiles();
    void badFileKeepsWhatWasShown_data();
    void badFileKeepsWhatWasShown();
    void pdfReport();

private:
    CMainFrame *frame() const { return m_h.frame(); }
    CTarvelDoc &doc() const { return m_h.doc(); }
    CFileCommands *files() const { return frame()->files(); }
    bool filesIdle();
    // Every view of the tree, its texts by the item's path.
    QMap<QString, QStringList> everyView();

    QTemporaryDir m_dir;
    CWindowHarness m_h;
};

void TestFiles::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // to look at what the tests wrote: QUILO_KEEP_TEST_FILES=1
    m_dir.setAutoRemove(qEnvironmentVariableIsEmpty("QUILO_KEEP_TEST_FILES"));
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QString error;
    QVERIFY2(m_h.start(&error), qPrintable(error));
}

void TestFiles::init()
{
    m_h.unit().clearFaults();
    QVERIFY(m_h.openWindow());
    m_h.messages.clear();
}

void TestFiles::cleanup()
{
    m_h.closeWindow();
}

void TestFiles::cleanupTestCase()
{
    m_h.stop();
}

bool TestFiles::filesIdle()
{
    QElapsedTimer clock;
    clock.start();
    while (files()->InBackground() || doc().IsBusy()) {
        if (clock.elapsed() > 60000)
            return false;
        QTest::qWait(2);
    }
    return m_h.waitIdle();
}

QMap<QString, QStringList> TestFiles::everyView()
{
    QMap<QString, QStringList> views;
    CLeftView *tree = frame()->leftView();
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if ((*it)->data(0, CLeftView::kCommandRole).toUInt() == 0)
            continue;
        tree->setCurrentItem(*it);
        m_h.waitIdle();
        QStringList path;
        for (QTreeWidgetItem *i = *it; i; i = i->parent())
            path.prepend(i->text(0));
        views.insert(path.join(u'|'), viewTexts(frame()->rightView()->widget()));
    }
    return views;
}

void TestFiles::wholeUnitSavedAndOpenedOffline()
{
    QVERIFY(frame()->isCommandEnabled(Str::CmdReadAll));
    QVERIFY(m_h.command(Str::CmdReadAll));
    QVERIFY2(frame()->idleText().startsWith(u"Whole unit: 912 of 912 records read"_qs), qPrintable(frame()->idleText()));
    // the views show what the read brought, nothing more is read for them
    m_h.unit().clearTraffic();
    const QMap<QString, QStringList> live = everyView();
    const QString path = m_dir.filePath(u"visit.quilo"_qs);
    files()->SaveTo(path);
    QVERIFY(filesIdle());
    QVERIFY(QFileInfo(path).size() > 0 && QFileInfo(path).size() < 200 * 1024);

    // closed and opened again from the file, as a double-click on it would
    m_h.closeWindow();
    m_h.unit().clearTraffic();
    QVERIFY(m_h.openWindow({path}));
    QVERIFY(filesIdle());
    QVERIFY(doc().IsOffline());
    QVERIFY2(frame()->windowTitle().contains(u"visit.quilo"_qs), qPrintable(frame()->windowTitle()));
    const QMap<QString, QStringList> offline = everyView();
    for (auto it = live.cbegin(); it != live.cend(); ++it)
        QVERIFY2(offline.value(it.key()) == it.value(), qPrintable(it.key()));
    // offline: no command reaches the unit, and none is offered
    QVERIFY(!frame()->isCommandEnabled(Str::CmdLoad));
    QVERIFY(!frame()->isCommandEnabled(Str::CmdReadAll));
    frame()->OnCommand(Str::CmdLoad);
    QCOMPARE(m_h.unit().receivedFrames().size(), 0);
    QCOMPARE(m_h.app().recentFiles().files().value(0), QFileInfo(path).absoluteFilePath());

    // back to the unit: the file's records go, the view reads the unit again
    QVERIFY(m_h.select(u"Counters|yearly"_qs));
    QCOMPARE(m_h.unit().receivedFrames().size(), 0);
    QVERIFY(m_h.command(Str::CmdBackToUnit));
    QVERIFY(!doc().IsOffline());
    QVERIFY(!frame()->windowTitle().contains(u"visit.quilo"_qs));
    QVERIFY(m_h.unit().receivedFrames().size() > 0);
}

// A file the command line saved shows in the window as the command line shows it, and the
// window's export of it is the command line's output for the same data, byte for byte.
void TestFiles::commandLineAndWindowReadEachOthersFiles()
{
    m_h.unit().addFault(*QuiloSim::parseFault(u"199:4=checksum"_qs));
    const QString cliFile = m_dir.filePath(u"cli.quilo"_qs);
    const QString port = m_h.unit().slavePath();
    int exit = 0;
    runCli({u"read"_qs, u"all"_qs, u"-p"_qs, port, u"-o"_qs, cliFile}, &exit);
    QCOMPARE(exit, 1); // the failed record
    const QByteArray cliCsv = runCli({u"show"_qs, cliFile, u"-f"_qs, u"csv"_qs});
    const QByteArray cliJson = runCli({u"show"_qs, cliFile, u"-f"_qs, u"json"_qs});
    QVERIFY(cliCsv.contains("bad checksum"));

    files()->OpenPath(cliFile);
    QVERIFY(filesIdle());
    QVERIFY(doc().IsOffline());
    QVERIFY(doc().m_aMonthly[3].IsFailed());
    const QString csv = m_dir.filePath(u"window.csv"_qs);
    const QString json = m_dir.filePath(u"window.json"_qs);
    files()->ExportTo(csv, CFileCommands::Scope::Whole, CFileCommands::Format::Csv);
    files()->ExportTo(json, CFileCommands::Scope::Whole, CFileCommands::Format::Json);
    QVERIFY(filesIdle());
    QCOMPARE(readAll(csv), cliCsv);
    QCOMPARE(readAll(json), cliJson);

    // and the window's own file, read by the command line
    const QString windowFile = m_dir.filePath(u"window.quilo"_qs);
    files()->SaveTo(windowFile);
    QVERIFY(filesIdle());
    QCOMPARE(runCli({u"show"_qs, windowFile, u"-f"_qs, u"csv"_qs}), cliCsv);
}

void TestFiles::badFileKeepsWhatWasShown_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("says");
    QTest::newRow("not JSON") << QByteArray("not a read-out") << u"not a Quilo read-out"_qs;
    QTest::newRow("truncated") << QByteArray("{\"format\":\"quilo-readout\",\"version\":1,\"sets\":[") << u"not a Quilo read-out"_qs;
    QTest::newRow("newer") << QByteArray("{\"format\":\"quilo-readout\",\"version\":9,\"sets\":[]}") << u"newer program"_qs;
    QTest::newRow("missing") << QByteArray() << u"cannot be read"_qs;
}

void TestFiles::badFileKeepsWhatWasShown()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, says);
    QVERIFY(m_h.select(u"Counters|yearly"_qs));
    const QStringList before = viewTexts(frame()->rightView()->widget());
    const QString path = m_dir.filePath(u"bad.quilo"_qs);
    QFile::remove(path);
    if (!content.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    files()->OpenPath(path);
    QVERIFY(filesIdle());
    QCOMPARE(m_h.messages.size(), 1);
    QVERIFY2(m_h.messages.at(0).text.contains(says), qPrintable(m_h.messages.at(0).text));
    QVERIFY(!doc().IsOffline());
    QCOMPARE(viewTexts(frame()->rightView()->widget()), before);
}

void TestFiles::pdfReport()
{
    QVERIFY(m_h.select(u"Counters|daily"_qs));
    const QString set = m_dir.filePath(u"daily.pdf"_qs);
    const QString report = m_dir.filePath(u"report.pdf"_qs);
    files()->PdfTo(set, CFileCommands::Scope::Shown);
    files()->PdfTo(report, CFileCommands::Scope::Whole);
    QVERIFY(filesIdle());
    const QByteArray pdf = readAll(set);
    QVERIFY(pdf.startsWith("%PDF-"));
    // the whole read-out runs over several pages, each numbered
    const QByteArray whole = readAll(report);
    QVERIFY(whole.count("/Type /Page\n") + whole.count("/Type /Page ") + whole.count("/Type/Page") > 1
            || whole.size() > pdf.size());
}

QTEST_MAIN(TestFiles)
#include "tst_files.moc"
