#include "jsonkeys.h"

#include <QSet>

#include <algorithm>
#include <string_view>
#include <vector>

namespace Quilo {

namespace {

int hexDigit(char c)
{
    // its place among the digits, either case; -1 for any other character
    static constexpr std::string_view kDigits = "0123456789abcdef";
    const std::size_t at = kDigits.find(QChar::fromLatin1(c).toLower().toLatin1());
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// The string starting at the quote at `at`, decoded; `at` ends past its closing quote. Keys
// "a" and "\u0061" are one key to the parser, so they are one here.
QString readString(const QByteArray &json, qsizetype &at)
{
    QString text;
    const qsizetype size = json.size();
    qsizetype run = ++at; // start of the bytes taken as they are
    const auto flush = [&](qsizetype end) { text += QString::fromUtf8(json.constData() + run, end - run); };
    while (at < size && json[at] != '"') {
        if (json[at] != '\\') {
            ++at;
            continue;
        }
        flush(at);
        const char e = at + 1 < size ? json[at + 1] : '\0';
        at += 2;
        switch (e) {
        case 'b': text += QLatin1Char('\b'); break;
        case 'f': text += QLatin1Char('\f'); break;
        case 'n': text += QLatin1Char('\n'); break;
        case 'r': text += QLatin1Char('\r'); break;
        case 't': text += QLatin1Char('\t'); break;
        case 'u': {
            char16_t unit = 0;
            for (int i = 0; i < 4 && at < size; ++i, ++at)
                unit = static_cast<char16_t>(unit * 16 + std::max(0, hexDigit(json[at])));
            text += QChar(unit); // a surrogate pair comes as two escapes, and joins here
            break;
        }
        default: text += QLatin1Char(e); break; // \" \\ \/
        }
        run = at;
    }
    flush(std::min(at, size));
    ++at;
    return text;
}

} // namespace

bool FindDuplicateKey(const QByteArray &json, QString *key)
{
    // One entry per open object or array: the keys seen so far (arrays have none).
    struct Level {
        bool object = false;
        QSet<QString> keys;
    };
    std::vector<Level> open;
    bool keyNext = false; // the next string is a key: just after "{" or after "," in an object
    qsizetype at = 0;
    while (at < json.size()) {
        const char c = json[at];
        switch (c) {
        case '{':
        case '[':
            open.push_back(Level{c == '{', {}});
            keyNext = c == '{';
            ++at;
            break;
        case '}':
        case ']':
            if (!open.empty())
                open.pop_back();
            keyNext = false;
            ++at;
            break;
        case ',':
            keyNext = !open.empty() && open.back().object;
            ++at;
            break;
        case '"': {
            const bool isKey = keyNext;
            const QString text = readString(json, at);
            keyNext = false;
            if (isKey && !open.empty()) {
                QSet<QString> &keys = open.back().keys;
                const qsizetype before = keys.size();
                keys.insert(text);
                if (keys.size() == before) {
                    if (key)
                        *key = text;
                    return true;
                }
            }
            break;
        }
        default: ++at; break;
        }
    }
    if (key)
        key->clear();
    return false;
}

QString VisibleKey(const QString &key)
{
    constexpr qsizetype kShown = 64;
    QString shown;
    for (qsizetype i = 0; i < key.size() && i < kShown; ++i) {
        const QChar c = key.at(i);
        if (c.isPrint() && c != QLatin1Char('\\'))
            shown += c;
        else if (c == QLatin1Char('\\'))
            shown += QLatin1String("\\\\");
        else
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    if (key.size() > kShown)
        shown += QChar(0x2026);
    return shown;
}

} // namespace Quilo
