#pragma once
// The system side of the serial line: every platform call lives behind these few functions
// (serialbackend_posix.cpp today; a Win32 file can take its place). A network port (netport.h)
// sits behind the same functions: open() picks it by the name, the others by the handle.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

namespace Quilo::Net {
struct Connection;
}

namespace Quilo::Serial {

// The nine settings of the line, in the units of the Win32 device control block.
struct LineSettings {
    std::uint32_t baudRate = 9600;
    std::uint8_t byteSize = 8;
    std::uint8_t parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stopBits = 0; // 0 one, 1 one and a half, 2 two
    std::uint32_t inQueue = 128;
    std::uint32_t outQueue = 128;
    std::uint32_t access = 0xC0000000u; // GENERIC_READ | GENERIC_WRITE
    std::uint32_t share = 0;            // 0: nobody else may open the port
};

// Milliseconds, in the order of the Win32 COMMTIMEOUTS record.
struct Timeouts {
    std::uint32_t readInterval = 100;
    std::uint32_t readTotalMultiplier = 20;
    std::uint32_t readTotalConstant = 100;
    std::uint32_t writeTotalMultiplier = 20;
    std::uint32_t writeTotalConstant = 100;
};

// Why an open failed: the one list for the system call and for the port's users (the command
// line picks its hint from it). Unsupported: the device is there but refused the settings.
enum class Failure { None, NoSuchDevice, Busy, PermissionDenied, Unsupported, Other };

struct OpenResult {
    Failure failure = Failure::None;
    int systemError = 0; // errno (or GetLastError) of the failing call
    QString reason;      // a network port's reason in words (the system's words do not say it)
};

// The driver's low-latency mode: received bytes go to the program at once instead of waiting
// for a timer (on FTDI USB adapters it lowers the latency timer from 16 ms to 1 ms, which every
// short reply would otherwise wait for). Asked for at every open, undone at close.
enum class LowLatency : std::uint8_t {
    NotOpened,    // no open yet
    Granted,      // switched on by this open; switched off again at close
    AlreadyOn,    // the driver had it on before; left as it is
    NotSupported, // the driver has no such mode (a pseudo-terminal, many USB adapters)
    Refused,      // the driver has it but did not let us change it
};

// One open line. The counters snapshot lets a read notice line errors the driver only counts.
struct Handle {
    std::intptr_t native = -1;
    bool aborted = false;       // a line error or hang-up: transfers fail until the next open
    std::uint8_t markState = 0; // position inside an in-band error mark (see serialbackend_posix)
    bool countersValid = false;
    std::array<int, 4> errorCounters{}; // frame, parity, overrun, break at open
    LowLatency lowLatency = LowLatency::NotOpened;
    Net::Connection *net = nullptr; // a network port's connection (native is its socket)
    bool isOpen() const { return native >= 0; }
};

OpenResult open(const QByteArray &devicePath, const LineSettings &settings, Handle &handle);
void close(Handle &handle);

// One attempt each; the time-outs end it. Return the number of bytes moved.
std::size_t read(Handle &handle, std::uint8_t *buffer, std::size_t count, const Timeouts &timeouts);
std::size_t write(Handle &handle, const std::uint8_t *buffer, std::size_t count, const Timeouts &timeouts);

// Discards what waits in the input queue.
void flushInput(Handle &handle);

// True when input arrives within `milliseconds` (or already waits).
bool waitForInput(Handle &handle, int milliseconds);

// The system's own words for an error number.
QString errorText(int systemError);

} // namespace Quilo::Serial
