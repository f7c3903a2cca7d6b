#include "comport.h"

#include "netport.h"
#include "portnames.h"
#include "stringtable.h"

#include <algorithm>

using namespace Quilo;

CComPort::CComPort(const QString &portName, std::uint32_t baudRate, std::uint8_t byteSize,
                   std::uint8_t parity, std::uint8_t stopBits, std::uint32_t inQueue,
                   std::uint32_t outQueue, std::uint32_t access, std::uint32_t share)
{
    Configure(portName, baudRate, byteSize, parity, stopBits, inQueue, outQueue, access, share);
}

CComPort::~CComPort()
{
    Close();
}

int CComPort::Configure(const QString &portName, std::uint32_t baudRate, std::uint8_t byteSize,
                        std::uint8_t parity, std::uint8_t stopBits, std::uint32_t inQueue,
                        std::uint32_t outQueue, std::uint32_t access, std::uint32_t share)
{
    const int wasOpen = Close();
    m_strPortName = portName;
    m_settings = {baudRate, byteSize, parity, stopBits, inQueue, outQueue, access, share};
    if (wasOpen)
        Open();
    return 1;
}

int CComPort::Open()
{
    Close();
    const PortResolution resolved = ResolvePort(m_strPortName);
    const QString &path = resolved.path;
    if (path.isEmpty()) {
        // A malformed mapping is not a missing device: say what to fix.
        if (!resolved.error.isEmpty())
            m_lastError = CPortError{Serial::Failure::Other, 0, QString(), resolved.error};
        else
            SetError(Serial::Failure::NoSuchDevice, 0, path);
        return 0;
    }
    // Queue sizes have no POSIX counterpart; the driver's own buffers are larger anyway.
    const Serial::OpenResult r = Serial::open(path.toLocal8Bit(), m_settings, m_handle);
    if (r.failure == Serial::Failure::None) {
        m_lastError = CPortError{Serial::Failure::None, 0, path, QString()};
        m_bOpen = 1;
        m_lowLatency = m_handle.lowLatency;
        ++m_openCount;
        return 1;
    }
    SetError(r.failure, r.systemError, path, r.reason);
    m_bOpen = 0;
    return 0;
}

int CComPort::Close()
{
    const int wasOpen = m_bOpen;
    if (m_bOpen)
        Serial::close(m_handle);
    m_bOpen = 0;
    return wasOpen;
}

std::size_t CComPort::Read(std::size_t count, int tries)
{
    if (!m_bOpen)
        return 0;
    count = std::min(count, kBufferSize);
    std::size_t got = 0;
    int attempts = 0;
    do {
        got = Serial::read(m_handle, m_abReceive.data(), count, m_timeouts);
        ++attempts;
    } while (got == 0 && attempts < tries);
    return got;
}

std::size_t CComPort::Write(std::size_t count, int tries)
{
    if (!m_bOpen)
        return 0;
    count = std::min(count, kBufferSize);
    std::size_t sent = 0;
    int attempts = 0;
    do {
        sent = Serial::write(m_handle, m_abSend.data(), count, m_timeouts);
        ++attempts;
    } while (sent == 0 && attempts < tries);
    return sent;
}

void CComPort::FlushInput()
{
    if (m_bOpen)
        Serial::flushInput(m_handle);
}

bool CComPort::InputFollows(int milliseconds)
{
    return m_bOpen && Serial::waitForInput(m_handle, milliseconds);
}

void CComPort::SetPortMapping(const QString &name, const QString &path)
{
    SetPortOverride(name, path);
}

void CComPort::ClearPortMappings()
{
    ClearPortOverrides();
}

QString CComPort::DevicePath(const QString &portName)
{
    return ResolvePortPath(portName);
}

bool CComPort::IsPlainNetworkPort() const
{
    const Net::ParsedAddress parsed = Net::ParseAddress(ResolvePortPath(m_strPortName));
    return parsed.address && !parsed.address->tls;
}

void CComPort::SetError(Serial::Failure code, int systemError, const QString &path, const QString &reason)
{
    // Shown as "Com2 (/dev/ttyS1)"; a bare path is shown once.
    const QString shown = (path.isEmpty() || path == m_strPortName)
                              ? m_strPortName
                              : QStringLiteral("%1 (%2)").arg(m_strPortName, path);
    unsigned textId = Str::PortErrOther;
    switch (code) {
    case Serial::Failure::NoSuchDevice: textId = Str::PortErrNoDevice; break;
    case Serial::Failure::Busy: textId = Str::PortErrBusy; break;
    case Serial::Failure::PermissionDenied: textId = Str::PortErrPermission; break;
    case Serial::Failure::Unsupported: textId = Str::PortErrSettings; break;
    case Serial::Failure::None:
    case Serial::Failure::Other: break;
    }
    // A network port's reason says more than the error number (which host, what it answered).
    if (!reason.isEmpty())
        textId = Str::PortErrOther;
    QString message = LoadString(textId).arg(shown);
    if (!reason.isEmpty())
        message = message.arg(reason);
    else if (textId == Str::PortErrOther)
        message = message.arg(Serial::errorText(systemError));
    m_lastError = CPortError{code, systemError, path, message};
}
