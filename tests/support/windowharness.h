#pragma once
// The whole window against a simulated unit on "Com2", with every message box recorded and
// answered instead of shown. Header-only: only the window's tests include it.
// With QUILO_TEST_LANG=hu in the environment the window speaks Hungarian: the same tests then
// find tree items by their English names (see localPath) and compare program texts through
// LoadString.

#include "comport.h"
#include "leftview.h"
#include "mainframe.h"
#include "messagebox.h"
#include "simulatedunit.h"
#include "stringtable.h"
#include "tarvelapp.h"
#include "tarveldoc.h"
#include "translation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QStandardPaths>
#include <QTest>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class CWindowHarness
{
public:
    // Starts the unit, puts it on "Com2" and takes over the message boxes.
    bool start(QString *error)
    {
        useOwnFolders();
        if (qEnvironmentVariableIsSet("QUILO_TEST_LANG"))
            Quilo::InstallTranslation(qEnvironmentVariable("QUILO_TEST_LANG"));
        Quilo::setUpApplicationIdentity();
        m_unit = std::make_unique<QuiloSim::CSimulatedUnit>();
        if (!m_unit->start(error))
            return false;
        CComPort::SetPortMapping(QStringLiteral("Com2"), m_unit->slavePath());
        Quilo::setMessageHook([this](const Quilo::MessageRequest &r) {
            messages.append(r);
            return answer;
        });
        return true;
    }

    // Settings, the default history and its outbox in folders of this test process alone: not
    // the user's, and not shared with the window tests running beside it (Qt's test mode
    // would put every test's history into one folder under the home directory).
    static void useOwnFolders()
    {
        static QTemporaryDir folders;
        static bool done = false;
        if (done || !folders.isValid())
            return;
        done = true;
        for (const char *variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            const QString path = folders.filePath(QString::fromLatin1(variable));
            QDir().mkpath(path);
            qputenv(variable, QFile::encodeName(path));
        }
    }

    void stop()
    {
        closeWindow();
        Quilo::setMessageHook({});
        CComPort::ClearPortMappings();
        if (m_unit)
            m_unit->stop();
    }

    bool openWindow(const QStringList &files = {})
    {
        m_app = std::make_unique<CTarvelApp>();
        return m_app->InitInstance(files);
    }
    void closeWindow() { m_app.reset(); }

    // True when the window speaks English, the language of the tests' literal texts.
    static bool english() { return Quilo::CurrentLanguage() == QLatin1String("en"); }

    // A tree path given in the table's English ("Keys|Tables|organizer") as the tree shows it
    // in the language spoken.
    static QStringList localPath(const QString &joined)
    {
        QStringList parts = joined.split(QLatin1Char('|'));
        for (QString &part : parts) {
            // the history's item is named by its command's short name
            if (part == LoadSourceString(Str::CmdHistory).section(QLatin1Char('\n'), 1, 1)) {
                part = LoadString(Str::CmdHistory).section(QLatin1Char('\n'), 1, 1);
                continue;
            }
            for (std::size_t i = 0; i < StringTable::count(); ++i) {
                const unsigned id = StringTable::idAt(i);
                if (id >= Str::TreeCounters && id <= Str::TreeTables && LoadSourceString(id) == part) {
                    part = LoadString(id);
                    break;
                }
            }
        }
        return parts;
    }

    // Selects the tree item at a path such as "Counters|daily" and waits for its read.
    bool select(const QString &joined, bool wait = true)
    {
        QTreeWidgetItem *item = frame()->leftView()->findItem(localPath(joined));
        if (!item)
            return false;
        frame()->leftView()->setCurrentItem(item);
        return !wait || waitIdle();
    }

    // Carries out a command as the menu would and waits for the transfer it starts.
    bool command(unsigned id)
    {
        const bool done = frame()->OnCommand(id);
        return waitIdle() && done;
    }

    // Until no transfer runs or waits; the window's event loop turns meanwhile.
    bool waitIdle(int timeoutMs = 60000)
    {
        QElapsedTimer timer;
        timer.start();
        while (doc().IsBusy() || doc().HasPendingRead()) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QTest::qWait(2);
        }
        QCoreApplication::processEvents();
        return true;
    }

    CTarvelApp &app() const { return *m_app; }
    CMainFrame *frame() const { return m_app->mainFrame(); }
    CTarvelDoc &doc() const { return *m_app->m_pDoc; }
    QuiloSim::CSimulatedUnit &unit() const { return *m_unit; }

    // How many requests with this command the unit has received.
    int framesWithCommand(int command) const
    {
        int n = 0;
        for (const auto &f : m_unit->receivedFrames())
            if (f.bytes.size() >= 2 && static_cast<std::uint8_t>(f.bytes.at(0)) == command)
                ++n;
        return n;
    }

    QList<Quilo::MessageRequest> messages;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

private:
    std::unique_ptr<QuiloSim::CSimulatedUnit> m_unit;
    std::unique_ptr<CTarvelApp> m_app;
};
