// The key text scanner: keys are written to the unit, so a text is either all eight numbers in
// the key format or refused, and what it accepts shows back as the same key.
#include "fields.h"

#include <cstdlib>
#include <cstring>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void scan(const QString &text)
{
    std::uint8_t key[CKeyField::kLength] = {};
    const bool ok = CKeyField::ScanKey(text, key);

    CKeyField field;
    const std::uint8_t before[CKeyField::kLength] = {0xA5, 0x5A, 0xA5, 0x5A, 0xA5, 0x5A, 0xA5, 0x5A};
    std::memcpy(field.m_abKey, before, sizeof before);
    field.SetFromText(text);
    if (!ok) {
        check(std::memcmp(field.m_abKey, before, sizeof before) == 0);
        return;
    }
    check(std::memcmp(field.m_abKey, key, sizeof key) == 0);
    std::uint8_t again[CKeyField::kLength] = {};
    check(CKeyField::ScanKey(field.GetText(), again));
    check(std::memcmp(again, key, sizeof key) == 0);
    // Two dashes are required, so no accepted text is without them.
    check(text.count(QLatin1Char('-')) >= 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    scan(QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    scan(QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    if (size >= 2)
        scan(QString(reinterpret_cast<const QChar *>(data), static_cast<qsizetype>(size / 2)));
    return 0;
}
