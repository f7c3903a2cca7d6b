#include "progress.h"

#include "outputfile.h"
#include "stringtable.h"

#include <atomic>
#include <csignal>

namespace QuiloCli {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void onInterrupt(int)
{
    g_stop = 1;
    // the next Ctrl-C is not polite any more, but takes no temporary file along to its grave
    Quilo::InstallExitCleanup(SIGINT);
}

QString minutesSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

constexpr int kBarWidth = 24;

} // namespace

void InstallInterruptHandler()
{
    g_stop = 0;
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

void RemoveInterruptHandler()
{
    Quilo::InstallExitCleanup(SIGINT); // the default, with the output file's temporary removed
}

void RequestStop()
{
    g_stop = 1;
}

void ClearStopRequest()
{
    g_stop = 0;
}

bool IsStopRequested()
{
    return g_stop != 0;
}

CTerminalProgress::CTerminalProgress(QIODevice *device, bool draw, int totalTransactions)
    : m_device(device), m_draw(draw && device), m_total(std::max(1, totalTransactions))
{
    m_clock.start();
}

void CTerminalProgress::BeginSet(const QString &label, int transactions)
{
    m_label = label;
    m_setTotal = transactions;
    m_setDone = 0;
    draw();
}

void CTerminalProgress::EndSet()
{
    m_done += m_setTotal;
    m_setDone = 0;
    m_setTotal = 0;
}

void CTerminalProgress::SetRange(int minimum, int /*maximum*/)
{
    // The engine's maximum is one past the last position for some sets; the count comes
    // from BeginSet instead.
    m_minimum = minimum;
}

void CTerminalProgress::SetStep(int)
{
}

void CTerminalProgress::SetPos(int position)
{
    const int done = position - m_minimum + 1;
    // Position 0 after the run resets the window's bar; here it means nothing.
    if (done <= m_setDone || done > m_setTotal)
        return;
    m_setDone = done;
    draw();
}

bool CTerminalProgress::StopRequested()
{
    return IsStopRequested();
}

QString CTerminalProgress::Line() const
{
    const int done = std::min(Done(), m_total);
    const int filled = done * kBarWidth / m_total;
    QString bar = QString(filled, QLatin1Char('#')) + QString(kBarWidth - filled, QLatin1Char('.'));
    QString left = QStringLiteral("?");
    if (done > 0) {
        const qint64 elapsedMs = m_clock.elapsed();
        left = minutesSeconds(elapsedMs * (m_total - done) / done / 1000);
    }
    return LoadString(Str::CliProgress).arg(m_label.leftJustified(20, QLatin1Char(' '), true), bar).arg(done).arg(m_total).arg(left);
}

void CTerminalProgress::draw()
{
    if (!m_draw)
        return;
    // A busy bar costs more than the reading it reports: ten frames a second are enough.
    const qint64 now = m_clock.elapsed();
    if (m_lastDraw >= 0 && now - m_lastDraw < 100 && Done() < m_total)
        return;
    m_lastDraw = now;
    m_device->write(QByteArrayLiteral("\r") + Line().toUtf8() + QByteArrayLiteral("\x1b[K"));
}

void CTerminalProgress::Finish()
{
    if (m_draw && m_lastDraw >= 0)
        m_device->write(QByteArrayLiteral("\r\x1b[K"));
}

} // namespace QuiloCli
