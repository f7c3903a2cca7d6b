#pragma once
// The unit's running counters. Unlike the other views it is live: it reads the unit at every
// paint of its own, and on Load.

#include "quiloview.h"

#include <QWidget>

#include <memory>

class CTarvelDoc;
class QLineEdit;
namespace Ui {
class CCurrentCountersForm;
}

class CCurrentCounters : public QWidget, public Quilo::View
{
    Q_OBJECT
public:
    CCurrentCounters(CTarvelDoc &doc, QWidget *parent);
    ~CCurrentCounters() override;

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override {}
    bool answersCommand(unsigned command) const override;
    void onCommand(unsigned command) override;

    void OnLoad();
    void Refresh();
    // The edit box of a control number (1001..1006), for tests.
    QLineEdit *box(int id) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    CTarvelDoc &m_doc;
    std::unique_ptr<Ui::CCurrentCountersForm> m_ui;
    bool m_bRefreshing = false;
};
