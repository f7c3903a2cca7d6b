#pragma once
// The unit's running counters, live: read when the view is shown and on Load, then again two
// seconds after each good read while the view is shown. A failed read stops the refreshing
// until Load; there is never more than one read in flight.

#include "quiloview.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class CTarvelDoc;
class QLabel;
class QLineEdit;
struct COperationSummary;
namespace Ui {
class CCurrentCountersForm;
}

class CCurrentCounters : public QWidget, public Quilo::View
{
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 2000;

    CCurrentCounters(CTarvelDoc &doc, QWidget *parent);
    ~CCurrentCounters() override;

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;
    bool answersCommand(unsigned command) const override;
    void onCommand(unsigned command) override;

    void OnLoad();
    void Refresh();
    // The edit box of a control number (1001..1006), for tests.
    QLineEdit *box(int id) const;
    bool isRefreshing() const { return m_bLive; }
    bool quietTransfer() const override { return m_bInFlight && m_bQuiet; }
    QLabel *stateLine() const { return m_pState; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Show();
    void OnFinished(const COperationSummary &summary);
    void OnRecordsChanged(int dataSet);

    CTarvelDoc &m_doc;
    std::unique_ptr<Ui::CCurrentCountersForm> m_ui;
    QLabel *m_pState = nullptr;
    QTimer m_timer;
    bool m_bLive = false;     // refreshing: the last read succeeded
    bool m_bInFlight = false; // our read was asked for and has not ended
    bool m_bQuiet = false;    // ... and it is a refresh of the timer's, not one the user asked for
};
