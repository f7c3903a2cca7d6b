// The simulated unit's frame reader on a fuzzed byte stream with fuzzed arrival times: every
// byte comes out in exactly one piece, in order, and each piece is what its type says.
#include "commandtable.h"
#include "framereader.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace QuiloSim;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkFrame(const Frame &f)
{
    check(!f.bytes.isEmpty());
    const auto code = static_cast<std::uint8_t>(f.bytes[0]);
    const auto param = f.bytes.size() > 1 ? static_cast<std::uint8_t>(f.bytes[1]) : 0;
    const Quilo::CommandInfo *info = f.bytes.size() > 1 ? Quilo::findCommand(code, param) : nullptr;
    switch (f.type) {
    case FrameType::Request: check(f.bytes.size() == 2 && info && info->kind == Quilo::FrameKind::Request); break;
    case FrameType::Data:
        check(info && info->kind == Quilo::FrameKind::Data
              && static_cast<std::size_t>(f.bytes.size()) == Quilo::dataLength(code, param) + Quilo::kFrameOverhead);
        break;
    case FrameType::Unknown: check(f.bytes.size() == 2 && !info); break;
    case FrameType::Partial: check(!info || f.bytes.size() < 2 || info->kind == Quilo::FrameKind::Data); break;
    case FrameType::Noise: break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    CFrameReader reader(fdp.ConsumeIntegralInRange<std::int64_t>(1, 200) * 1'000'000);
    QByteArray fed;
    QByteArray out;
    std::int64_t now = 0;
    std::int64_t lastFrameTime = 0;
    auto take = [&](const QList<Frame> &frames) {
        for (const Frame &f : frames) {
            checkFrame(f);
            check(f.timeNs >= lastFrameTime && f.timeNs <= now);
            lastFrameTime = f.timeNs;
            out.append(f.bytes);
        }
    };
    while (fdp.remaining_bytes() > 0) {
        now += fdp.ConsumeIntegralInRange<std::int64_t>(0, 300) * 1'000'000;
        if (fdp.ConsumeBool()) {
            take(reader.expire(now));
            continue;
        }
        const std::string bytes = fdp.ConsumeRandomLengthString(80);
        const QByteArray chunk(bytes.data(), static_cast<qsizetype>(bytes.size()));
        fed.append(chunk);
        take(reader.feed(chunk, now));
    }
    now += 10'000'000'000;
    take(reader.expire(now));
    check(!reader.deadline());
    check(out == fed);
    return 0;
}
