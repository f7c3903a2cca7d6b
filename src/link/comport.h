#pragma once
// The one serial line to the unit: its settings, its five time-outs and two fixed buffers.
// It moves a given number of bytes out of or into its buffers with a given number of
// attempts and knows nothing of frames.

#include "serialbackend.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

// Why the last Open failed, for front ends to show. Nothing in the link shows it itself.
struct CPortError
{
    Quilo::Serial::Failure code = Quilo::Serial::Failure::None;
    int systemError = 0; // errno of the failing call, 0 when none
    QString devicePath;  // what the port name led to (empty when it led nowhere)
    QString message;     // one sentence for the user
};

class CComPort
{
public:
    static constexpr std::size_t kBufferSize = 100;
    static constexpr std::uint32_t kAccessReadWrite = 0xC0000000u;

    explicit CComPort(const QString &portName = QStringLiteral("Com1"), std::uint32_t baudRate = 9600,
                      std::uint8_t byteSize = 8, std::uint8_t parity = 0, std::uint8_t stopBits = 0,
                      std::uint32_t inQueue = 128, std::uint32_t outQueue = 128,
                      std::uint32_t access = kAccessReadWrite, std::uint32_t share = 0);
    virtual ~CComPort();
    CComPort(const CComPort &) = delete;
    CComPort &operator=(const CComPort &) = delete;

    // Stores the settings; an open line is closed and opened again with them. Returns 1.
    int Configure(const QString &portName, std::uint32_t baudRate = 9600, std::uint8_t byteSize = 8,
                  std::uint8_t parity = 0, std::uint8_t stopBits = 0, std::uint32_t inQueue = 128,
                  std::uint32_t outQueue = 128, std::uint32_t access = kAccessReadWrite,
                  std::uint32_t share = 0);
    int Open();  // 1 on success; 0 with the reason in LastError()
    int Close(); // the open flag as it was

    // Up to count bytes (clamped to the buffer) into the receive buffer. An attempt that brings
    // nothing is repeated until tries attempts were made (at least one); a partial one is not.
    std::size_t Read(std::size_t count, int tries);
    // The same from the send buffer.
    std::size_t Write(std::size_t count, int tries);

    // Drops whatever waits in the input queue (excess or late bytes of an earlier reply).
    void FlushInput();
    // True when a byte arrives within `milliseconds`; false at once when closed.
    bool InputFollows(int milliseconds);

    std::uint8_t *SendBuffer() { return m_abSend.data(); }
    const std::uint8_t *ReceiveBuffer() const { return m_abReceive.data(); }
    std::uint8_t *ReceiveBuffer() { return m_abReceive.data(); } // the frame layer joins split replies

    int IsOpen() const { return m_bOpen; }
    // Counts the successful opens: what the frame layer learns about the unit at the far end
    // holds for one open line only (another port may be chosen before the next open).
    std::uint64_t OpenCount() const { return m_openCount; }
    QString PortName() const { return m_strPortName; }
    const Quilo::Serial::LineSettings &Settings() const { return m_settings; }
    const Quilo::Serial::Timeouts &Timeouts() const { return m_timeouts; }
    const CPortError &LastError() const { return m_lastError; }
    // A line error (framing, parity, overrun, break) or hang-up stopped transfers until Close.
    bool LineAborted() const { return m_handle.aborted; }
    // What the last successful Open got of the driver's low-latency mode (kept after Close).
    Quilo::Serial::LowLatency LowLatencyMode() const { return m_lowLatency; }

    // Port names: see portnames.h. An empty path removes the mapping.
    static void SetPortMapping(const QString &name, const QString &path);
    static void ClearPortMappings();
    static QString DevicePath(const QString &portName);
    // The port leads to a network port without TLS: what goes over it can be read on the way.
    bool IsPlainNetworkPort() const;

private:
    void SetError(Quilo::Serial::Failure code, int systemError, const QString &path, const QString &reason = QString());

    const Quilo::Serial::Timeouts m_timeouts{100, 20, 100, 20, 100};
    Quilo::Serial::LineSettings m_settings;
    QString m_strPortName;
    Quilo::Serial::Handle m_handle;
    int m_bOpen = 0;
    Quilo::Serial::LowLatency m_lowLatency = Quilo::Serial::LowLatency::NotOpened;
    std::uint64_t m_openCount = 0;
    CPortError m_lastError;
    std::array<std::uint8_t, kBufferSize> m_abReceive{};
    std::array<std::uint8_t, kBufferSize> m_abSend{};
};
