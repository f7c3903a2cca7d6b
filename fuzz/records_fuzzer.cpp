// Every record type and field kind decoded from fuzzed bytes held in a buffer of exactly the
// record's length, then shown column by column; and the printf-style formatter with a fuzzed
// format (the formats come from a translatable string table).
#include "fields.h"
#include "records.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The record parsed from exactly kWireLength bytes (zero-padded input).
template<class Record>
Record parsed(const std::uint8_t *data, std::size_t size, std::size_t length)
{
    auto buffer = std::make_unique<std::uint8_t[]>(length);
    std::memset(buffer.get(), 0, length);
    std::memcpy(buffer.get(), data, std::min(size, length));
    Record r;
    check(r.Parse(buffer.get()) == buffer.get() + length);
    return r;
}

template<class Record>
void listRecord(const std::uint8_t *data, std::size_t size)
{
    const Record r = parsed<Record>(data, size, Record::kWireLength);
    for (int c = -2; c < Record::kColumns + 2; ++c) {
        const QString text = r.GetColumnText(c);
        if (c < 0 || c >= Record::kColumns)
            check(text.isEmpty());
    }
    check(r.GetText().isEmpty());
}

void configTexts(const CConfigRecord &c)
{
    const CTextField *texts[] = {&c.m_type,     &c.m_mfgNo,    &c.m_mfgDate,       &c.m_licenceNo, &c.m_licenceExpiry,
                                 &c.m_cardMfgNo, &c.m_omhId,    &c.m_certCode,      &c.m_certDate,  &c.m_labCode,
                                 &c.m_certificateNo, &c.m_name, &c.m_address,       &c.m_note};
    for (const CTextField *t : texts)
        check(static_cast<std::size_t>(t->GetText().size()) <= t->m_nLength);
    (void)c.m_counterStep.GetText();
    (void)c.m_initialIn.GetText();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    listRecord<CKeyLogRecord>(data, size);
    listRecord<CDateLogRecord>(data, size);
    listRecord<CDailyRecord>(data, size);
    listRecord<CPeriodRecord>(data, size);
    listRecord<CYearlyRecord>(data, size);
    listRecord<CCountersRecord>(data, size);
    configTexts(parsed<CConfigRecord>(data, size, CConfigRecord::kWireLength));
    const CConfEventRecord event = parsed<CConfEventRecord>(data, size, CConfEventRecord::kWireLength);
    configTexts(event.m_config);
    (void)event.m_changeTime.GetText();

    // A key shown and scanned back is the same key.
    const CKeyField key = parsed<CKeyField>(data, size, CKeyField::kLength);
    std::uint8_t back[CKeyField::kLength];
    check(CKeyField::ScanKey(key.GetText(), back));
    check(std::memcmp(back, key.m_abKey, CKeyField::kLength) == 0);

    // Field texts of the date kinds on every byte pattern.
    (void)parsed<CDateTimeField>(data, size, 5).GetText();
    (void)parsed<CYearMonthField>(data, size, 2).GetText();

    // The formatter: any format, any arguments, never more than it was given.
    if (size > 0) {
        const QString format = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
        const FormatArg args[] = {static_cast<long long>(-5), static_cast<unsigned long long>(0xFFFFFFFFu),
                                  QStringLiteral("text")};
        (void)FormatArgs(format, args, static_cast<std::size_t>(data[0] % 4));
    }
    return 0;
}
