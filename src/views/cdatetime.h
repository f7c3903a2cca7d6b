#pragma once
// The unit's clock in a date and a time picker; Write sets the clock from them, "Set from PC"
// fills them from the PC's clock.

#include "quiloview.h"

#include <QDateTime>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class CTarvelDoc;
class QDateEdit;
class QTimeEdit;
namespace Ui {
class CCDateTimeForm;
}

namespace Quilo {
// The clock bytes as the unit holds them (packed BCD YY MM DD hh mm) as a local date and time.
// Out-of-range values roll over like mktime: a day or month of 0 goes back into the previous
// month or year, so an all-zero record is 30 November 1999, 00:00.
QDateTime unitClockToDateTime(const std::array<std::uint8_t, 5> &bcd);
// The bytes for a date (2000..2099) and a time of day; seconds are dropped. False for a date
// the unit cannot hold.
bool dateTimeToUnitClock(QDate date, QTime time, std::array<std::uint8_t, 5> &bcd);
} // namespace Quilo

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

private:
    void UpdateData(bool save);

    CTarvelDoc &m_doc;
    std::unique_ptr<Ui::CCDateTimeForm> m_ui;
    QDateTime m_timeValue;
    QDateTime m_dateValue;
};
