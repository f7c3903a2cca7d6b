#include "formatters.h"

#include "fields.h"
#include "stringtable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Quilo {

namespace {

const QString kGap = QStringLiteral("  ");

QString pad(const QString &text, qsizetype width, bool right)
{
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

QString rowNumber(int number)
{
    return FormatString(Str::RowNumber, number);
}

// Characters a terminal would act on rather than show: C0 and C1 controls (ESC starts the
// sequences that retitle or clear a terminal) and the marks that reverse the direction of text.
bool actsOnTerminal(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F
           || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

// Text from the unit, shown as data: such characters appear as their escapes (\x1b, \u202e).
QString inert(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (!actsOnTerminal(c))
            out += QString::fromUcs4(&c, 1);
        else if (c <= 0xFF)
            out += QStringLiteral("\\x%1").arg(static_cast<uint>(c), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'));
    }
    return out;
}

// A spreadsheet takes a cell that starts so as a formula; a leading apostrophe keeps it text.
QString notFormula(const QString &text)
{
    static const QString leads = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && leads.contains(text.at(0)) ? QLatin1Char('\'') + text : text;
}

void appendList(QString &out, const CExportSection &s)
{
    const bool withResult = s.failedCount() > 0;
    QStringList head{LoadString(Str::ColIdx)};
    head << s.headings;
    if (withResult)
        head << LoadString(Str::CliColResult);
    QList<QStringList> lines;
    for (const CExportRow &r : s.rows) {
        QStringList line{rowNumber(r.number)};
        for (const QString &cell : r.cells)
            line << inert(cell);
        if (withResult)
            line << (r.ok ? QString() : r.result);
        lines << line;
    }
    QList<qsizetype> widths;
    for (const QString &h : head)
        widths << h.size();
    for (const QStringList &line : lines)
        for (qsizetype c = 0; c < line.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], line.at(c).size());

    auto emitLine = [&](const QStringList &cells, bool isHead) {
        QStringList parts;
        for (qsizetype c = 0; c < cells.size() && c < widths.size(); ++c) {
            const bool right = !isHead && c >= 1 && c - 1 < s.rightAligned.size() && s.rightAligned.at(c - 1);
            parts << pad(cells.at(c), widths.at(c), right);
        }
        out += parts.join(kGap).trimmed() + QLatin1Char('\n');
    };
    emitLine(head, true);
    for (const QStringList &line : lines)
        emitLine(line, false);
}

void appendForm(QString &out, const CExportSection &s)
{
    qsizetype width = 0;
    for (const QString &h : s.headings)
        width = std::max(width, h.size());
    const bool numbered = s.rows.size() > 1;
    for (const CExportRow &r : s.rows) {
        QString indent = QStringLiteral("  ");
        if (numbered) {
            out += rowNumber(r.number) + QLatin1Char('\n');
            indent += QStringLiteral("  ");
        }
        for (qsizetype c = 0; c < s.headings.size() && c < r.cells.size(); ++c)
            out += (indent + s.headings.at(c).leftJustified(width) + kGap + inert(r.cells.at(c))).trimmed()
                       .prepend(indent) + QLatin1Char('\n');
        if (!r.ok)
            out += indent + LoadString(Str::CliColResult).leftJustified(width) + kGap + r.result + QLatin1Char('\n');
    }
}

QString csvField(const QString &text, QChar separator)
{
    const bool quote = text.contains(separator) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))
                       || text.contains(QLatin1Char('\r')) || text.startsWith(QLatin1Char(' '))
                       || text.endsWith(QLatin1Char(' '));
    if (!quote)
        return text;
    QString q = text;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString csvLine(const QStringList &fields, QChar separator)
{
    QStringList quoted;
    for (const QString &f : fields)
        quoted << csvField(f, separator);
    return quoted.join(separator) + QLatin1Char('\n');
}

} // namespace

QChar LocaleSeparator(const QLocale &locale)
{
    return locale.decimalPoint() == QLatin1String(",") ? QLatin1Char(';') : QLatin1Char(',');
}

QList<CExportSection> MergeEvents(const QList<CExportSection> &sections)
{
    QList<CExportSection> merged;
    for (const CExportSection &s : sections) {
        if (s.want.event >= 0 && !merged.isEmpty() && merged.last().want.event >= 0
            && merged.last().want.dataSet == s.want.dataSet) {
            CExportSection &events = merged.last();
            events.rows << s.rows;
            events.tried += s.tried;
            events.noReply += s.noReply;
            events.discarded += s.discarded;
            for (qsizetype c = 0; c < events.rightAligned.size() && c < s.rightAligned.size(); ++c)
                events.rightAligned[c] = events.rightAligned[c] && s.rightAligned[c];
            continue;
        }
        merged << s;
        if (s.want.event >= 0)
            merged.last().title = LoadString(s.want.titleId);
    }
    return merged;
}

QByteArray FormatTable(const QList<CExportSection> &sections)
{
    QString out;
    for (const CExportSection &s : sections) {
        if (!out.isEmpty())
            out += QLatin1Char('\n');
        out += s.title + QLatin1Char('\n');
        if (s.form)
            appendForm(out, s);
        else
            appendList(out, s);
    }
    return out.toUtf8();
}

QByteArray FormatCsv(const QList<CExportSection> &sections, QChar separator)
{
    QString out;
    const bool titled = sections.size() > 1; // one set: a plain table; several: titled blocks
    for (const CExportSection &s : sections) {
        if (titled) {
            if (!out.isEmpty())
                out += QLatin1Char('\n');
            out += csvLine({s.title}, separator);
        }
        QStringList head{LoadString(Str::ColIdx)};
        head << s.headings << LoadString(Str::CliColResult);
        out += csvLine(head, separator);
        for (const CExportRow &r : s.rows) {
            QStringList line{QString::number(r.number)};
            for (qsizetype c = 0; c < r.cells.size(); ++c)
                line << (c < s.unitText.size() && s.unitText.at(c) ? notFormula(r.cells.at(c)) : r.cells.at(c));
            line << r.result;
            out += csvLine(line, separator);
        }
    }
    return out.toUtf8();
}

QByteArray FormatJson(const QList<CExportSection> &sections, const CExportInfo &info)
{
    QJsonArray sets;
    bool complete = true;
    for (const CExportSection &s : sections) {
        QJsonArray records;
        for (const CExportRow &r : s.rows) {
            QJsonObject values;
            for (qsizetype c = 0; c < s.headings.size() && c < r.cells.size(); ++c)
                values.insert(s.headings.at(c), r.isMissing(c) ? QJsonValue(QJsonValue::Null) : QJsonValue(r.cells.at(c)));
            records.append(QJsonObject{
                {QStringLiteral("number"), r.number},
                {QStringLiteral("index"), r.index},
                {QStringLiteral("status"), r.status},
                {QStringLiteral("ok"), r.ok},
                {QStringLiteral("result"), r.result},
                {QStringLiteral("values"), values},
                {QStringLiteral("raw"), QString::fromLatin1(r.raw.toHex())},
            });
            complete = complete && r.ok;
        }
        QJsonObject set{{QStringLiteral("set"), s.want.name},
                        {QStringLiteral("title"), s.title},
                        {QStringLiteral("records"), records}};
        if (s.want.groupId != 0)
            set.insert(QStringLiteral("group"), LoadString(s.want.groupId));
        sets.append(set);
    }
    const QJsonObject root{{QStringLiteral("port"), info.port},
                           {QStringLiteral("complete"), complete && !info.stopped},
                           {QStringLiteral("stopped"), info.stopped},
                           {QStringLiteral("sets"), sets}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QList<CExportSection> BuildSections(const ReadOut &readOut, const QList<CSetSpec> &wanted)
{
    QList<CExportSection> sections;
    for (const CSetSpec &want : wanted)
        sections << BuildSection(readOut, want);
    return MergeEvents(sections);
}

QByteArray ExportJson(const ReadOut &readOut, const QList<CSetSpec> &wanted, const CExportInfo &info)
{
    const CSourceTexts english;
    return FormatJson(BuildSections(readOut, wanted), info);
}

QString InertText(const QString &text)
{
    return inert(text);
}

QString CsvLine(const QStringList &fields, QChar separator, const QList<bool> &unitText)
{
    QStringList cells;
    for (qsizetype c = 0; c < fields.size(); ++c)
        cells << (unitText.value(c) ? notFormula(fields.at(c)) : fields.at(c));
    return csvLine(cells, separator);
}

} // namespace Quilo
