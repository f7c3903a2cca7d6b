// Reply classification of the frame layer over a line whose bytes come from the fuzzer: every
// result is one of the defined codes and agrees with what arrived, nothing is read or written
// past the buffers, and a frame goes out whole or not at all.
#include "comport.h"
#include "fakeserial.h"
#include "framelink.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace Quilo;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool checksumMatches(const CFrameLink &link, std::size_t n)
{
    const std::uint8_t *in = link.ReplyData() - 2;
    const std::uint16_t sum = checksum(std::span<const std::uint8_t>(in, n + 2));
    return (in[n + 2] | (in[n + 3] << 8)) == sum;
}

void checkReply(const CFrameLink &link, std::size_t n, int result, bool frame)
{
    const std::size_t whole = n + kFrameOverhead;
    check(link.ReceivedCount() <= CComPort::kBufferSize);
    switch (result) {
    case ResultOk: check(link.ReceivedCount() == whole && checksumMatches(link, n)); break;
    case ResultTwoBytes: check(link.ReceivedCount() == 2 && whole != 2); break;
    case ResultWrongLength: check(link.ReceivedCount() != whole); break;
    case ResultBadChecksum: check(link.ReceivedCount() == whole && !checksumMatches(link, n)); break;
    case ResultRefused: check(frame && link.ReceivedCount() == 2); break;
    default: check(false);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    struct Op {
        std::uint8_t kind, command, parameter;
        std::size_t n;
        std::uint8_t payload[CComPort::kBufferSize];
    };
    std::vector<Op> ops(fdp.ConsumeIntegralInRange<std::size_t>(1, 6));
    for (Op &op : ops) {
        op.kind = fdp.ConsumeIntegralInRange<std::uint8_t>(0, 3);
        op.command = fdp.ConsumeIntegral<std::uint8_t>();
        op.parameter = fdp.ConsumeIntegral<std::uint8_t>();
        op.n = fdp.ConsumeIntegralInRange<std::size_t>(0, CFrameLink::kMaxData + 4);
        for (std::uint8_t &b : op.payload)
            b = 0;
        fdp.ConsumeData(op.payload, std::min<std::size_t>(op.n, 8));
    }
    const std::vector<std::uint8_t> tape = fdp.ConsumeRemainingBytes<std::uint8_t>();
    FakeSerial::load(tape.data(), tape.size());

    CComPort port(QStringLiteral("/fuzz"));
    check(port.Open() == 1);
    CFrameLink link(port);
    for (const Op &op : ops) {
        const std::size_t before = FakeSerial::written().size();
        switch (op.kind) {
        case 0: {
            const int sent = link.SendRequest(op.command, op.parameter);
            check(sent == ResultOk || sent == ResultNotSent);
            const int result = link.ReceiveReply(op.n);
            if (op.n > CFrameLink::kMaxData)
                check(result == ResultWrongLength);
            else
                checkReply(link, op.n, result, false);
            // Once the unit has echoed on this line, a reply taken is one that echoes this request.
            if (result == ResultOk && link.UnitEchoes()) {
                const std::uint8_t *in = link.ReplyData() - 2;
                check(in[0] == op.command && in[1] == op.parameter);
            }
            break;
        }
        case 1: {
            const int result = link.SendFrame(op.command, op.parameter, op.payload, op.n);
            const std::size_t sent = FakeSerial::written().size() - before;
            if (op.n > CFrameLink::kMaxData) {
                check(result == ResultNotSent && sent == 0);
                break;
            }
            // Whole or nothing, with the checksum the unit checks.
            check(sent == 0 || sent == op.n + kFrameOverhead);
            if (sent != 0) {
                const std::uint8_t *f = FakeSerial::written().data() + before;
                check(f[0] == op.command && f[1] == op.parameter);
                const std::uint16_t sum = checksum(std::span<const std::uint8_t>(f, op.n + 2));
                check((f[op.n + 2] | (f[op.n + 3] << 8)) == sum);
            }
            if (result == ResultNotSent)
                break;
            checkReply(link, op.n, result, true);
            if (result == ResultRefused) {
                const std::uint8_t *in = link.ReplyData() - 2;
                check(in[0] == static_cast<std::uint8_t>(~op.command) && in[1] == static_cast<std::uint8_t>(~op.parameter));
            }
            break;
        }
        case 2: {
            const int accepted = link.Authenticate(op.parameter & 1, op.payload);
            check(accepted == 0 || accepted == 1);
            if (!(op.parameter & 1))
                check(accepted == 1 && FakeSerial::written().size() == before);
            break;
        }
        default:
            port.Close(); // a new operation: the line opens afresh
            check(port.Open() == 1);
            break;
        }
    }
    return 0;
}
