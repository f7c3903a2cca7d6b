#pragma once
// The unit's clock in a date and a time picker; Write sets the clock from them, "Set from PC"
// fills them from the PC's clock. A clock that was not read, or holds no real date, is said
// to be so: the pickers never show a made-up date as the unit's, and Write waits for a value.

#include "quiloview.h"

#include <QWidget>

#include <memory>

class CTarvelDoc;
class QDateEdit;
class QLabel;
class QTimeEdit;
struct COperationSummary;
namespace Ui {
class CCDateTimeForm;
}

class CCDateTime : public QWidget, public Quilo::View
{
    Q_OBJECT
public:
    CCDateTime(CTarvelDoc &doc, QWidget *parent);
    ~CCDateTime() override;

    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;
    bool answersCommand(unsigned command) const override;
    void onCommand(unsigned command) override;

    void Refresh();
    void OnSetFromPC();
    void OnWrite();

    QDateEdit *datePicker() const;
    QTimeEdit *timePicker() const;
    QLabel *stateLine() const { return m_pState; }
    // The pickers hold a date and time to write: the unit's, the PC's or one typed.
    bool hasValue() const { return m_bHasValue; }

private:
    void ShowClock();
    void SetPickers(QDate date, QTime time);
    void ClearPickers();
    void OnWriteFinished(const COperationSummary &summary, bool holdsNew);
    void OnEdited();
    void ShowWriteError();

    CTarvelDoc &m_doc;
    std::unique_ptr<Ui::CCDateTimeForm> m_ui;
    QLabel *m_pState = nullptr;
    bool m_bHasValue = false;
    bool m_bSetting = false;  // the pickers change by the program, not the user
    bool m_bWriting = false;
};
