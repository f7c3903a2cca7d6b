// The engine over a line whose bytes come from the fuzzer: every data set, both writes, key
// mode on or off. Nothing crashes, only whole and well-formed frames go to the unit, and every
// status word is one the engine defines.
#include "fakeserial.h"
#include "framecheck.h"
#include "tarveldoc.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace Quilo;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool readStatus(int s)
{
    if (s == 0 || s == ResultKeyFailed)
        return true;
    const int low = s & 0x7FFF;
    return (s & 0x8000) && s <= 0xFFFF
           && (low == ResultOk || low == ResultNotSent || low == ResultTwoBytes || low == ResultWrongLength
               || low == ResultBadChecksum);
}

template<class Array>
void checkStatuses(const Array &records)
{
    for (const auto &r : records)
        check(readStatus(r.m_nStatus));
}

const int kDataSets[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    CTarvelDoc doc;
    doc.SetPort(QStringLiteral("/fuzz"));
    const int op = fdp.ConsumeIntegralInRange(0, 2);
    doc.m_nDataSet = fdp.PickValueInArray(kDataSets);
    doc.m_nFirstKey = fdp.ConsumeIntegralInRange(0u, 200u);
    doc.m_nLastKey = fdp.ConsumeIntegralInRange(0u, 200u);
    if (doc.m_nLastKey > doc.m_nFirstKey + 12)
        doc.m_nLastKey = doc.m_nFirstKey + 12; // keeps one run short
    doc.m_nConfigEvent = fdp.ConsumeIntegralInRange(-1, 20);
    doc.m_bKeyMode = fdp.ConsumeBool() ? 1 : 0;
    const int row = fdp.ConsumeIntegralInRange(-2, 70);
    std::uint8_t when[5];
    fdp.ConsumeData(when, sizeof when);
    const std::string keyText = fdp.ConsumeRandomLengthString(40);
    const std::vector<std::uint8_t> tape = fdp.ConsumeRemainingBytes<std::uint8_t>();
    FakeSerial::load(tape.data(), tape.size());

    switch (op) {
    case 0:
        doc.ReadDataSet();
        break;
    case 1: {
        const int r = doc.WriteKey(QString::fromUtf8(keyText.data(), static_cast<qsizetype>(keyText.size())), row);
        check(r == 0 || r == 1);
        // Untouched, written (with the write's result), or read back after an unclear answer.
        for (const CKeyField &k : doc.m_aKeyTable) {
            const int s = k.m_nStatus;
            const int result = s & RecordStatus::kResultMask;
            const bool known = result == ResultOk || result == ResultNotSent || result == ResultTwoBytes
                               || result == ResultWrongLength || result == ResultBadChecksum
                               || result == ResultRefused || result == ResultKeyFailed;
            check(s == 0 || s == RecordStatus::kDone || (s == (RecordStatus::kWritten | result) && known));
        }
        break;
    }
    default:
        check(doc.WriteDateTime(when) <= 1);
        break;
    }
    check(doc.m_comPort.IsOpen() == 0);
    check(OnlyWholeFrames(FakeSerial::written()));
    if (op == 0) {
        checkStatuses(doc.m_aKeyTable);
        checkStatuses(doc.m_aKeyLogs);
        checkStatuses(doc.m_aDaily);
        checkStatuses(doc.m_aYearly);
        checkStatuses(doc.m_aConfEvents);
        check(doc.m_config.m_nStatus == 0 || doc.m_config.m_nStatus == 0x8000);
        // Column texts of whatever was decoded.
        for (int c = -1; c < 9; ++c) {
            (void)doc.m_aDaily[0].GetColumnText(c);
            (void)doc.m_aKeyLogs[0].GetColumnText(c);
            (void)doc.m_counters.GetColumnText(c);
        }
        (void)doc.m_config.m_note.GetText();
    }
    return 0;
}
