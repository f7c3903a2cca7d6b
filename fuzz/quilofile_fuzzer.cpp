// The .quilo loader on any bytes: it never crashes, and whatever it takes it saves again into
// a file that loads back to the same records.
#include "quilofile.h"
#include "tarveldoc.h"

#include <cstdlib>

using namespace Quilo;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool same(const RecordOutcome &a, const RecordOutcome &b)
{
    return a.dataSet == b.dataSet && a.index == b.index && a.status == b.status && a.bytes == b.bytes
           && a.chunkStatus == b.chunkStatus && a.chunkReceived == b.chunkReceived
           && (RecordStatus::StateOf(a.status) == RecordStatus::State::Read || a.received == b.received)
           && (a.readAt.isValid() ? a.readAt.toMSecsSinceEpoch() == b.readAt.toMSecsSinceEpoch() : !b.readAt.isValid());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const Result<ReadOutFile> parsed = ParseReadOut(bytes);
    if (!parsed) {
        check(!parsed.error().isEmpty());
        return 0;
    }
    const ReadOutFile &first = *parsed;
    CTarvelDoc doc;
    ShowReadOut(first, doc);
    const QByteArray saved = SaveReadOut(doc.ReadOut(), first.info);
    const Result<ReadOutFile> again = ParseReadOut(saved);
    check(again.ok());
    const ReadOutFile &second = *again;
    check(second.info.request == first.info.request && second.info.stopped == first.info.stopped);
    // what the document kept is what comes back; records that hold nothing are not saved
    const QList<RecordOutcome> kept = doc.Records();
    check(kept.size() == second.records.size());
    for (qsizetype i = 0; i < kept.size(); ++i)
        check(same(kept.at(i), second.records.at(i)));
    return 0;
}
