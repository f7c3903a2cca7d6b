#include "report.h"

#include "fields.h"
#include "stringtable.h"

#include <QLocale>

namespace Quilo {

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString cell(const QString &text, bool right, bool header = false)
{
    const QString tag = header ? QStringLiteral("th") : QStringLiteral("td");
    return QStringLiteral("<%1 align=\"%2\">%3</%1>")
        .arg(tag, right ? QStringLiteral("right") : QStringLiteral("left"), escaped(text));
}

void appendList(QString &html, const CExportSection &s)
{
    const bool withResult = s.failedCount() > 0;
    html += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\" border=\"1\"><thead><tr>");
    html += cell(LoadString(Str::ColIdx), false, true);
    for (qsizetype c = 0; c < s.headings.size(); ++c)
        html += cell(s.headings.at(c), c < s.rightAligned.size() && s.rightAligned.at(c), true);
    if (withResult)
        html += cell(LoadString(Str::ReportResult), false, true);
    html += QStringLiteral("</tr></thead>");
    for (const CExportRow &r : s.rows) {
        html += QStringLiteral("<tr>") + cell(FormatString(Str::RowNumber, r.number), false);
        for (qsizetype c = 0; c < s.headings.size(); ++c)
            html += cell(c < r.cells.size() ? r.cells.at(c) : QString(), c < s.rightAligned.size() && s.rightAligned.at(c));
        if (withResult)
            html += cell(r.ok ? QString() : r.result, false);
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
}

void appendForm(QString &html, const CExportSection &s)
{
    for (const CExportRow &r : s.rows) {
        if (s.rows.size() > 1)
            html += QStringLiteral("<p><b>%1</b></p>").arg(escaped(FormatString(Str::RowNumber, r.number)));
        html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\" border=\"1\">");
        for (qsizetype c = 0; c < s.headings.size(); ++c)
            html += QStringLiteral("<tr>") + cell(s.headings.at(c), false, true)
                    + cell(c < r.cells.size() ? r.cells.at(c) : QString(), false) + QStringLiteral("</tr>");
        if (!r.ok)
            html += QStringLiteral("<tr>") + cell(LoadString(Str::ReportResult), false, true) + cell(r.result, false)
                    + QStringLiteral("</tr>");
        html += QStringLiteral("</table>");
    }
}

} // namespace

QString ReportHtml(const QList<CExportSection> &sections, const ReportFacts &facts)
{
    QString html = QStringLiteral("<html><body><h1>%1</h1><table cellspacing=\"0\" cellpadding=\"2\">")
                       .arg(escaped(LoadString(Str::ReportTitle)));
    const std::pair<unsigned, QString> rows[] = {
        {Str::ReportUnit, facts.unit},
        {Str::ReportPort, facts.port},
        {Str::ReportSaved, facts.readAt},
        {Str::ReportClock, facts.clock},
        {Str::ReportProgram, facts.program},
        {Str::ReportMade, QLocale().toString(facts.printed, QLocale::ShortFormat)},
    };
    for (const auto &[label, value] : rows)
        if (!value.isEmpty())
            html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(escaped(LoadString(label)), escaped(value));
    html += QStringLiteral("</table>");
    for (const CExportSection &s : sections) {
        html += QStringLiteral("<h2>%1</h2>").arg(escaped(s.title));
        if (s.form)
            appendForm(html, s);
        else
            appendList(html, s);
    }
    return html + QStringLiteral("</body></html>");
}

} // namespace Quilo
