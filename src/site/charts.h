#pragma once
// Charts drawn by the server as SVG inside the page: no script, nothing fetched from elsewhere.
// Every label goes through the page's escaping writer.

#include "html.h"

#include <QList>
#include <QString>

namespace Quilo::Site {

struct ChartSeries
{
    QString name;
    QList<double> values; // one per point of the x axis; the same count in every series
};

// Lines over points at equal distances (visits, oldest first); `labels` under the first and the
// last point and a few between.
Html LineChart(const QString &title, const QStringList &labels, const QList<ChartSeries> &series);

// Pairs of bars (two series) per label, oldest first.
Html BarChart(const QString &title, const QStringList &labels, const QList<ChartSeries> &series);

} // namespace Quilo::Site
