#include "charts.h"


#include <algorithm>
#include <cmath>

namespace Quilo::Site {

namespace {

constexpr double kWidth = 720;
constexpr double kHeight = 260;
constexpr double kLeft = 80;   // room for the y labels
constexpr double kRight = 64;  // the last x label, turned, reaches past its point
constexpr double kTop = 40;    // title and legend
constexpr double kBottom = 76; // x labels, turned

// Colours that stay apart for people who tell red from green badly.
const char *const kColours[] = {"#0072b2", "#e69f00", "#009e73", "#cc79a7", "#56b4e9"};

QString num(double v)
{
    return QString::number(v, 'f', 1);
}

// The top of the y axis: a round number at or above `top`.
double niceTop(double top)
{
    if (top <= 0)
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(top)));
    for (const double step : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (step * magnitude >= top)
            return step * magnitude;
    return 10 * magnitude;
}

// The frame shared by both kinds: the svg element, title, legend, y grid. *scale maps a value to y.
Html frame(const QString &title, const QList<ChartSeries> &series, double top)
{
    Html h;
    h.open("svg", {{"xmlns", QStringLiteral("http://www.w3.org/2000/svg")},
                   {"viewBox", QStringLiteral("0 0 %1 %2").arg(kWidth).arg(kHeight)},
                   {"class", QStringLiteral("chart")}, {"role", QStringLiteral("img")}, {"aria-label", title}});
    h.element("title", title);
    h.element("text", title, {{"x", num(kLeft)}, {"y", QStringLiteral("16")}, {"class", QStringLiteral("chart-title")}});
    double x = kLeft;
    for (qsizetype i = 0; i < series.size(); ++i) {
        const QString colour = QString::fromLatin1(kColours[i % std::size(kColours)]);
        h.open("rect", {{"x", num(x)}, {"y", QStringLiteral("24")}, {"width", QStringLiteral("10")},
                        {"height", QStringLiteral("10")}, {"fill", colour}}).close("rect");
        h.element("text", series.at(i).name, {{"x", num(x + 14)}, {"y", QStringLiteral("33")}, {"class", QStringLiteral("legend")}});
        x += 24 + 8 * series.at(i).name.size();
    }
    const double plotHeight = kHeight - kTop - kBottom;
    for (int g = 0; g <= 4; ++g) {
        const double value = top * g / 4;
        const double y = kTop + plotHeight - plotHeight * g / 4;
        h.open("line", {{"x1", num(kLeft)}, {"x2", num(kWidth - kRight)}, {"y1", num(y)}, {"y2", num(y)},
                        {"class", QStringLiteral("grid")}}).close("line");
        h.element("text", QString::number(std::llround(value)),
                  {{"x", num(kLeft - 6)}, {"y", num(y + 4)}, {"class", QStringLiteral("axis-y")}});
    }
    return h;
}

double maximum(const QList<ChartSeries> &series)
{
    double top = 0;
    for (const ChartSeries &s : series)
        for (const double v : s.values)
            top = std::max(top, v);
    return niceTop(top);
}

void xLabel(Html &h, double x, const QString &label)
{
    h.element("text", label, {{"x", num(x)}, {"y", num(kHeight - kBottom + 14)}, {"class", QStringLiteral("axis-x")},
                              {"transform", QStringLiteral("rotate(45 %1 %2)").arg(num(x), num(kHeight - kBottom + 14))}});
}

} // namespace

Html LineChart(const QString &title, const QStringList &labels, const QList<ChartSeries> &series)
{
    const double top = maximum(series);
    Html h = frame(title, series, top);
    const qsizetype points = labels.size();
    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    const auto xAt = [&](qsizetype i) { return points <= 1 ? kLeft + plotWidth / 2 : kLeft + plotWidth * i / (points - 1); };
    const auto yAt = [&](double v) { return kTop + plotHeight - plotHeight * std::clamp(v / top, 0.0, 1.0); };
    for (qsizetype s = 0; s < series.size(); ++s) {
        QStringList coords;
        for (qsizetype i = 0; i < points && i < series.at(s).values.size(); ++i)
            coords << num(xAt(i)) + QLatin1Char(',') + num(yAt(series.at(s).values.at(i)));
        const QString colour = QString::fromLatin1(kColours[s % std::size(kColours)]);
        h.open("polyline", {{"points", coords.join(QLatin1Char(' '))}, {"fill", QStringLiteral("none")},
                            {"stroke", colour}, {"stroke-width", QStringLiteral("2")}}).close("polyline");
        if (points == 1 && !series.at(s).values.isEmpty())
            h.open("circle", {{"cx", num(xAt(0))}, {"cy", num(yAt(series.at(s).values.first()))}, {"r", QStringLiteral("3")},
                              {"fill", colour}}).close("circle");
    }
    // at most about twelve labels, the last always
    const qsizetype every = std::max<qsizetype>(1, (points + 11) / 12);
    for (qsizetype i = 0; i < points; ++i)
        if (i % every == 0 || i == points - 1)
            xLabel(h, xAt(i), labels.at(i));
    h.close("svg");
    return h;
}

Html BarChart(const QString &title, const QStringList &labels, const QList<ChartSeries> &series)
{
    const double top = maximum(series);
    Html h = frame(title, series, top);
    const qsizetype groups = std::max<qsizetype>(1, labels.size());
    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    const double groupWidth = plotWidth / groups;
    const double barWidth = groupWidth * 0.8 / std::max<qsizetype>(1, series.size());
    for (qsizetype g = 0; g < labels.size(); ++g) {
        for (qsizetype s = 0; s < series.size(); ++s) {
            const double v = series.at(s).values.value(g);
            const double height = plotHeight * std::clamp(v / top, 0.0, 1.0);
            const QString colour = QString::fromLatin1(kColours[s % std::size(kColours)]);
            h.open("rect", {{"x", num(kLeft + g * groupWidth + groupWidth * 0.1 + s * barWidth)},
                            {"y", num(kTop + plotHeight - height)}, {"width", num(barWidth)}, {"height", num(height)},
                            {"fill", colour}});
            h.element("title", series.at(s).name + QStringLiteral(" ") + labels.at(g) + QStringLiteral(": ")
                                   + QString::number(std::llround(v)));
            h.close("rect");
        }
        xLabel(h, kLeft + g * groupWidth + groupWidth / 2, labels.at(g));
    }
    h.close("svg");
    return h;
}

} // namespace Quilo::Site
