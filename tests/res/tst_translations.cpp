// The Hungarian translation as Qt Linguist keeps it (translations/quilo_hu.ts, read as XML here)
// and as the program loads it: complete, the same placeholders and line structure as the
// English, the unit's formats and the names people type left alone; and the Hungarian start
// page built like the English one, naming the window's own words.

#include "rtfreader.h"
#include "stringtable.h"
#include "translation.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Message {
    QString context;
    QString source;
    QString translation;
    QString type; // "unfinished", "vanished", "obsolete" or empty
};

QList<Message> readTs(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QList<Message> messages;
    QXmlStreamReader xml(&file);
    QString context;
    Message m;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            m = Message{context, {}, {}, {}};
        } else if (xml.name() == u"source") {
            m.source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            m.type = xml.attributes().value(QLatin1String("type")).toString();
            m.translation = xml.readElementText();
            messages << m;
        }
    }
    if (xml.hasError())
        *error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return messages;
}

const QList<Message> &messages()
{
    static QString error;
    static const QList<Message> all = readTs(QStringLiteral(QUILO_TS_FILE), &error);
    if (!error.isEmpty())
        qWarning("%s: %s", QUILO_TS_FILE, qPrintable(error));
    return all;
}

const QRegularExpression &printfConversion()
{
    static const QRegularExpression re(QStringLiteral("%[-+ #0]*\\d*(?:\\.\\d+)?(?:hh|h|ll|l|L|q|j|z|t)?[diouxXcs]"));
    return re;
}

// printf conversions in order ("%d", "%02X", ...)
QStringList conversions(const QString &text)
{
    QStringList found;
    for (const auto &m : printfConversion().globalMatch(text))
        found << m.captured();
    return found;
}

// QString::arg places ("%1".."%99"), as a set: a translation may reorder them
QSet<int> places(QString text)
{
    text.remove(printfConversion());
    QSet<int> found;
    static const QRegularExpression re(QStringLiteral("%(\\d{1,2})"));
    for (const auto &m : re.globalMatch(text))
        found << m.captured(1).toInt();
    return found;
}

QString placesText(const QSet<int> &set)
{
    QList<int> list(set.begin(), set.end());
    std::sort(list.begin(), list.end());
    QStringList words;
    for (int n : list)
        words << QString::number(n);
    return words.join(u' ');
}

int accelerators(const QString &text)
{
    QString t = text;
    t.remove(QStringLiteral("&&"));
    return static_cast<int>(t.count(u'&'));
}

bool isUsage(const Message &m)
{
    return m.source == LoadSourceString(Str::CliUsage);
}

// The column where a section's descriptions start: of its first line that names something.
int descriptionColumn(const QStringList &lines, qsizetype first)
{
    static const QRegularExpression named(QStringLiteral("^  \\S.*?\\S  +(\\S)"));
    for (qsizetype i = first; i < lines.size() && !lines.at(i).isEmpty(); ++i)
        if (const auto m = named.match(lines.at(i)); m.hasMatch())
            return static_cast<int>(m.capturedStart(1));
    return -1;
}

// What went wrong with the columns of a usage text: every line of a section names a command
// or option and has its description at the section's column, or continues one there.
QString usageColumnFault(const QString &usage, QStringList *names)
{
    const QStringList lines = usage.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).endsWith(u':') || lines.at(i).startsWith(u' ') || i + 1 >= lines.size()
            || !lines.at(i + 1).startsWith(QStringLiteral("  ")))
            continue;
        const int column = descriptionColumn(lines, i + 1);
        if (column < 0)
            return QStringLiteral("no descriptions under \"%1\"").arg(lines.at(i));
        for (qsizetype j = i + 1; j < lines.size() && !lines.at(j).isEmpty(); ++j) {
            const QString &line = lines.at(j);
            const QString name = line.left(column);
            const QString rest = line.mid(column);
            if (line.size() <= column || rest.startsWith(u' ') || (!name.trimmed().isEmpty() && !name.endsWith(u' ')))
                return QStringLiteral("line \"%1\" is not aligned at column %2").arg(line).arg(column);
            if (!name.trimmed().isEmpty())
                *names << name.trimmed();
        }
    }
    return QString();
}

// The names a person types or a script reads, which a translation keeps as they are.
QStringList typedNames(const QString &text)
{
    static const QRegularExpression re(QStringLiteral(
        "(?<![\\w-])--?[a-z][a-z-]*|\\bCom[1-4]\\b|\\b(?:OMH|SZF|LAB|QUILO_PORTS|dialout)\\b|Ft\\.|\\*\\.[a-z]+|"
        "/dev/[\\w/.-]*\\w|quilo (?:--help|ports|read(?: [a-z-]+)?|show)\\b|sudo(?: [\\w$]+)+"));
    QStringList found;
    for (const auto &m : re.globalMatch(text))
        found << m.captured();
    return found;
}

// The texts the window shows for its commands, menus, tree and labels, as a page names them:
// without accelerators and the dots of a command that asks more.
QSet<QString> windowWords()
{
    QSet<QString> words;
    for (std::size_t i = 0; i < StringTable::count(); ++i) {
        for (QString part : LoadString(StringTable::idAt(i)).split(u'\n')) {
            part.remove(u'&');
            if (part.endsWith(QStringLiteral("...")))
                part.chop(3);
            words << part;
        }
    }
    return words;
}

Quilo::RtfText readPage(const char *name)
{
    QFile file(QStringLiteral(QUILO_SOURCE_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return Quilo::RtfReader::parse(file.readAll());
}

// What a start page calls the window's commands, tree items and labels (its bold and italic
// words in the body text) is what the window shows in the language installed.
QString pageNamesFault(const char *name)
{
    const QSet<QString> words = windowWords();
    int named = 0;
    for (const Quilo::RtfRun &run : readPage(name).runs) {
        const QString text = run.text.trimmed();
        if (run.format.halfPoints != 20 || !(run.format.bold || run.format.italic) || text.isEmpty())
            continue;
        ++named;
        if (!words.contains(text))
            return QStringLiteral("%1 names \"%2\", which the window does not show").arg(QLatin1String(name), text);
    }
    return named >= 8 ? QString() : QStringLiteral("%1 names only %2 of the window's words").arg(QLatin1String(name)).arg(named);
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT
private slots:
    void everyMessageFinished();
    void everyTableTextIsTranslatable();
    void placeholdersAndLines_data();
    void placeholdersAndLines();
    void unitFormatsKept();
    void typedNamesKept();
    void usageColumns_data();
    void usageColumns();
    void startPagesMatch();
    void englishStartPageNamesWindowWords();
    void languageChosen();
    // from here on the Hungarian translation is installed
    void hungarianLoaded();
    void hungarianStartPageNamesWindowWords();
};

void TestTranslations::everyMessageFinished()
{
    QVERIFY(messages().size() > 300);
    for (const Message &m : messages()) {
        QVERIFY2(m.type.isEmpty(), qPrintable(m.type + QStringLiteral(": ") + m.source));
        QVERIFY2(!m.translation.isEmpty(), qPrintable(m.source));
    }
}

// Every text of the table reaches Qt Linguist (the build's lupdate found its QT_TRANSLATE_NOOP).
void TestTranslations::everyTableTextIsTranslatable()
{
    QSet<QString> sources;
    for (const Message &m : messages())
        if (m.context == u"Quilo")
            sources << m.source;
    for (std::size_t i = 0; i < StringTable::count(); ++i) {
        const unsigned id = StringTable::idAt(i);
        QVERIFY2(sources.contains(LoadSourceString(id)), qPrintable(QString::number(id)));
    }
}

void TestTranslations::placeholdersAndLines_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");
    for (const Message &m : messages())
        QTest::addRow("%s: %s", qPrintable(m.context), qPrintable(m.source.left(60).replace(u'\n', u'|'))) << m.source << m.translation;
}

// The same values in the same places: the arguments of QString::arg by number, printf's in
// order (they are filled in order); one line for each of the source's (a command's prompt and
// short name, the document string's fields, a question's lines), and an accelerator where the
// source has one.
void TestTranslations::placeholdersAndLines()
{
    QFETCH(QString, source);
    QFETCH(QString, translation);
    QCOMPARE(placesText(places(translation)), placesText(places(source)));
    QCOMPARE(conversions(translation), conversions(source));
    if (source != LoadSourceString(Str::CliUsage))
        QCOMPARE(translation.count(u'\n'), source.count(u'\n'));
    QCOMPARE(accelerators(translation), accelerators(source));
    QCOMPARE(translation.endsWith(u' '), source.endsWith(u' ')); // a question's answer follows it
}

// A text that is only a value's form ("%d Ft.", "%s:%s", "20%02X", "Com2") is the unit's own.
void TestTranslations::unitFormatsKept()
{
    static const QRegularExpression words(QStringLiteral("[^\\W\\d_]"));
    int formats = 0;
    for (const Message &m : messages()) {
        QString letters = m.source;
        letters.remove(printfConversion()).remove(QStringLiteral("Ft.")).remove(QRegularExpression(QStringLiteral("^Com[1-4]$")));
        if (letters.contains(words))
            continue;
        ++formats;
        QCOMPARE(m.translation, m.source);
    }
    QVERIFY(formats >= 12);
    // the document string's file fields are names, not words
    for (const Message &m : messages()) {
        if (m.source != LoadSourceString(Str::DocString))
            continue;
        const QStringList source = m.source.split(u'\n');
        const QStringList translated = m.translation.split(u'\n');
        QCOMPARE(translated.size(), 7);
        QCOMPARE(translated.at(0), source.at(0)); // the window's title: the product's name
        QCOMPARE(translated.at(4), source.at(4)); // the file suffix
        QCOMPARE(translated.at(5), source.at(5)); // the file type's identifier
    }
}

// Options, ports, groups, amounts, file patterns, devices and commands are typed as they are.
void TestTranslations::typedNamesKept()
{
    for (const Message &m : messages()) {
        for (const QString &name : typedNames(m.source))
            QVERIFY2(m.translation.contains(name), qPrintable(QStringLiteral("\"%1\" lost from: %2").arg(name, m.translation)));
    }
}

void TestTranslations::usageColumns_data()
{
    QTest::addColumn<QString>("usage");
    QTest::newRow("English") << LoadSourceString(Str::CliUsage);
    for (const Message &m : messages())
        if (isUsage(m))
            QTest::newRow("Hungarian") << m.translation;
}

// The help of quilo: commands and options in their columns, with the same names as English.
void TestTranslations::usageColumns()
{
    QFETCH(QString, usage);
    QStringList names;
    const QString fault = usageColumnFault(usage, &names);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QStringList english;
    QVERIFY(usageColumnFault(LoadSourceString(Str::CliUsage), &english).isEmpty());
    QCOMPARE(names.size(), english.size());
    for (qsizetype i = 0; i < names.size(); ++i) // the command or option word, not its value's name
        QCOMPARE(names.at(i).section(u' ', 0, 0), english.at(i).section(u' ', 0, 0));
    for (const QString &line : usage.split(u'\n'))
        QVERIFY2(line.size() <= 100, qPrintable(line));
}

// Paragraph for paragraph and format for format the Hungarian start page is the English one.
void TestTranslations::startPagesMatch()
{
    const Quilo::RtfText english = readPage("wtarvel.rtf");
    const Quilo::RtfText hungarian = readPage("wtarvel_hu.rtf");
    QVERIFY(english.isRtf && hungarian.isRtf);
    QVERIFY(!english.truncated && !hungarian.truncated);
    QCOMPARE(hungarian.colors, english.colors);
    QCOMPARE(hungarian.plainText().count(u'\n'), english.plainText().count(u'\n'));
    QCOMPARE(hungarian.runs.size(), english.runs.size());
    for (qsizetype i = 0; i < english.runs.size(); ++i)
        QVERIFY2(hungarian.runs.at(i).format == english.runs.at(i).format, qPrintable(hungarian.runs.at(i).text));
    // the code page's letters arrive as letters
    QVERIFY(hungarian.plainText().contains(u"Számlálók"));
    QVERIFY(hungarian.plainText().contains(u"őket"));
}

void TestTranslations::languageChosen()
{
    QCOMPARE(Quilo::ChooseLanguage(u"hu_HU.UTF-8"_qs), u"hu"_qs);
    QCOMPARE(Quilo::ChooseLanguage(u"hu"_qs), u"hu"_qs);
    QCOMPARE(Quilo::ChooseLanguage(u"HU_hu"_qs), u"hu"_qs);
    QCOMPARE(Quilo::ChooseLanguage(u"en_US.UTF-8"_qs), u"en"_qs);
    QCOMPARE(Quilo::ChooseLanguage(u"de_DE"_qs), u"en"_qs); // not spoken: the program's own
    QCOMPARE(Quilo::ChooseLanguage(u"C"_qs), u"en"_qs);
    QCOMPARE(Quilo::LanguageArgument({u"quilo"_qs, u"--lang"_qs, u"hu"_qs, u"read"_qs}), u"hu"_qs);
    QCOMPARE(Quilo::LanguageArgument({u"quilo"_qs, u"--lang=hu"_qs}), u"hu"_qs);
    QCOMPARE(Quilo::LanguageArgument({u"quilo"_qs, u"--"_qs, u"--lang"_qs, u"hu"_qs}), QString());
}

void TestTranslations::hungarianLoaded()
{
    QCOMPARE(LoadString(Str::TreeCounters), u"Counters"_qs);
    QCOMPARE(Quilo::InstallTranslation(u"hu"_qs), u"hu"_qs);
    QCOMPARE(Quilo::CurrentLanguage(), u"hu"_qs);
    QCOMPARE(LoadString(Str::TreeCounters), u"Számlálók"_qs);
    QCOMPARE(LoadString(Str::TitleDaily), u"Napi napló"_qs);
    QCOMPARE(LoadString(Str::MenuFile), u"&Fájl"_qs);
    QCOMPARE(LoadString(Str::FmtMoney), u"%d Ft."_qs);
    // what scripts read stays the program's own
    QCOMPARE(LoadSourceString(Str::TreeCounters), u"Counters"_qs);
    {
        const CSourceTexts english;
        QCOMPARE(LoadString(Str::TitleDaily), u"Daily log"_qs);
    }
    QCOMPARE(LoadString(Str::TitleDaily), u"Napi napló"_qs);
    // the simulated unit's words, and Qt's own that the program's translation carries
    QCOMPARE(QCoreApplication::translate("quilo-sim", "expected a text"), u"szöveg kell"_qs);
    QVERIFY(QCoreApplication::translate("QCommandLineParser", "Displays help on commandline options.")
            != u"Displays help on commandline options."_qs);
    QVERIFY(QCoreApplication::translate("QCommandLineParser", "Displays version information.")
            != u"Displays version information."_qs);
    // every table text comes out translated as the .ts has it
    for (const Message &m : messages())
        if (m.context == u"Quilo")
            QCOMPARE(QCoreApplication::translate("Quilo", m.source.toUtf8().constData()), m.translation);
}

void TestTranslations::englishStartPageNamesWindowWords()
{
    QCOMPARE(Quilo::CurrentLanguage(), u"en"_qs);
    const QString fault = pageNamesFault("wtarvel.rtf");
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void TestTranslations::hungarianStartPageNamesWindowWords()
{
    QCOMPARE(Quilo::CurrentLanguage(), u"hu"_qs);
    const QString fault = pageNamesFault("wtarvel_hu.rtf");
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
