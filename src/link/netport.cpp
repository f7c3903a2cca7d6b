#include "netport.h"

#include "stringtable.h"

#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Quilo::Net {

namespace {

struct SchemeRow {
    const char *name;
    Protocol protocol;
    bool tls;
};
constexpr SchemeRow kSchemes[] = {
    {"tcp", Protocol::Raw, false},
    {"rfc2217", Protocol::Rfc2217, false},
    {"tcp+tls", Protocol::Raw, true},
    {"rfc2217+tls", Protocol::Rfc2217, true},
};

QMutex g_optionsMutex;
std::optional<Options> g_options;

} // namespace

QString Address::text() const
{
    QString scheme;
    for (const SchemeRow &row : kSchemes)
        if (row.protocol == protocol && row.tls == tls)
            scheme = QLatin1String(row.name);
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return u"%1://%2:%3"_s.arg(scheme, shownHost).arg(port);
}

bool LooksLikeNetworkPort(const QString &text)
{
    static const QRegularExpression url(u"^[A-Za-z][A-Za-z0-9+.-]*://"_s);
    return url.match(text.trimmed()).hasMatch();
}

ParsedAddress ParseAddress(const QString &raw)
{
    const QString text = raw.trimmed();
    const qsizetype sep = text.indexOf(u"://"_s);
    if (sep < 0)
        return {std::nullopt, LoadString(Str::NetProblemScheme).arg(text)};
    const QString scheme = text.left(sep).toLower();
    const auto row = std::find_if(std::begin(kSchemes), std::end(kSchemes),
                                  [&](const SchemeRow &r) { return scheme == QLatin1String(r.name); });
    if (row == std::end(kSchemes))
        return {std::nullopt, LoadString(Str::NetProblemScheme).arg(text.left(sep))};

    Address a;
    a.protocol = row->protocol;
    a.tls = row->tls;
    QString rest = text.mid(sep + 3);
    if (rest.endsWith(u'/')) // "tcp://host:4001/" as a browser would write it
        rest.chop(1);
    QString portText;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0 || rest.mid(close + 1, 1) != u":"_s)
            return {std::nullopt, LoadString(Str::NetProblemHostPort)};
        a.host = rest.mid(1, close - 1);
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        if (colon < 0)
            return {std::nullopt, LoadString(Str::NetProblemHostPort)};
        a.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (a.host.contains(u':'))
            return {std::nullopt, LoadString(Str::NetProblemHostPort)};
    }
    // A host name is letters, digits, dots, dashes and underscores (an IPv6 address: hex and
    // colons); anything else (a path, a user, blanks, control characters) is a typing error.
    static const QRegularExpression hostChars(u"^[A-Za-z0-9._:%-]+$"_s);
    if (a.host.isEmpty() || a.host.size() > 253 || !hostChars.match(a.host).hasMatch())
        return {std::nullopt, LoadString(Str::NetProblemHostPort)};
    static const QRegularExpression digits(u"^[0-9]{1,5}$"_s);
    const int port = digits.match(portText).hasMatch() ? portText.toInt() : 0;
    if (port < 1 || port > 65535)
        return {std::nullopt, LoadString(Str::NetProblemPort).arg(portText)};
    a.port = static_cast<std::uint16_t>(port);
    return {a, QString()};
}

void SetOptions(const Options &options)
{
    QMutexLocker lock(&g_optionsMutex);
    g_options = options;
}

void ClearOptions()
{
    QMutexLocker lock(&g_optionsMutex);
    g_options.reset();
}

Options CurrentOptions()
{
    {
        QMutexLocker lock(&g_optionsMutex);
        if (g_options)
            return *g_options;
    }
    // The same settings file as the port names.
    QSettings settings{u"Local AppWizard-Generated Applications"_s, u"tarvel"_s};
    settings.beginGroup(u"Network"_s);
    Options o;
    o.caFile = settings.value(u"CaFile"_s).toString();
    o.certFile = settings.value(u"CertFile"_s).toString();
    o.keyFile = settings.value(u"KeyFile"_s).toString();
    bool ok = false;
    const int seconds = settings.value(u"ConnectTimeout"_s).toInt(&ok);
    if (ok && seconds > 0 && seconds <= kMaxConnectTimeoutS)
        o.connectTimeoutMs = seconds * 1000;
    return o;
}

CTelnetDecoder::Event CTelnetDecoder::feed(std::uint8_t byte, std::uint8_t &data)
{
    using namespace Telnet;
    switch (m_state) {
    case State::Data:
        if (byte == kIac) {
            m_state = State::Iac;
            return Event::None;
        }
        data = byte;
        return Event::Data;
    case State::Iac:
        if (byte == kIac) { // a doubled 0xFF is one data byte
            m_state = State::Data;
            data = byte;
            return Event::Data;
        }
        if (byte >= kWill) {
            m_command = byte;
            m_state = State::Option;
            return Event::None;
        }
        if (byte == kSb) {
            m_sub.clear();
            m_state = State::Sub;
            return Event::None;
        }
        m_state = State::Data; // NOP, go-ahead, a stray SE ...: nothing a line client acts on
        return Event::None;
    case State::Option:
        m_state = State::Data;
        m_option = byte;
        switch (m_command) {
        case kWill: return Event::Will;
        case kWont: return Event::Wont;
        case kDo: return Event::Do;
        default: return Event::Dont;
        }
    case State::Sub:
        if (byte == kIac)
            m_state = State::SubIac;
        else if (static_cast<std::size_t>(m_sub.size()) < kMaxSubnegotiation)
            m_sub.append(static_cast<char>(byte));
        return Event::None;
    case State::SubIac:
        if (byte == kSe) {
            m_state = State::Data;
            return m_sub.isEmpty() ? Event::None : Event::Subnegotiation;
        }
        if (byte == kIac) {
            m_state = State::Sub;
            if (static_cast<std::size_t>(m_sub.size()) < kMaxSubnegotiation)
                m_sub.append(static_cast<char>(byte));
            return Event::None;
        }
        // IAC and anything else inside a subnegotiation: a broken one; start over with the
        // byte as a command, as a telnet peer would read it.
        m_state = State::Iac;
        return feed(byte, data);
    }
    return Event::None;
}

QByteArray TelnetEscape(const std::uint8_t *data, std::size_t count)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(count) + 8);
    for (std::size_t i = 0; i < count; ++i) {
        out.append(static_cast<char>(data[i]));
        if (data[i] == Telnet::kIac)
            out.append(static_cast<char>(Telnet::kIac));
    }
    return out;
}

namespace {

// The values asked for, in the order of kSetBaudRate..kSetControl: 9600 baud, 8 data bits,
// parity 1 (none), stop size 1 (one), control 1 (no flow control).
constexpr std::uint32_t kWanted[kComPortSettings] = {9600, 8, 1, 1, 1};

QByteArray subnegotiation(std::uint8_t command, const QByteArray &value)
{
    using namespace Telnet;
    QByteArray out;
    out.append(static_cast<char>(kIac)).append(static_cast<char>(kSb)).append(static_cast<char>(kComPort));
    out.append(static_cast<char>(command));
    for (const char c : value) {
        out.append(c);
        if (static_cast<std::uint8_t>(c) == kIac)
            out.append(c);
    }
    out.append(static_cast<char>(kIac)).append(static_cast<char>(kSe));
    return out;
}

} // namespace

QByteArray ComPortSettingsRequest()
{
    QByteArray out;
    const std::uint32_t baud = kWanted[0];
    const char baudBytes[4] = {static_cast<char>(baud >> 24), static_cast<char>((baud >> 16) & 0xFF),
                               static_cast<char>((baud >> 8) & 0xFF), static_cast<char>(baud & 0xFF)};
    out += subnegotiation(Telnet::kSetBaudRate, QByteArray(baudBytes, 4));
    for (std::uint8_t command = Telnet::kSetDataSize; command <= Telnet::kSetControl; ++command)
        out += subnegotiation(command, QByteArray(1, static_cast<char>(kWanted[command - 1])));
    return out;
}

ComPortAnswer CheckComPortAnswer(const QByteArray &sub)
{
    using namespace Telnet;
    if (sub.size() < 3 || static_cast<std::uint8_t>(sub.at(0)) != kComPort)
        return {};
    const int command = static_cast<std::uint8_t>(sub.at(1)) - kServerOffset;
    if (command < kSetBaudRate || command > kSetControl)
        return {};
    const int setting = command - kSetBaudRate;
    std::uint32_t value = 0;
    if (command == kSetBaudRate) {
        if (sub.size() < 6)
            return {setting, LoadString(Str::NetAnswerBaud).arg(QString::fromLatin1(sub.mid(2).toHex(' ')))};
        for (int i = 2; i < 6; ++i)
            value = (value << 8) | static_cast<std::uint8_t>(sub.at(i));
    } else {
        value = static_cast<std::uint8_t>(sub.at(2));
    }
    if (value == kWanted[setting])
        return {setting, QString()};
    static constexpr unsigned kWords[kComPortSettings] = {Str::NetAnswerBaud, Str::NetAnswerDataSize,
                                                          Str::NetAnswerParity, Str::NetAnswerStopSize,
                                                          Str::NetAnswerControl};
    return {setting, LoadString(kWords[setting]).arg(value)};
}

} // namespace Quilo::Net
