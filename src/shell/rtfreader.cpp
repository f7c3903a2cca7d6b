#include "rtfreader.h"

#include "codepage.h"

#include <QColor>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <string_view>

namespace Quilo {

namespace {

constexpr QChar kParagraph(0x2029);
constexpr QChar kLine(0x2028);
constexpr int kMaxColors = 1024;
constexpr int kMaxUnicodeSkip = 16;
constexpr int kParamLimit = 1000000000; // parameters saturate here instead of overflowing

// Groups whose text is not part of the page.
constexpr std::array<std::string_view, 28> kSkippedDestinations{
    "fonttbl", "stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf",
    "footer", "footerl", "footerr", "footerf", "fldinst", "themedata", "colorschememapping",
    "latentstyles", "datastore", "listtable", "listoverridetable", "rsidtbl", "generator",
    "filetbl", "revtbl", "xmlnstbl", "footnote", "pntext", "nonshppict"};

struct GroupState {
    RtfFormat format;
    int uc = 1;
    bool skip = false;
    bool colorTable = false;
};

struct ControlWord {
    std::string_view name;
    bool hasParam = false;
    int param = 0;
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

class Parser
{
public:
    explicit Parser(const QByteArray &in) : m_in(in), m_stack{GroupState{}} {}

    RtfText run()
    {
        m_out.isRtf = m_in.startsWith("{\\rtf");
        while (m_pos < m_in.size() && !m_out.truncated) {
            const char c = m_in.at(m_pos++);
            switch (c) {
            case '{':
                openGroup();
                break;
            case '}':
                closeGroup();
                break;
            case '\\':
                if (!escape())
                    m_groupStart = false;
                break;
            case '\r':
            case '\n':
                break;
            default:
                m_groupStart = false;
                if (m_dropDepth > 0)
                    break;
                if (c == '\t')
                    text(QLatin1Char('\t'));
                else if (static_cast<unsigned char>(c) >= 0x20)
                    text(DecodeCp1250(static_cast<std::uint8_t>(c)), c);
                break;
            }
        }
        return m_out;
    }

private:
    GroupState &state() { return m_stack.last(); }

    void openGroup()
    {
        m_pendingSkip = 0;
        if (m_dropDepth > 0 || m_stack.size() > RtfReader::kMaxDepth) { // the root is no group
            ++m_dropDepth;
            return;
        }
        m_stack.append(m_stack.last());
        m_groupStart = true;
        m_starred = false;
    }

    void closeGroup()
    {
        m_pendingSkip = 0;
        m_groupStart = false;
        if (m_dropDepth > 0) {
            --m_dropDepth;
            return;
        }
        if (m_stack.size() > 1) // a stray '}' at the outermost level is ignored
            m_stack.removeLast();
    }

    // True when the escape was "\*", which leaves the group's start open for its destination.
    bool escape()
    {
        if (m_pos >= m_in.size())
            return false;
        const char c = m_in.at(m_pos);
        if (isLetter(c)) {
            const ControlWord word = controlWord();
            if (m_dropDepth > 0)
                return false;
            if (m_pendingSkip > 0) {
                --m_pendingSkip;
                if (word.name == "bin")
                    skipBinary(word);
                return false;
            }
            apply(word);
            return false;
        }
        ++m_pos;
        if (m_dropDepth > 0)
            return false;
        if (c == '\'') {
            // \'hh: one byte of the 8-bit code page; an incomplete escape is dropped
            const int high = m_pos < m_in.size() ? hexValue(m_in.at(m_pos)) : -1;
            const int low = m_pos + 1 < m_in.size() ? hexValue(m_in.at(m_pos + 1)) : -1;
            if (high < 0 || low < 0) {
                if (high >= 0)
                    ++m_pos;
                return false;
            }
            m_pos += 2;
            const auto byte = static_cast<std::uint8_t>(high * 16 + low);
            text(DecodeCp1250(byte), static_cast<char>(byte));
            return false;
        }
        if (c == '*') {
            m_starred = m_groupStart;
            return m_groupStart;
        }
        if (m_pendingSkip > 0) {
            --m_pendingSkip;
            return false;
        }
        switch (c) {
        case '\\':
        case '{':
        case '}':
            text(QLatin1Char(c));
            break;
        case '~':
            text(QChar(0x00A0));
            break;
        case '_':
            text(QChar(0x2011));
            break;
        case '\r':
        case '\n':
            text(kParagraph);
            break;
        default: // \- (optional hyphen) and unknown symbols show nothing
            break;
        }
        return false;
    }

    ControlWord controlWord()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_in.size() && isLetter(m_in.at(m_pos)))
            ++m_pos;
        ControlWord word;
        word.name = std::string_view(m_in.constData() + start, static_cast<std::size_t>(m_pos - start));
        bool negative = false;
        if (m_pos + 1 < m_in.size() && m_in.at(m_pos) == '-' && isDigit(m_in.at(m_pos + 1))) {
            negative = true;
            ++m_pos;
        }
        if (m_pos < m_in.size() && isDigit(m_in.at(m_pos))) {
            word.hasParam = true;
            long long value = 0;
            while (m_pos < m_in.size() && isDigit(m_in.at(m_pos))) {
                value = std::min<long long>(value * 10 + (m_in.at(m_pos) - '0'), kParamLimit);
                ++m_pos;
            }
            word.param = static_cast<int>(negative ? -value : value);
        }
        if (m_pos < m_in.size() && m_in.at(m_pos) == ' ')
            ++m_pos;
        return word;
    }

    void skipBinary(const ControlWord &word)
    {
        if (word.param > 0)
            m_pos += std::min<qsizetype>(word.param, m_in.size() - m_pos);
    }

    bool startsDestination(std::string_view name) const
    {
        if (!m_groupStart || m_stack.size() < 2)
            return false;
        return m_starred
            || std::find(kSkippedDestinations.begin(), kSkippedDestinations.end(), name)
                   != kSkippedDestinations.end();
    }

    void apply(const ControlWord &w)
    {
        GroupState &s = state();
        if (startsDestination(w.name)) {
            s.skip = true;
            return;
        }
        if (w.name == "colortbl" && m_groupStart && m_stack.size() >= 2) {
            s.skip = true;
            s.colorTable = true;
            m_out.colors.clear();
            m_out.colorIsAuto.clear();
            startColor();
            return;
        }
        const bool on = !w.hasParam || w.param != 0;
        if (w.name == "par" || w.name == "sect" || w.name == "page")
            text(kParagraph);
        else if (w.name == "line")
            text(kLine);
        else if (w.name == "tab")
            text(QLatin1Char('\t'));
        else if (w.name == "b")
            s.format.bold = on;
        else if (w.name == "i")
            s.format.italic = on;
        else if (w.name == "ul")
            s.format.underline = on;
        else if (w.name == "ulnone")
            s.format.underline = false;
        else if (w.name == "plain")
            s.format = RtfFormat{};
        else if (w.name == "fs")
            s.format.halfPoints = w.hasParam && w.param > 0 ? std::min(w.param, RtfReader::kMaxHalfPoints)
                                                            : RtfFormat{}.halfPoints;
        else if (w.name == "cf")
            s.format.colorIndex = std::max(w.param, 0);
        else if (w.name == "uc")
            s.uc = std::clamp(w.param, 0, kMaxUnicodeSkip);
        else if (w.name == "u")
            unicode(w);
        else if (w.name == "bin")
            skipBinary(w);
        else if (w.name == "red" || w.name == "green" || w.name == "blue")
            colorComponent(w);
        else if (w.name == "emdash")
            text(QChar(0x2014));
        else if (w.name == "endash")
            text(QChar(0x2013));
        else if (w.name == "bullet")
            text(QChar(0x2022));
        else if (w.name == "lquote")
            text(QChar(0x2018));
        else if (w.name == "rquote")
            text(QChar(0x2019));
        else if (w.name == "ldblquote")
            text(QChar(0x201C));
        else if (w.name == "rdblquote")
            text(QChar(0x201D));
    }

    void unicode(const ControlWord &w)
    {
        // \uN is a signed 16-bit value; surrogate halves arrive as two escapes and pair up in
        // the UTF-16 text by themselves
        int value = w.param;
        if (value < 0)
            value += 65536;
        if (value > 0 && value <= 0xFFFF)
            text(QChar(static_cast<char16_t>(value)));
        m_pendingSkip = state().uc;
    }

    void startColor()
    {
        m_red = m_green = m_blue = 0;
        m_colorSet = false;
    }

    void colorComponent(const ControlWord &w)
    {
        if (!state().colorTable)
            return;
        const int v = std::clamp(w.param, 0, 255);
        if (w.name == "red")
            m_red = v;
        else if (w.name == "green")
            m_green = v;
        else
            m_blue = v;
        m_colorSet = true;
    }

    // One character of text; `raw` is the byte it came from, for the colour table's ';'.
    void text(QChar ch, char raw = 0)
    {
        if (m_pendingSkip > 0) {
            --m_pendingSkip;
            return;
        }
        GroupState &s = state();
        if (s.colorTable) {
            if (raw == ';' && m_out.colors.size() < kMaxColors) {
                m_out.colors.append(qRgb(m_red, m_green, m_blue));
                m_out.colorIsAuto.append(!m_colorSet);
                startColor();
            }
            return;
        }
        if (s.skip)
            return;
        const bool newRun = m_out.runs.isEmpty() || !(m_out.runs.last().format == s.format);
        const bool newParagraph = ch == kParagraph || ch == kLine;
        if ((newRun && m_out.runs.size() >= RtfReader::kMaxRuns)
            || (newParagraph && m_paragraphs >= RtfReader::kMaxParagraphs) || m_characters >= RtfReader::kMaxCharacters) {
            m_out.truncated = true;
            return;
        }
        if (newRun)
            m_out.runs.append(RtfRun{QString(), s.format});
        m_out.runs.last().text.append(ch);
        m_paragraphs += newParagraph ? 1 : 0;
        ++m_characters;
    }

    const QByteArray &m_in;
    qsizetype m_pos = 0;
    QList<GroupState> m_stack;
    int m_dropDepth = 0;    // groups nested too deep, dropped with everything inside
    int m_pendingSkip = 0;  // fallback characters still to skip after \uN
    bool m_groupStart = false;
    bool m_starred = false; // "\*" opened this group: an optional destination
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
    int m_paragraphs = 0;
    int m_characters = 0;
    RtfText m_out;
};

} // namespace

QString RtfText::plainText() const
{
    QString all;
    for (const RtfRun &run : runs)
        all += run.text;
    all.replace(kParagraph, QLatin1Char('\n'));
    return all;
}

const RtfRun *RtfText::runAt(qsizetype position) const
{
    for (const RtfRun &run : runs) {
        if (position < run.text.size())
            return &run;
        position -= run.text.size();
    }
    return nullptr;
}

RtfText RtfReader::parse(const QByteArray &rtf)
{
    return Parser(rtf).run();
}

namespace {

// A line with no place to break it is laid out again and again while the layout looks for one
// (a word of 500,000 characters took half a minute): a word longer than any line gets a
// zero-width space, a place to break that shows nothing, every so many characters.
constexpr int kLongestWord = 120;

QString withBreaks(const QString &text, int &wordLength)
{
    QString out;
    out.reserve(text.size() + text.size() / kLongestWord);
    for (const QChar c : text) {
        wordLength = c.isSpace() ? 0 : wordLength + 1;
        if (wordLength > kLongestWord) {
            out += QChar(0x200B);
            wordLength = 1;
        }
        out += c;
    }
    return out;
}

} // namespace

void RtfReader::fill(const RtfText &text, QTextDocument &document)
{
    document.clear();
    QTextCursor cursor(&document);
    int wordLength = 0; // a word goes on across a change of format
    for (const RtfRun &run : text.runs) {
        QTextCharFormat format;
        format.setFontWeight(run.format.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(run.format.italic);
        format.setFontUnderline(run.format.underline);
        format.setFontPointSize(run.format.halfPoints / 2.0);
        const int c = run.format.colorIndex;
        if (c > 0 && c < text.colors.size() && !text.colorIsAuto.at(c))
            format.setForeground(QColor(text.colors.at(c)));
        cursor.insertText(withBreaks(run.text, wordLength), format);
    }
    cursor.movePosition(QTextCursor::Start);
}

} // namespace Quilo
