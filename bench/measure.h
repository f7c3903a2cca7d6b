#pragma once
// Clocks, statistics and the peak memory of a child program: what every benchmark needs and
// nothing that knows the unit.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace QuiloBench {

std::int64_t wallNs();       // CLOCK_MONOTONIC
std::int64_t threadCpuNs();  // CPU time of the calling thread only

// Median of the values; 0 for none.
double median(std::vector<double> values);
// The q-quantile (0..1) by the nearest-rank rule; 0 for none.
double quantile(std::vector<double> values, double q);
double mean(const std::vector<double> &values);

// A program started without a shell. Its standard output is either discarded or kept for
// readLine(); standard error is discarded unless keepStderr.
class CChildProcess
{
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess &) = delete;
    CChildProcess &operator=(const CChildProcess &) = delete;

    // `environment` entries ("NAME=value") are added to (or replace those of) our own.
    bool start(const QString &program, const QStringList &arguments, const QStringList &environment = {},
               bool captureStdout = false, QString *error = nullptr);
    // One line of its standard output, without the newline; empty after timeoutMs.
    QByteArray readLine(int timeoutMs);
    // Waits for the end (killing it after timeoutMs); false when it did not end by itself
    // with status 0. Peak resident memory in KiB (VmHWM) lands in *peakKiB.
    bool wait(int timeoutMs, long *peakKiB = nullptr, QString *error = nullptr);
    // SIGTERM, then the wait.
    void terminate();
    bool isRunning() const { return m_pid > 0; }

private:
    int m_pid = -1;
    int m_outFd = -1;
    QByteArray m_pending;
};

} // namespace QuiloBench
