#pragma once
// Progress on stderr while the unit is read, and the Ctrl-C request that stops a read between
// two transactions.

#include "tarveldoc.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QString>

namespace QuiloCli {

// Ctrl-C sets a flag that the read looks at between transactions; a second Ctrl-C ends the
// program at once, as usual.
void InstallInterruptHandler();
void RemoveInterruptHandler();
void RequestStop();
void ClearStopRequest();
bool IsStopRequested();

// Counts records done over a whole run of several data sets; draws a bar only when `device`
// is a terminal (otherwise it keeps quiet).
class CTerminalProgress : public CProgressSink
{
public:
    CTerminalProgress(QIODevice *device, bool draw, int totalTransactions);

    // Before each data set: its label and the transactions it will take.
    void BeginSet(const QString &label, int transactions);
    // After each data set: counts it as done whatever the bar saw.
    void EndSet();
    void Finish(); // clears the bar's line

    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override;
    void SetPos(int position) override;
    bool StopRequested() override;

    int Done() const { return m_done + m_setDone; }
    QString Line() const; // the bar's text, for tests

private:
    void draw();

    QIODevice *m_device;
    bool m_draw;
    int m_total;
    int m_done = 0;        // transactions of finished sets
    int m_setDone = 0;     // of the current set
    int m_setTotal = 0;
    int m_minimum = 0;
    QString m_label;
    QElapsedTimer m_clock;
    qint64 m_lastDraw = -1;
};

} // namespace QuiloCli
