#pragma once
// What the commands that talk to the unit share: the run's link to it (the document, the
// simulated unit when asked for, the trace), the check that keeps files off the visit history,
// and the question before a write.

#include "cliargs.h"
#include "clistreams.h"
#include "rawcapture.h"
#include "simsource.h"
#include "tarveldoc.h"

#include <QFile>
#include <QString>

#include <memory>

namespace QuiloCli {

// True (and the message said) when `path`, given with `option`, is the visit history's file or
// the outbox on this PC: a table or a trace written there would replace every visit recorded.
bool namesHistory(const CCliStreams &io, const CCliOptions &o, const QString &path, const char *option);

// Asks on standard error; true only for a yes in the language spoken or in English.
bool confirm(const CCliStreams &io, const QString &question);

// One run's link to the unit: the document, the simulated unit when asked for, the trace.
class CSession
{
public:
    explicit CSession(const CCliStreams &io) : m_io(io) {}

    // False (and the message said) when the trace file or the simulated unit fails.
    bool Setup(const CCliOptions &o);
    // The line did not open: why, and what to do. Returns the exit status.
    int PortFailed();
    // `reload`: the records read before are read again too.
    const COperationSummary &Read(const CSetSpec &want, bool reload = false);

    CTarvelDoc &Doc() { return m_doc; }
    CRawCapture *Capture() { return m_capture.get(); }
    // the port in messages, in the language spoken
    QString PortLabel() const { return m_portLabel; }
    // the port in files (JSON, read-out files), the same in every language
    QString PortName() const { return m_portName; }

private:
    const CCliStreams &m_io;
    CSimulatedSource m_sim; // outlives nothing that uses it: the document closes first
    CTarvelDoc m_doc;
    std::unique_ptr<QFile> m_traceFile;
    std::unique_ptr<CRawCapture> m_capture;
    QString m_portLabel;
    QString m_portName;
};

} // namespace QuiloCli
