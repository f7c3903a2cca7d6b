// What a network port reads from outside: the bytes of a telnet (RFC 2217) server and a port
// name typed or mapped by the user. The decoder never yields more than it was given, keeps
// every subnegotiation bounded, and gives back any data exactly as escaped; a name it accepts
// reads back to the same address.
#include "netport.h"

#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace Quilo::Net;
    CTelnetDecoder decoder;
    std::size_t dataBytes = 0;
    for (std::size_t i = 0; i < size; ++i) {
        std::uint8_t out = 0;
        const CTelnetDecoder::Event event = decoder.feed(data[i], out);
        check(static_cast<std::size_t>(decoder.subnegotiation().size()) <= CTelnetDecoder::kMaxSubnegotiation);
        if (event == CTelnetDecoder::Event::Data)
            ++dataBytes;
        if (event == CTelnetDecoder::Event::Subnegotiation) {
            const ComPortAnswer answer = CheckComPortAnswer(decoder.subnegotiation());
            check(answer.setting >= -1 && answer.setting < kComPortSettings);
            check(answer.setting >= 0 || answer.differs.isEmpty());
        }
    }
    check(dataBytes <= size);

    // Any frame goes out escaped and comes back whole, with no command in it.
    const QByteArray wire = TelnetEscape(data, size);
    CTelnetDecoder again;
    QByteArray back;
    for (const char c : wire) {
        std::uint8_t out = 0;
        const CTelnetDecoder::Event event = again.feed(static_cast<std::uint8_t>(c), out);
        check(event == CTelnetDecoder::Event::Data || event == CTelnetDecoder::Event::None);
        if (event == CTelnetDecoder::Event::Data)
            back.append(static_cast<char>(out));
    }
    check(back == QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));

    const QString name = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const ParsedAddress parsed = ParseAddress(name);
    check(parsed.address.has_value() == parsed.problem.isEmpty());
    if (parsed.address) {
        check(LooksLikeNetworkPort(name));
        const ParsedAddress reread = ParseAddress(parsed.address->text());
        check(reread.address && reread.address->text() == parsed.address->text()
              && reread.address->port == parsed.address->port && reread.address->tls == parsed.address->tls);
    }
    return 0;
}
