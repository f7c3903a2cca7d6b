#include "fakeserial.h"

#include "serialbackend.h"

#include <algorithm>

namespace {

const std::uint8_t *g_tape = nullptr;
std::size_t g_left = 0;
std::vector<std::uint8_t> g_written;

} // namespace

namespace FakeSerial {

void load(const std::uint8_t *data, std::size_t size)
{
    g_tape = data;
    g_left = size;
    g_written.clear();
}

const std::vector<std::uint8_t> &written()
{
    return g_written;
}

std::size_t tapeLeft()
{
    return g_left;
}

} // namespace FakeSerial

namespace Quilo::Serial {

OpenResult open(const QByteArray &, const LineSettings &, Handle &handle)
{
    handle = Handle{};
    handle.native = 3;
    return {};
}

void close(Handle &handle)
{
    handle = Handle{};
}

std::size_t read(Handle &handle, std::uint8_t *buffer, std::size_t count, const Timeouts &)
{
    if (!handle.isOpen() || handle.aborted || count == 0 || g_left == 0)
        return 0;
    const std::uint8_t control = *g_tape++;
    --g_left;
    if (control == 0xFF) {
        handle.aborted = true;
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(control % (count + 1), g_left);
    std::copy_n(g_tape, n, buffer);
    g_tape += n;
    g_left -= n;
    return n;
}

std::size_t write(Handle &handle, const std::uint8_t *buffer, std::size_t count, const Timeouts &)
{
    if (!handle.isOpen() || handle.aborted)
        return 0;
    g_written.insert(g_written.end(), buffer, buffer + count);
    return count;
}

void flushInput(Handle &)
{
}

bool waitForInput(Handle &handle, int)
{
    return handle.isOpen() && !handle.aborted && g_left > 0;
}

QString errorText(int systemError)
{
    return QString::number(systemError);
}

} // namespace Quilo::Serial
