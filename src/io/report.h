#pragma once
// A printable report of exported sections: a title, what the read-out is of (unit, port,
// times), then each data set as a table whose headings repeat on every page. HTML for a
// QTextDocument, which lays it out on A4 and numbers the pages; no widgets here.

#include "exporttable.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace Quilo {

struct ReportFacts {
    QString unit;      // type and manufacturing number, when the configuration was read
    QString port;
    QString readAt;    // when it was read, or saved
    QString clock;     // the unit's clock as read
    QString program;
    QDateTime printed;
};

QString ReportHtml(const QList<CExportSection> &sections, const ReportFacts &facts);

} // namespace Quilo
