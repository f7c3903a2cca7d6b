// The collection's list of units and the key files it names: whatever the bytes, the parser
// either refuses them with a message or gives units with a name and a port each, no name and
// no port twice, that read back the same when written out again; a typed key it takes shows
// back as the same key.
#include "fields.h"
#include "unitlist.h"

#include <QSet>

#include <cstdlib>
#include <cstring>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void parse(const QByteArray &bytes)
{
    const auto parsed = QuiloCollect::ParseUnitList(bytes, QStringLiteral("units.conf"));
    if (!parsed) {
        check(!parsed.error().isEmpty());
        return;
    }
    check(parsed->size() <= QuiloCollect::kMaxUnits);
    QSet<QString> names;
    QSet<QString> ports;
    QByteArray again;
    bool longer = false;
    for (const QuiloCollect::CollectUnit &u : *parsed) {
        check(!u.name.isEmpty() && !u.port.isEmpty() && u.line > 0);
        check(!names.contains(u.name) && !ports.contains(u.port));
        names.insert(u.name);
        ports.insert(u.port);
        check(u.userKey.isEmpty()); // only LoadUnitList reads keys
        QByteArray line = (u.name + QLatin1Char(' ') + u.port).toUtf8();
        if (!u.keyFile.isEmpty())
            line += (QStringLiteral(" key=") + u.keyFile).toUtf8();
        // A byte that is not UTF-8 comes back as three (U+FFFD): such a line may outgrow the limit.
        longer = longer || line.size() > QuiloCollect::kMaxLineLength;
        again += line + '\n';
    }
    if (longer)
        return;
    const auto reparsed = QuiloCollect::ParseUnitList(again, QStringLiteral("again"));
    check(reparsed.ok() && reparsed->size() == parsed->size());
    for (qsizetype i = 0; i < parsed->size(); ++i)
        check(reparsed->at(i).name == parsed->at(i).name && reparsed->at(i).port == parsed->at(i).port
              && reparsed->at(i).keyFile == parsed->at(i).keyFile);
}

void typedKey(const QString &text)
{
    std::uint8_t key[CKeyField::kLength] = {};
    if (!CKeyField::ParseTyped(text, key))
        return;
    std::uint8_t back[CKeyField::kLength] = {};
    check(CKeyField::ScanKey(CKeyField::FormatKey(key), back));
    check(std::memcmp(key, back, sizeof key) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    parse(bytes);
    typedKey(QString::fromUtf8(bytes));
    return 0;
}
