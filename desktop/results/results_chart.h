// The charts of the Results windows, built from plain figures so that the
// window and an export draw the same chart, and the export of a chart as a
// PNG picture, an SVG drawing or a PDF page fit for a report.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

#include "cumulative/cumulative_run.h"
#include "results/run_figures.h"

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
QT_END_NAMESPACE

namespace ormid {

class Platform;

// One bar per subgroup, in report order from the top.
struct SubgroupChartData {
  QString title;
  QString note;  // above the chart: the most exposed subgroup
  ChartFigure figure = ChartFigure::PercentReference;
  QStringList subgroups;
  QList<float> values;
};
SubgroupChartData SubgroupChartOf(const std::vector<ShownSubgroup>& rows, ChartFigure figure,
                                  const QString& title);

// Crop groups by decreasing share, the largest at the top, each labelled
// with its code and whole name on a line of its own, with the cumulative
// share as a line.
struct ParetoChartData {
  QString title;
  QStringList groups;  // a crop group's code and name
  QList<float> shares;
  QList<double> cumulative;
  // Under the chart: why the shares add up to more than 100%, when they do.
  QString note;
};
ParetoChartData ParetoChartOf(const std::vector<CommodityWhatIf::Bar>& bars, const QString& title);

// Per subgroup a bar of stacked parts (one bar set per part, in order),
// with a limit across every bar.
struct StackedChartData {
  QString title;
  QString note;  // above the chart: the most exposed subgroup
  QString axisTitle;
  QStringList subgroups;
  QStringList parts;
  // Each part's place in the chart colours, so that a part keeps its colour
  // when others are left out; empty: the parts' own order.
  QList<int> colours;
  QList<QList<double>> values;  // [part][subgroup]
  double limit = 0;             // none when 0
  QString limitName;
};
// A cumulative run's subgroups: each chemical's index-equivalent exposure,
// the cPAD as the limit.
StackedChartData CumulativeChartOf(const AssessmentGroup& group,
                                   const std::vector<CumulativeSubgroup>& subgroups,
                                   const QString& title);

// A what-if chart's title says what it leaves out (the first four, then how
// many more), on screen and in an exported chart.
QString WhatIfTitle(const QString& title, const QStringList& leftOut);

// Object names of the series, for whoever looks into a chart.
inline constexpr const char* kBarsSeries = "bars";
inline constexpr const char* kLimitSeries = "limit";
inline constexpr const char* kCumulativeSeries = "cumulative";

// `pointSize` sets the fonts: the window's own size, or a report page's.
QChart* BuildSubgroupChart(const SubgroupChartData& data, int pointSize);
// The height a chart needs for every category label of its vertical axis
// to be drawn (0 for a chart without one).
int ChartHeightFor(QChart* chart);
QChart* BuildParetoChart(const ParetoChartData& data, int pointSize);
QChart* BuildStackedSubgroupChart(const StackedChartData& data, int pointSize);

enum class ChartFormat { Png, Svg, Pdf };
// The format an export file's name asks for by its extension (any case).
bool ChartFormatOf(const std::string& path, ChartFormat& format);

// The chart (taken over) laid out as an exported chart draws it: 900
// points wide, as tall as its labels need and 600 at least.
std::unique_ptr<QChartView> ExportView(QChart* chart);

// Draws a chart (taking it over) as a file's bytes: a PNG picture of
// 1800 x 1200 pixels, an SVG drawing of 900 x 600 points, or a landscape A4
// PDF page.
QByteArray ChartBytes(QChart* chart, ChartFormat format);

// Asks for a file name, asks before writing over a file, and writes the
// chart `make` builds at a report page's size. Messages go through the
// platform; false when nothing was written.
bool ExportChart(Platform& p, const std::string& proposedName,
                 const std::function<QChart*(int)>& make);

}  // namespace ormid
