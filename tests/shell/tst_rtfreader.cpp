#include "rtfreader.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

using Quilo::RtfReader;

class TestRtfReader : public QObject
{
    Q_OBJECT
private slots:
    void text_data();
    void text();
    void format_data();
    void format();
    void malformedNeverFails_data();
    void malformedNeverFails();
    void colourTable();
    void fillsDocument();
};

void TestRtfReader::text_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("paragraphs") << QByteArray("{\\rtf1 one\\par two\\par}") << u"one\ntwo\n"_qs;
    QTest::newRow("line and tab") << QByteArray("{\\rtf1 a\\line b\\tab c}") << u"a\u2028b\tc"_qs;
    QTest::newRow("space after word is eaten") << QByteArray("{\\rtf1 \\b bold\\b0  x}") << u"bold x"_qs;
    QTest::newRow("raw newlines ignored") << QByteArray("{\\rtf1 a\r\nb}") << u"ab"_qs;
    QTest::newRow("escaped newline is a paragraph") << QByteArray("{\\rtf1 a\\\nb}") << u"a\nb"_qs;
    QTest::newRow("literal braces and backslash") << QByteArray("{\\rtf1 \\{x\\}\\\\}") << u"{x}\\"_qs;
    QTest::newRow("8-bit escapes in 1250") << QByteArray("{\\rtf1 \\'f5\\'fb\\'e8\\'b3}") << u"őűčł"_qs;
    QTest::newRow("raw 8-bit bytes in 1250") << QByteArray("{\\rtf1 \xf5}") << u"ő"_qs;
    QTest::newRow("unicode skips one fallback") << QByteArray("{\\rtf1 \\u337?x}") << u"őx"_qs;
    QTest::newRow("uc2 skips two") << QByteArray("{\\rtf1\\uc2 \\u337??x}") << u"őx"_qs;
    QTest::newRow("uc0 skips none") << QByteArray("{\\rtf1\\uc0 \\u337 x}") << u"őx"_qs;
    QTest::newRow("fallback escape counts as one") << QByteArray("{\\rtf1 \\u269\\'e8x}") << u"čx"_qs;
    QTest::newRow("negative unicode") << QByteArray("{\\rtf1 \\u-3?}") << QString(QChar(0xFFFD));
    QTest::newRow("surrogate pair") << QByteArray("{\\rtf1 \\u-10179?\\u-8704?}") << u"\U0001F600"_qs;
    QTest::newRow("uc is scoped to its group") << QByteArray("{\\rtf1 {\\uc3 a}\\u337?b}") << u"aőb"_qs;
    QTest::newRow("font table skipped") << QByteArray("{\\rtf1{\\fonttbl{\\f0 Arial;}}x}") << u"x"_qs;
    QTest::newRow("style sheet and info skipped")
        << QByteArray("{\\rtf1{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}}x}") << u"x"_qs;
    QTest::newRow("starred destination skipped") << QByteArray("{\\rtf1{\\*\\generator Writer;}x}") << u"x"_qs;
    QTest::newRow("unknown starred skipped") << QByteArray("{\\rtf1{\\*\\zzz {nested} text}x}") << u"x"_qs;
    QTest::newRow("picture skipped") << QByteArray("{\\rtf1{\\pict\\pngblip 89504e47}x}") << u"x"_qs;
    QTest::newRow("binary data skipped") << QByteArray("{\\rtf1 a\\bin3 {}\\b}") << u"ab"_qs;
    QTest::newRow("named punctuation") << QByteArray("{\\rtf1 \\emdash\\bullet\\ldblquote}") << u"—•“"_qs;
    QTest::newRow("non-breaking space") << QByteArray("{\\rtf1 a\\~b}") << u"a\u00A0b"_qs;
    QTest::newRow("not rtf: plain text") << QByteArray("hello") << u"hello"_qs;
}

void TestRtfReader::text()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    QCOMPARE(RtfReader::parse(rtf).plainText(), expected);
}

void TestRtfReader::format_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<int>("halfPoints");

    const QByteArray mixed("{\\rtf1 a\\b b\\i c\\b0 d\\ul e\\ulnone f\\plain g}");
    QTest::newRow("plain start") << mixed << 0 << false << false << false << 24;
    QTest::newRow("bold") << mixed << 1 << true << false << false << 24;
    QTest::newRow("bold italic") << mixed << 2 << true << true << false << 24;
    QTest::newRow("b0 ends bold") << mixed << 3 << false << true << false << 24;
    QTest::newRow("underline") << mixed << 4 << false << true << true << 24;
    QTest::newRow("ulnone") << mixed << 5 << false << true << false << 24;
    QTest::newRow("plain resets") << mixed << 6 << false << false << false << 24;
    QTest::newRow("group restores") << QByteArray("{\\rtf1 {\\b\\fs40 a}b}") << 1 << false << false << false << 24;
    QTest::newRow("font size") << QByteArray("{\\rtf1 \\fs40 a}") << 0 << false << false << false << 40;
    QTest::newRow("huge size clamped") << QByteArray("{\\rtf1 \\fs99999999999999999999 a}") << 0 << false << false
                                       << false << RtfReader::kMaxHalfPoints;
    QTest::newRow("zero size falls back") << QByteArray("{\\rtf1 \\fs0 a}") << 0 << false << false << false << 24;
}

void TestRtfReader::format()
{
    QFETCH(QByteArray, rtf);
    QFETCH(int, position);
    const Quilo::RtfText t = RtfReader::parse(rtf);
    const Quilo::RtfRun *run = t.runAt(position);
    QVERIFY(run);
    QTEST(run->format.bold, "bold");
    QTEST(run->format.italic, "italic");
    QTEST(run->format.underline, "underline");
    QTEST(run->format.halfPoints, "halfPoints");
}

void TestRtfReader::malformedNeverFails_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("unclosed group") << QByteArray("{\\rtf1 {\\b text") << u"text"_qs;
    QTest::newRow("stray closing braces") << QByteArray("}}{\\rtf1 x}}}y") << u"xy"_qs;
    QTest::newRow("truncated hex escape") << QByteArray("{\\rtf1 a\\'e") << u"a"_qs;
    QTest::newRow("bad hex escape") << QByteArray("{\\rtf1 a\\'zzb}") << u"azzb"_qs;
    QTest::newRow("backslash at end") << QByteArray("{\\rtf1 a\\") << u"a"_qs;
    QTest::newRow("unicode at end") << QByteArray("{\\rtf1 a\\u") << u"a"_qs;
    QTest::newRow("huge unicode") << QByteArray("{\\rtf1 \\u99999999999? x}") << u" x"_qs;
    QTest::newRow("huge uc") << QByteArray("{\\rtf1\\uc999999999 \\u337 abcdefghijklmnopqrstuvwxyz}")
                             << u"őqrstuvwxyz"_qs;
    QTest::newRow("binary longer than file") << QByteArray("{\\rtf1 a\\bin999999999 xyz") << u"a"_qs;
    QTest::newRow("negative binary") << QByteArray("{\\rtf1 a\\bin-5 b}") << u"ab"_qs;
    QTest::newRow("very long word") << QByteArray("{\\rtf1 \\") + QByteArray(100000, 'x') + QByteArray(" a}")
                                    << u"a"_qs;
    QTest::newRow("deep nesting dropped")
        << QByteArray("{\\rtf1 a") + QByteArray(100000, '{') + QByteArray("deep") + QByteArray(100000, '}')
               + QByteArray("b}")
        << u"ab"_qs;
    QTest::newRow("nesting within the limit kept")
        << QByteArray("{\\rtf1 ") + QByteArray(RtfReader::kMaxDepth - 1, '{') + QByteArray("in")
               + QByteArray(RtfReader::kMaxDepth - 1, '}') + QByteArray("}")
        << u"in"_qs;
    QTest::newRow("control bytes dropped") << QByteArray("{\\rtf1 a\x01\x02\x00" "b}", 13) << u"ab"_qs;
}

void TestRtfReader::malformedNeverFails()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    QCOMPARE(RtfReader::parse(rtf).plainText(), expected);
}

void TestRtfReader::colourTable()
{
    const Quilo::RtfText t =
        RtfReader::parse("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue999;}\\cf1 r\\cf2 b\\cf7 x}");
    QCOMPARE(t.colors.size(), 3);
    QVERIFY(t.colorIsAuto.at(0));
    QCOMPARE(t.colors.at(1), qRgb(255, 0, 0));
    QCOMPARE(t.colors.at(2), qRgb(0, 0, 255)); // out-of-range component clamped
    QCOMPARE(t.runAt(0)->format.colorIndex, 1);

    QTextDocument doc;
    RtfReader::fill(t, doc);
    QCOMPARE(doc.toPlainText(), u"rbx"_qs);
    QTextCursor c(&doc);
    c.setPosition(1);
    QCOMPARE(c.charFormat().foreground().color(), QColor(255, 0, 0));
    c.setPosition(3); // index past the table: the default colour
    QCOMPARE(c.charFormat().foreground().style(), Qt::NoBrush);
}

void TestRtfReader::fillsDocument()
{
    QTextDocument doc;
    doc.setPlainText(u"old"_qs);
    RtfReader::fill(RtfReader::parse("{\\rtf1 \\b one\\b0\\par \\i two}"), doc);
    QCOMPARE(doc.blockCount(), 2);
    QCOMPARE(doc.toPlainText(), u"one\ntwo"_qs);
    QTextCursor c(&doc);
    c.setPosition(1);
    QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
    c.setPosition(6);
    QVERIFY(c.charFormat().fontItalic());
    QCOMPARE(c.charFormat().fontWeight(), int(QFont::Normal));
}

QTEST_MAIN(TestRtfReader)
#include "tst_rtfreader.moc"
