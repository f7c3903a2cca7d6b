// `quilo collect` as the service runs it: the program itself against simulated units on
// pseudo-terminals, each a unit of its own (its seed gives it its type and number), two of
// them behind ser2net, with the history on SQLite and on a PostgreSQL server of the test's own.

#include "faults.h"
#include "history.h"
#include "historystore.h"
#include "pgserver.h"
#include "ser2netserver.h"
#include "simulatedunit.h"
#include "unitgenerator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using QuiloSim::CSimulatedUnit;

namespace {

struct Run
{
    int exit = -1;
    QString err;
    QJsonObject json;
    QJsonObject unit(const QString &name) const
    {
        for (const QJsonValue &u : json.value(QStringLiteral("units")).toArray())
            if (u.toObject().value(QStringLiteral("name")).toString() == name)
                return u.toObject();
        return {};
    }
};

// A unit of its own, its clock on the PC's (a clock far off would raise a flag at every
// comparison); `turnaroundMs` makes a whole read last about 912 times that.
std::unique_ptr<CSimulatedUnit> startUnit(std::uint32_t seed, const QString &fault = {}, int turnaroundMs = 0)
{
    QuiloSim::UnitState state = QuiloSim::generateState(seed);
    const QDateTime now = QDateTime::currentDateTime();
    state.clock.set(QDateTime(now.date(), now.time(), Qt::UTC));
    auto unit = std::make_unique<CSimulatedUnit>(state);
    unit->setPacing(false);
    unit->setTurnaroundMs(turnaroundMs);
    if (!fault.isEmpty())
        unit->addFault(*QuiloSim::parseFault(fault));
    QString error;
    if (!unit->start(&error))
        qFatal("simulated unit: %s", qPrintable(error));
    return unit;
}

} // namespace

class TestCollect : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // the outbox and the settings of this test alone
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.remove(QStringLiteral("QUILO_HISTORY"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        return env;
    }

    QString outboxFile() const
    {
        return m_dir.filePath(QStringLiteral("data/Local AppWizard-Generated Applications/tarvel/history.sqlite"));
    }

    QString writeUnits(const QString &name, const QList<std::pair<QString, const CSimulatedUnit *>> &units) const
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write("# units of the test\n");
        for (const auto &[unitName, unit] : units)
            f.write((unitName + QLatin1Char(' ') + unit->slavePath() + QLatin1Char('\n')).toUtf8());
        return path;
    }

    std::unique_ptr<QProcess> start(const QStringList &args) const
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment());
        p->start(QStringLiteral(QUILO_EXE), QStringList{QStringLiteral("collect")} + args + QStringList{QStringLiteral("-f"), QStringLiteral("json")});
        if (!p->waitForStarted())
            qFatal("quilo did not start");
        return p;
    }

    static Run finish(QProcess &p, int timeoutMs)
    {
        Run run;
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            run.err = QStringLiteral("did not end in time: ");
        }
        run.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.err += QString::fromUtf8(p.readAllStandardError());
        run.json = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        return run;
    }

    // Reads stderr as it comes until `text` was said; what was read stays in *seen.
    static bool waitForSaid(QProcess &p, const QString &text, QString *seen, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (!seen->contains(text) && t.elapsed() < timeoutMs && p.state() == QProcess::Running) {
            p.waitForReadyRead(200);
            *seen += QString::fromUtf8(p.readAllStandardError());
        }
        return seen->contains(text);
    }

    // Visits per unit ("TYPE/NUMBER") in the history at `url`.
    static QMap<QString, int> visitsIn(const QString &url)
    {
        QMap<QString, int> out;
        Quilo::CHistoryStore store(Quilo::ParseHistoryLocation(url));
        if (!store.Open())
            return out;
        const auto units = store.Units();
        if (units)
            for (const Quilo::UnitEntry &u : *units)
                out.insert(u.name(), u.visits);
        return out;
    }

    static QString unitName(const CSimulatedUnit &u)
    {
        const QuiloSim::UnitState s = u.state();
        return s.config.type + QLatin1Char('/') + s.config.mfgNo;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Eight units, one silent and one whose line drops mid-read: six visits, two failures
    // with their reason, tried again. Then one unit's counter goes down: the next run flags
    // it and hands the comparison to --on-flag, once.
    void eightUnitsThenALoweredCounter()
    {
        std::vector<std::unique_ptr<CSimulatedUnit>> sims;
        QList<std::pair<QString, const CSimulatedUnit *>> all;
        QList<std::pair<QString, const CSimulatedUnit *>> good;
        for (std::uint32_t i = 0; i < 8; ++i) {
            const QString fault = i == 6 ? QStringLiteral("any=silent") : i == 7 ? QStringLiteral("any=drop:300") : QString();
            sims.push_back(startUnit(101 + i, fault));
            const QString name = QStringLiteral("u%1").arg(i + 1);
            all << std::pair{name, sims.back().get()};
            if (i < 6)
                good << std::pair{name, sims.back().get()};
        }
        // u2 in key mode, its user key in a file only its owner reads
        sims[1]->setUserKey(QuiloSim::Key{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF});
        const QString keyFile = m_dir.filePath(QStringLiteral("u2.key"));
        QFile key(keyFile);
        QVERIFY(key.open(QIODevice::WriteOnly));
        key.write("0123456789abcdef\n");
        key.close();
        QVERIFY(key.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        // u5 and u6 behind ser2net, as in a venue: raw TCP and RFC 2217
        Ser2NetServer raw;
        Ser2NetServer rfc2217;
        QVERIFY2(raw.start(sims[4]->slavePath(), Ser2NetServer::Mode::Raw) != 0, qPrintable(raw.error()));
        QVERIFY2(rfc2217.start(sims[5]->slavePath(), Ser2NetServer::Mode::Rfc2217) != 0, qPrintable(rfc2217.error()));
        const auto withKey = [&](const QString &path) {
            QFile list(path);
            if (!list.open(QIODevice::ReadWrite))
                qFatal("cannot change %s", qPrintable(path));
            QByteArray text = list.readAll();
            text.replace(sims[1]->slavePath().toUtf8() + '\n', sims[1]->slavePath().toUtf8() + " key=u2.key\n");
            text.replace(sims[4]->slavePath().toUtf8() + '\n', raw.url().toUtf8() + '\n');
            text.replace(sims[5]->slavePath().toUtf8() + '\n', rfc2217.url().toUtf8() + '\n');
            list.resize(0);
            list.write(text);
            return path;
        };
        const QString eight = withKey(writeUnits(QStringLiteral("eight.conf"), all));
        const QString url = QStringLiteral("sqlite://") + m_dir.filePath(QStringLiteral("eight.sqlite"));
        const QStringList common{QStringLiteral("--history"), url, QStringLiteral("--retries"), QStringLiteral("1"),
                                 QStringLiteral("--retry-pause"), QStringLiteral("1"), QStringLiteral("--silence"),
                                 QStringLiteral("2")};
        auto p = start(QStringList{QStringLiteral("--units"), eight} + common);
        Run run = finish(*p, 120000);
        QCOMPARE(run.exit, 1);
        for (int i = 0; i < 6; ++i) {
            const QJsonObject u = run.unit(QStringLiteral("u%1").arg(i + 1));
            QCOMPARE(u.value(QStringLiteral("result")).toString(), QStringLiteral("read"));
            QCOMPARE(u.value(QStringLiteral("visit")).toString(), QStringLiteral("recorded"));
            QCOMPARE(u.value(QStringLiteral("failedRecords")).toInt(), 0);
        }
        QCOMPARE(run.unit(QStringLiteral("u5")).value(QStringLiteral("port")).toString(), raw.url());
        QCOMPARE(run.unit(QStringLiteral("u6")).value(QStringLiteral("port")).toString(), rfc2217.url());
        QVERIFY2(!run.err.contains(QLatin1String("01 - 23")) && !run.err.contains(QLatin1String("0123456789")), qPrintable(run.err));
        const QJsonObject silent = run.unit(QStringLiteral("u7"));
        QCOMPARE(silent.value(QStringLiteral("result")).toString(), QStringLiteral("failed"));
        QVERIFY2(silent.value(QStringLiteral("reason")).toString().contains(QLatin1String("does not answer")), qPrintable(run.err));
        QCOMPARE(silent.value(QStringLiteral("attempts")).toInt(), 2);
        const QJsonObject dropped = run.unit(QStringLiteral("u8"));
        QCOMPARE(dropped.value(QStringLiteral("result")).toString(), QStringLiteral("failed"));
        QCOMPARE(dropped.value(QStringLiteral("attempts")).toInt(), 2);
        QVERIFY2(run.err.contains(QLatin1String("u8 (") + sims[7]->slavePath() + QLatin1String("): failed: the line was lost during the read; trying again in 1 s")),
                 qPrintable(run.err));
        QMap<QString, int> visits = visitsIn(url);
        QCOMPARE(visits.size(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(visits.value(unitName(*sims[static_cast<std::size_t>(i)])), 1);

        // the unit's money counter went down since: reset, tampering or a wrap-around
        QuiloSim::UnitState lowered = sims[2]->state();
        lowered.counters.cashIn -= 1000;
        sims[2]->setState(lowered);
        const QString flagFile = m_dir.filePath(QStringLiteral("flags.json"));
        p = start(QStringList{QStringLiteral("--units"), withKey(writeUnits(QStringLiteral("six.conf"), good)),
                              QStringLiteral("--on-flag"), QStringLiteral("/bin/sh -c \"cat >> %1\"").arg(flagFile)}
                  + common);
        run = finish(*p, 120000);
        QCOMPARE(run.exit, 1);
        for (int i = 0; i < 6; ++i) {
            const QJsonObject u = run.unit(QStringLiteral("u%1").arg(i + 1));
            QCOMPARE(u.value(QStringLiteral("result")).toString(), QStringLiteral("read"));
            const QJsonArray flags = u.value(QStringLiteral("flags")).toArray();
            QVERIFY2(i == 2 ? flags.contains(QStringLiteral("counter-lower")) : flags.isEmpty(), qPrintable(run.err));
        }
        QFile f(flagFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        // one object: a second run of the command would have appended a second
        QJsonParseError error{};
        const QJsonObject handed = QJsonDocument::fromJson(f.readAll(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(handed.value(QStringLiteral("collected")).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("u3"));
        QCOMPARE(handed.value(QStringLiteral("flags")).toArray().first().toObject().value(QStringLiteral("flag")).toString(),
                 QStringLiteral("counter-lower"));
        QCOMPARE(handed.value(QStringLiteral("counters")).toObject().value(QStringLiteral("cashIn")).toObject().value(QStringLiteral("difference")).toInteger(),
                 -1000);
    }

    // SIGTERM ends the reads between two transactions; a visit that was complete is filed.
    void sigtermMidRun()
    {
        auto fast = startUnit(201);
        auto slow1 = startUnit(202, {}, 20);
        auto slow2 = startUnit(203, {}, 20);
        const QString url = QStringLiteral("sqlite://") + m_dir.filePath(QStringLiteral("term.sqlite"));
        auto p = start({QStringLiteral("--units"),
                        writeUnits(QStringLiteral("term.conf"), {{QStringLiteral("fast"), fast.get()},
                                                                 {QStringLiteral("slow1"), slow1.get()},
                                                                 {QStringLiteral("slow2"), slow2.get()}}),
                        QStringLiteral("--history"), url});
        QString seen;
        QVERIFY2(waitForSaid(*p, QStringLiteral("fast (") + fast->slavePath() + QStringLiteral("): Visit of"), &seen, 60000),
                 qPrintable(seen));
        QVERIFY(slow1->waitForReceived(20, 30000));
        ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
        QElapsedTimer t;
        t.start();
        Run run = finish(*p, 60000);
        // within a transaction's time-outs, not the 18 s the slow reads would still take
        QVERIFY2(t.elapsed() < 12000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(run.exit, 1);
        QVERIFY(run.json.value(QStringLiteral("stopped")).toBool());
        QCOMPARE(run.unit(QStringLiteral("fast")).value(QStringLiteral("visit")).toString(), QStringLiteral("recorded"));
        QCOMPARE(run.unit(QStringLiteral("slow1")).value(QStringLiteral("result")).toString(), QStringLiteral("stopped"));
        QCOMPARE(run.unit(QStringLiteral("slow2")).value(QStringLiteral("result")).toString(), QStringLiteral("stopped"));
        const QMap<QString, int> visits = visitsIn(url);
        QCOMPARE(visits.size(), 1);
        QCOMPARE(visits.value(unitName(*fast)), 1);
    }

    // The history server goes away during a run: the visit is kept on this PC, and the next
    // run sends it there, once.
    void historyServerAwayDuringRun()
    {
        CPgServer pg;
        QString error;
        QVERIFY2(pg.Start(&error), qPrintable(error + QLatin1Char(' ') + CPgServer::InstallHint()));
        QVERIFY2(pg.CreateDatabase(QStringLiteral("collect"), &error), qPrintable(error));
        const QString url = pg.Url(QStringLiteral("collect"));
        auto fast = startUnit(301);
        auto slow = startUnit(302, {}, 20); // about 19 s: the server goes away before its end
        const QString units = writeUnits(QStringLiteral("pg.conf"), {{QStringLiteral("fast"), fast.get()},
                                                                     {QStringLiteral("slow"), slow.get()}});
        auto p = start({QStringLiteral("--units"), units, QStringLiteral("--history"), url});
        QString seen;
        QVERIFY2(waitForSaid(*p, QStringLiteral("fast (") + fast->slavePath() + QStringLiteral("): Visit of"), &seen, 60000),
                 qPrintable(seen));
        QVERIFY2(pg.Stop(&error), qPrintable(error));
        Run run = finish(*p, 120000);
        QVERIFY2(run.exit == 0, qPrintable(seen + run.err));
        QCOMPARE(run.unit(QStringLiteral("fast")).value(QStringLiteral("visit")).toString(), QStringLiteral("recorded"));
        QCOMPARE(run.unit(QStringLiteral("slow")).value(QStringLiteral("visit")).toString(), QStringLiteral("kept"));
        QVERIFY2(!(seen + run.err).contains(QLatin1String(CPgServer::kPassword)), qPrintable(run.err));

        QVERIFY2(pg.Start(&error), qPrintable(error));
        slow->setTurnaroundMs(0);
        for (int again = 0; again < 2; ++again) {
            // played on since: a visit of its own, not one equal to the kept one
            QuiloSim::UnitState played = slow->state();
            played.counters.games += 10;
            slow->setState(played);
            p = start({QStringLiteral("--units"), units, QStringLiteral("--history"), url});
            run = finish(*p, 120000);
            QVERIFY2(run.exit == 0, qPrintable(run.err));
            const QMap<QString, int> visits = visitsIn(url);
            QCOMPARE(visits.value(unitName(*slow)), 2 + again); // the kept one and this run's
            const auto waiting = Quilo::WaitingVisits(outboxFile());
            QVERIFY2(waiting && waiting->isEmpty(), qPrintable(waiting.error()));
        }
    }

    // --jobs 1: one unit after the other, never two lines open at once.
    void jobsLimit()
    {
        std::vector<std::unique_ptr<CSimulatedUnit>> sims;
        QList<std::pair<QString, const CSimulatedUnit *>> list;
        for (std::uint32_t i = 0; i < 3; ++i) {
            sims.push_back(startUnit(501 + i));
            list << std::pair{QStringLiteral("j%1").arg(i + 1), sims.back().get()};
        }
        auto p = start({QStringLiteral("--units"), writeUnits(QStringLiteral("jobs.conf"), list), QStringLiteral("--jobs"),
                        QStringLiteral("1"), QStringLiteral("--no-history")});
        const Run run = finish(*p, 120000);
        QCOMPARE(run.exit, 0);
        int open = 0;
        int reads = 0;
        for (const QString &line : run.err.split(QLatin1Char('\n'))) {
            if (line.contains(QLatin1String("): reading (attempt"))) {
                QVERIFY2(++open == 1, qPrintable(run.err));
                ++reads;
            } else if (line.contains(QLatin1String("): read: "))) {
                --open;
            }
        }
        QCOMPARE(reads, 3);
    }

    // Two collectors on one list: each unit is read by one of them, the other finds its port
    // in use and says so.
    void twoCollectorsOnOneList()
    {
        std::vector<std::unique_ptr<CSimulatedUnit>> sims;
        QList<std::pair<QString, const CSimulatedUnit *>> list;
        for (std::uint32_t i = 0; i < 3; ++i) {
            sims.push_back(startUnit(401 + i, {}, 8)); // about 8 s, while the other collector starts
            list << std::pair{QStringLiteral("t%1").arg(i + 1), sims.back().get()};
        }
        const QString url = QStringLiteral("sqlite://") + m_dir.filePath(QStringLiteral("two.sqlite"));
        const QStringList args{QStringLiteral("--units"), writeUnits(QStringLiteral("two.conf"), list),
                               QStringLiteral("--history"), url, QStringLiteral("--retries"), QStringLiteral("0")};
        auto a = start(args);
        auto b = start(args);
        const Run ra = finish(*a, 120000);
        const Run rb = finish(*b, 120000);
        for (const auto &[name, unit] : list) {
            const QJsonObject ua = ra.unit(name);
            const QJsonObject ub = rb.unit(name);
            const int reads = (ua.value(QStringLiteral("result")).toString() == QLatin1String("read") ? 1 : 0)
                              + (ub.value(QStringLiteral("result")).toString() == QLatin1String("read") ? 1 : 0);
            QVERIFY2(reads == 1, qPrintable(ra.err + rb.err));
            const QJsonObject other = ua.value(QStringLiteral("result")).toString() == QLatin1String("read") ? ub : ua;
            QVERIFY2(other.value(QStringLiteral("reason")).toString().contains(QLatin1String("in use")),
                     qPrintable(ra.err + rb.err));
            QCOMPARE(visitsIn(url).value(unitName(*unit)), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestCollect)
#include "tst_collect.moc"
