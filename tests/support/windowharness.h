#pragma once
// The whole window against a simulated unit on "Com2", with every message box recorded and
// answered instead of shown. Header-only: only the window's tests include it.

#include "comport.h"
#include "leftview.h"
#include "mainframe.h"
#include "messagebox.h"
#include "simulatedunit.h"
#include "tarvelapp.h"
#include "tarveldoc.h"

#include <QElapsedTimer>
#include <QList>
#include <QStandardPaths>
#include <QTest>
#include <QString>
#include <QStringList>

#include <memory>

class CWindowHarness
{
public:
    // Starts the unit, puts it on "Com2" and takes over the message boxes.
    bool start(QString *error)
    {
        QStandardPaths::setTestModeEnabled(true); // settings away from the user's own
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

    // Selects the tree item at a path such as "Counters|daily" and waits for its read.
    bool select(const QString &joined, bool wait = true)
    {
        QTreeWidgetItem *item = frame()->leftView()->findItem(joined.split(QLatin1Char('|')));
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

    QList<Quilo::MessageRequest> messages;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

private:
    std::unique_ptr<QuiloSim::CSimulatedUnit> m_unit;
    std::unique_ptr<CTarvelApp> m_app;
};
