#pragma once
// Network ports: the unit's line served by a serial device server (ser2net, a commercial box)
// and reached over TCP, either raw (the line's bytes and nothing else) or as a telnet session
// with the COM-PORT option, which also sets the remote line to 9600 8N1; either one optionally
// inside TLS. Here: the port names, the options a connection takes, and the telnet codec. The
// connection itself is netline.cpp, behind the same line functions as a serial device.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace Quilo::Net {

enum class Protocol : std::uint8_t { Raw, Rfc2217 };

struct Address {
    Protocol protocol = Protocol::Raw;
    bool tls = false;
    QString host; // a name or an address, IPv6 without its brackets
    std::uint16_t port = 0;
    QString text() const; // the port name it came from, in canonical form
};

// True when `text` has the form of a URL ("word://..."): such a name is never a Com name or a
// device path, so a misspelt scheme is reported as a bad network port, not as a missing device.
bool LooksLikeNetworkPort(const QString &text);

// One parse for every place a port name is taken (-p, QUILO_PORTS, the settings, the window):
// "tcp://HOST:PORT", "rfc2217://HOST:PORT", "tcp+tls://..." and "rfc2217+tls://...", HOST a name,
// an IPv4 address or a bracketed IPv6 address, PORT 1..65535. `problem` says what is wrong.
struct ParsedAddress {
    std::optional<Address> address;
    QString problem;
};
ParsedAddress ParseAddress(const QString &text);

// What a connection takes beyond its address. The command line sets them for its run, the
// window takes them from the settings file ([Network] CaFile, CertFile, KeyFile, ConnectTimeout
// in seconds).
struct Options {
    QString caFile;   // PEM file of the CA(s) to trust; empty: the system's
    QString certFile; // client certificate (PEM), sent when the server asks for one
    QString keyFile;  // its private key; empty: taken from certFile
    int connectTimeoutMs = 5000;
};
void SetOptions(const Options &options); // for this process, in place of the settings file
void ClearOptions();
Options CurrentOptions();
inline constexpr int kMaxConnectTimeoutS = 120;

// Telnet (RFC 854) as far as a COM-PORT client needs it: data bytes, option negotiation and
// subnegotiations. Fed one received byte at a time; keeps its state between reads, so a
// command split across two network packets is still one command.
class CTelnetDecoder
{
public:
    enum class Event : std::uint8_t { None, Data, Will, Wont, Do, Dont, Subnegotiation };
    static constexpr std::size_t kMaxSubnegotiation = 64; // longer ones are cut, never grown

    // Data puts the byte into `data`; Will..Dont: option(); Subnegotiation: subnegotiation().
    Event feed(std::uint8_t byte, std::uint8_t &data);
    std::uint8_t option() const { return m_option; }
    // The option number first, then its bytes with doubled 0xFF undone; no IAC SB / IAC SE.
    const QByteArray &subnegotiation() const { return m_sub; }
    void reset() { *this = CTelnetDecoder{}; }

private:
    enum class State : std::uint8_t { Data, Iac, Option, Sub, SubIac };
    State m_state = State::Data;
    std::uint8_t m_command = 0;
    std::uint8_t m_option = 0;
    QByteArray m_sub;
};

namespace Telnet {
inline constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                              kSe = 240;
inline constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// COM-PORT commands from the client; the server answers with the number plus 100.
inline constexpr std::uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                              kSetControl = 5, kServerOffset = 100;
} // namespace Telnet

// `count` data bytes as telnet sends them: every 0xFF doubled.
QByteArray TelnetEscape(const std::uint8_t *data, std::size_t count);

// The subnegotiations that ask for 9600 baud, 8 data bits, no parity, one stop bit and no flow
// control (the unit's line), and the check of the server's answer to one of them.
QByteArray ComPortSettingsRequest();
inline constexpr int kComPortSettings = 5;
struct ComPortAnswer {
    int setting = -1; // 0..4 in the order asked; -1: no answer to a setting (a notification)
    QString differs;  // empty when the server took the setting, else what it answered, in words
};
ComPortAnswer CheckComPortAnswer(const QByteArray &subnegotiation);

} // namespace Quilo::Net
