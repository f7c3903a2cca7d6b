// Output targets as a user names them: regular files are replaced whole or not at all, devices
// and FIFOs are written in place and stay what they are, errors come in the system's words.

#include "outputfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using Quilo::COutputFile;

namespace {

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

mode_t typeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(QStringLiteral(".tmp"));
}

} // namespace

class TestOutputFile : public QObject
{
    Q_OBJECT
private slots:
    void regularFileReplacedWhole();
    void abandonedWriteChangesNothing();
    void notAFile_data();
    void notAFile();
    void fifoIsWrittenInPlace();
    void readerGoneIsAnError();
    void deviceNodeStaysADevice();
    void fullDevice();
    void fullFileSystem();
    void sameFile();
    void dashIsStandardOutput();
    void signalTakesTheTemporaryAlong_data();
    void signalTakesTheTemporaryAlong();
};

void TestOutputFile::regularFileReplacedWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unit.csv"));
    QVERIFY(writeFile(path, "old"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QString link = dir.filePath(QStringLiteral("latest.csv"));
    QVERIFY(QFile::link(path, link));

    COutputFile out(link);
    QVERIFY2(out.Open(), qPrintable(out.errorString()));
    QCOMPARE(out.kind(), COutputFile::Kind::RegularFile);
    QVERIFY(out.Write("new "));
    QVERIFY(out.Write("content"));
    QCOMPARE(contentOf(path), QByteArray("old")); // nothing shows before the commit
    QVERIFY2(out.Commit(), qPrintable(out.errorString()));
    QCOMPARE(contentOf(path), QByteArray("new content"));
    QVERIFY(QFileInfo(link).isSymLink()); // the link still leads there
    QCOMPARE(QFile::permissions(path) & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther),
             QFile::Permissions(QFile::ReadGroup));
    QCOMPARE(leftovers(dir.path()), QStringList());
}

void TestOutputFile::abandonedWriteChangesNothing()
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("a.json"));
    const QString fresh = dir.filePath(QStringLiteral("b.json"));
    QVERIFY(writeFile(existing, "kept"));
    {
        COutputFile a(existing);
        COutputFile b(fresh);
        QVERIFY(a.Open() && b.Open());
        QCOMPARE(b.kind(), COutputFile::Kind::NewFile);
        QVERIFY(a.Write("lost") && b.Write("lost"));
        a.Discard();
    } // b: abandoned without a word
    QCOMPARE(contentOf(existing), QByteArray("kept"));
    QVERIFY(!QFile::exists(fresh));
    QCOMPARE(leftovers(dir.path()), QStringList());
}

void TestOutputFile::notAFile_data()
{
    QTest::addColumn<QString>("name"); // inside a temporary folder
    QTest::addColumn<int>("error");
    QTest::newRow("a folder") << QStringLiteral(".") << int(EISDIR);
    QTest::newRow("missing folder") << QStringLiteral("no/such/file.csv") << int(ENOENT);
}

void TestOutputFile::notAFile()
{
    QFETCH(QString, name);
    QFETCH(int, error);
    QTemporaryDir dir;
    COutputFile out(dir.filePath(name));
    QVERIFY(!out.Open());
    QCOMPARE(out.error(), error);
    QCOMPARE(out.errorString(), qt_error_string(error));
}

void TestOutputFile::fifoIsWrittenInPlace()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray got;
    std::thread reader([&] {
        QFile f(fifo);
        if (f.open(QIODevice::ReadOnly))
            got = f.readAll();
    });
    COutputFile out(fifo);
    const bool written = out.Open() && out.Write("through the pipe") && out.Commit();
    reader.join();
    QVERIFY2(written, qPrintable(out.errorString()));
    QCOMPARE(out.kind(), COutputFile::Kind::Direct);
    QCOMPARE(got, QByteArray("through the pipe"));
    QCOMPARE(typeOf(fifo), mode_t(S_IFIFO));
}

// A reader that leaves early must not end the program with SIGPIPE.
void TestOutputFile::readerGoneIsAnError()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::thread reader([&] {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY);
        if (fd >= 0)
            ::close(fd);
    });
    COutputFile out(fifo);
    const bool opened = out.Open();
    reader.join();
    QVERIFY(opened);
    QVERIFY(!out.Write(QByteArray(1 << 20, 'x')));
    QCOMPARE(out.error(), int(EPIPE));
}

void TestOutputFile::deviceNodeStaysADevice()
{
    // /dev/null itself, and a node of the same device in a folder of ours where mknod works.
    QStringList targets{QStringLiteral("/dev/null")};
    QTemporaryDir dir;
    const QString node = dir.filePath(QStringLiteral("null"));
    if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        targets << node;
    else
        qInfo("mknod not permitted here (%s): only /dev/null is tried", strerror(errno));
    for (const QString &target : targets) {
        COutputFile out(target);
        QVERIFY2(out.Open() && out.Write("nothing") && out.Commit(), qPrintable(target + out.errorString()));
        QCOMPARE(out.kind(), COutputFile::Kind::Direct);
        QCOMPARE(typeOf(target), mode_t(S_IFCHR));
    }
    QCOMPARE(leftovers(dir.path()), QStringList());
}

void TestOutputFile::fullDevice()
{
    if (typeOf(QStringLiteral("/dev/full")) != S_IFCHR)
        QSKIP("no /dev/full on this system");
    COutputFile out(QStringLiteral("/dev/full"));
    QVERIFY(out.Open());
    QVERIFY(!(out.Write("data") && out.Commit()));
    QCOMPARE(out.error(), int(ENOSPC));
    QCOMPARE(out.errorString(), QStringLiteral("No space left on device"));
}

// A file system that fills up half-way: the old file stays whole, no temporary file is left.
void TestOutputFile::fullFileSystem()
{
    QTemporaryDir dir;
    const QByteArray mountPoint = QFile::encodeName(dir.path());
    if (::mount("quilo-test", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a small tmpfs here (%1); needs root with CAP_SYS_ADMIN")
                             .arg(QString::fromLocal8Bit(strerror(errno)))));
    const QString path = dir.filePath(QStringLiteral("unit.json"));
    const bool oldWritten = writeFile(path, "old");
    COutputFile out(path);
    const bool opened = out.Open();
    const bool written = out.Write(QByteArray(256 * 1024, 'x')) && out.Commit();
    const int error = out.error();
    out.Discard();
    const QByteArray after = contentOf(path);
    const QStringList left = leftovers(dir.path());
    ::umount2(mountPoint.constData(), MNT_DETACH);
    QVERIFY(oldWritten && opened);
    QVERIFY(!written);
    QCOMPARE(error, int(ENOSPC));
    QCOMPARE(after, QByteArray("old"));
    QCOMPARE(left, QStringList());
}

void TestOutputFile::sameFile()
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a"));
    QVERIFY(writeFile(a, "x"));
    QVERIFY(QFile::link(a, dir.filePath(QStringLiteral("to-a"))));
    QVERIFY(Quilo::SameFile(a, dir.filePath(QStringLiteral("to-a"))));
    QVERIFY(Quilo::SameFile(a, dir.path() + QStringLiteral("/./a")));
    QVERIFY(Quilo::SameFile(dir.filePath(QStringLiteral("new")), dir.path() + QStringLiteral("/../")
                                                                    + QFileInfo(dir.path()).fileName() + QStringLiteral("/new")));
    QVERIFY(!Quilo::SameFile(a, dir.filePath(QStringLiteral("new"))));
}

// "-" is the program's standard output, written where it goes, never a file named "-".
void TestOutputFile::dashIsStandardOutput()
{
    QTemporaryDir dir;
    const QString caught = dir.filePath(QStringLiteral("stdout"));
    const int fd = ::open(QFile::encodeName(caught).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    QVERIFY(fd >= 0);
    std::fflush(stdout);
    const int saved = ::dup(1);
    ::dup2(fd, 1);
    ::close(fd);
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    COutputFile out(QStringLiteral("-"));
    const bool written = out.Open() && out.Write("to standard output") && out.Commit();
    QDir::setCurrent(before);
    ::dup2(saved, 1);
    ::close(saved);
    QVERIFY2(written, qPrintable(out.errorString()));
    QCOMPARE(out.kind(), COutputFile::Kind::Direct);
    QCOMPARE(contentOf(caught), QByteArray("to standard output"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("-"))));
}

// A program ended by a signal while a file is being written leaves no temporary file beside
// it, and the file it was replacing as it was; it still ends by that signal.
void TestOutputFile::signalTakesTheTemporaryAlong_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("existing");    // a file there to be replaced, or a new one
    // the program takes the signal itself, then lets the next one end it (a second Ctrl-C)
    QTest::addColumn<bool>("handsItOver");
    QTest::newRow("SIGTERM, new file") << int(SIGTERM) << false << false;
    QTest::newRow("SIGTERM, replacing") << int(SIGTERM) << true << false;
    QTest::newRow("SIGINT, replacing") << int(SIGINT) << true << false;
    QTest::newRow("SIGHUP, new file") << int(SIGHUP) << false << false;
    QTest::newRow("SIGPIPE, replacing") << int(SIGPIPE) << true << false;
    QTest::newRow("second Ctrl-C after a polite first") << int(SIGINT) << true << true;
}

void TestOutputFile::signalTakesTheTemporaryAlong()
{
    QFETCH(int, signal);
    QFETCH(bool, existing);
    QFETCH(bool, handsItOver);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unit.json"));
    if (existing)
        QVERIFY(writeFile(path, "old"));
    std::fflush(nullptr);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // the test framework's own handlers out of the way: the program's defaults
        for (const int s : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM})
            std::signal(s, SIG_DFL);
        if (handsItOver)
            std::signal(signal, SIG_IGN); // the program's own: the output file leaves it alone
        COutputFile out(path);
        if (!out.Open() || !out.Write("half of it"))
            ::_exit(3);
        if (leftovers(dir.path()).size() != 1)
            ::_exit(4);
        if (handsItOver)
            Quilo::InstallExitCleanup(signal);
        ::raise(signal);
        ::_exit(5); // the signal did not end the program
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status), qPrintable(QStringLiteral("exit status %1").arg(WEXITSTATUS(status))));
    QCOMPARE(WTERMSIG(status), signal);
    QCOMPARE(leftovers(dir.path()), QStringList());
    QCOMPARE(contentOf(path), existing ? QByteArray("old") : QByteArray("<missing>"));
}

QTEST_GUILESS_MAIN(TestOutputFile)
#include "tst_outputfile.moc"
