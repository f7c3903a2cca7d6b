#pragma once
// The unit's twenty configuration events, one at a time: the configuration as it was set, the
// counters just before the change and the time of the change. A row of numbered tabs chooses
// the event; an event is read the first time it is shown and again on Load.

#include "quiloview.h"

#include <QScrollArea>

#include <memory>

class CTarvelDoc;
class QLabel;
class QTabBar;
namespace Ui {
class CConfLogForm;
class CConfigForm;
}

class CConfLog : public QScrollArea, public Quilo::View
{
    Q_OBJECT
public:
    static constexpr int kEvents = 20;

    CConfLog(CTarvelDoc &doc, QWidget *parent);
    ~CConfLog() override;

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;
    bool answersCommand(unsigned command) const override;
    void onCommand(unsigned command) override;

    void Refresh(bool reload);

    QTabBar *tabBar() const { return m_pTabs; }
    QWidget *form() const { return m_pForm; }
    QLabel *stateLine() const { return m_pState; }

private:
    void Show();
    int selectedEvent() const;

    CTarvelDoc &m_doc;
    std::unique_ptr<Ui::CConfLogForm> m_ui;
    QWidget *m_pForm;
    QTabBar *m_pTabs = nullptr;
    QLabel *m_pState = nullptr;
};
