#pragma once
// The communication bar: the progress of a transfer, the button that stops it, and the port
// choice. The document drives the progress bar through CProgressSink, on the window's thread;
// a port choice goes straight to the document.

#include "tarveldoc.h"

#include <QWidget>

class QComboBox;
class QProgressBar;
class QToolButton;

class CCommBar : public QWidget, public CProgressSink
{
    Q_OBJECT
public:
    CCommBar(CTarvelDoc &doc, QWidget *parent);

    // CProgressSink, called from inside a transfer
    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override;
    void SetPos(int position) override;

    QProgressBar *progressBar() const { return m_pProgress; }
    QComboBox *portSelector() const { return m_pPort; }
    QToolButton *stopButton() const { return m_pStop; }
    // Stop is the frame's command; the bar shows it beside the progress it ends.
    void setStopAction(QAction *stop);
    // Selects the entry with `name` (a port name or a device path) and hands it to the document.
    bool selectPort(const QString &name);

private:
    void OnSelChangePort(int index);
    void OnPortTyped();
    void addMachinePorts(); // again each time the list drops down

    CTarvelDoc &m_doc;
    QProgressBar *m_pProgress;
    QToolButton *m_pStop;
    QComboBox *m_pPort;
};
