#pragma once
// A small reader for the rich text of the start page: paragraphs, line breaks, tabs, bold,
// italic, underline, font sizes, colours, 8-bit and Unicode escapes. Destinations it does not
// know (font table, style sheet, pictures...) are skipped. Any byte sequence is accepted: what
// cannot be understood is dropped, never trusted.

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <QString>

class QTextDocument;

namespace Quilo {

struct RtfFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;     // \fsN: font size in half points
    int colorIndex = 0;      // \cfN: entry of the colour table, 0 the default colour
    friend bool operator==(const RtfFormat &, const RtfFormat &) = default;
};

// A stretch of text in one format. Paragraph ends are U+2029, line breaks U+2028.
struct RtfRun {
    QString text;
    RtfFormat format;
};

struct RtfText {
    QList<RtfRun> runs;
    QList<QRgb> colors;      // the colour table; index 0 is the first entry written
    QList<bool> colorIsAuto; // entries written as ";" alone mean the default colour
    bool isRtf = false;      // the input began with "{\rtf"
    bool truncated = false;  // a limit of RtfReader was reached: the rest was dropped

    QString plainText() const; // paragraph ends as '\n'
    // The run that holds character `position` of plainText(), or nullptr.
    const RtfRun *runAt(qsizetype position) const;
};

class RtfReader
{
public:
    static constexpr int kMaxDepth = 64;       // deeper groups are dropped whole
    static constexpr int kMaxHalfPoints = 400; // 200 pt; larger sizes are clamped
    // What one page may build, whatever the file holds: a start page is a few screens, and a
    // text document of millions of paragraphs or format changes would keep the window busy
    // for many seconds. Text beyond these is dropped.
    static constexpr int kMaxParagraphs = 5000; // paragraph ends and line breaks
    static constexpr int kMaxRuns = 5000;
    static constexpr int kMaxCharacters = 500000;

    static RtfText parse(const QByteArray &rtf);
    // Replaces the document's content with the formatted text.
    static void fill(const RtfText &text, QTextDocument &document);
};

} // namespace Quilo
