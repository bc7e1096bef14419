// The widgets the Results windows share: tables whose number cells sort by
// value, compact rows, buttons that are never a default, chart views, and
// the chart font size on the screen.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <QTableWidgetItem>
#include <optional>
#include <string>
#include <string_view>

class QBoxLayout;
class QChartView;
class QLabel;
class QPushButton;
class QTableWidget;
class QWidget;

namespace ormid {

// The charts' labels on the screen: every subgroup's name has room.
inline constexpr int kWindowPointSize = 8;

// A cell that sorts by its number, not by its text.
class NumberItem : public QTableWidgetItem {
 public:
  NumberItem(const QString& text, double value);
  bool operator<(const QTableWidgetItem& other) const override;

 private:
  double value_;
};

// A figure's cell, sorting by its value: its text as every table shows it
// (the fewest digits that read back to the value, one form per column,
// lifetime risks with an exponent); empty when there is none.
QTableWidgetItem* NumberCell(std::optional<float> value, bool scientific = false);
QTableWidgetItem* DoubleCell(std::optional<double> value, bool scientific = false);
QTableWidgetItem* TextCell(const QString& text);
// The same text without a cell.
QString FigureText(float value, bool scientific = false);
QString FigureText(double value, bool scientific = false);

// A column's title on the screen, with its unit, for the column's name in
// the exports: "Exposure (mg/kg bw/day)" for "exposure_mg_per_kg_bw_day".
// Every window that shows a run's figures titles them so.
QString ColumnTitle(std::string_view exportName);
// The titles of a cumulative run's figures, one column each: the row, the
// subgroup, the index-equivalent exposure, the percent of the cPAD, the
// MOET and the hazard index. The cumulative Results window and a recorded
// cumulative run's window show these columns.
QStringList CumulativeFigureTitles();
// Whether an exported column holds lifetime risks (shown with an exponent).
bool IsRiskColumn(std::string_view exportName);

// Sizes a table's columns to their contents, but a column of names (foods,
// subgroups) no wider than `widest` pixels, so that the figures beside it
// stay in view; a cut name shows whole in its tooltip.
void FitColumns(QTableWidget* table, int nameColumn, int widest = 280);

QTableWidget* NewTable(const char* name, QWidget* parent);
QPushButton* NewButton(const QString& text, const char* name, QWidget* parent);
QChartView* NewChartView(const char* name, QWidget* parent);

// The column of a subgroups chart: the most exposed subgroup's line in bold
// above the chart, which is as tall as its subgroups' labels need and
// scrolls in a window shorter than that.
struct ChartColumn {
  QWidget* column = nullptr;
  QLabel* mostExposed = nullptr;
  QChartView* chart = nullptr;
};
ChartColumn NewChartColumn(QWidget* parent);

// The buttons under every Results window: Copy Table and Export Chart...,
// added to `outer`.
struct TableChartButtons {
  QPushButton* copyTable = nullptr;
  QPushButton* exportChart = nullptr;
};
TableChartButtons AddTableChartButtons(QBoxLayout* outer, QWidget* parent);

// Copies a table (see FiguresTableText) to the clipboard.
void CopyToClipboard(const QTableWidget& table);

// The size a Results window asks for; PlaceResultsWindow makes it smaller
// where the screen has less room.
inline constexpr QSize kResultsWindowSize{1000, 680};

// Places a Results window the first time it opens: beside the report's
// viewer when one shows (on the side of it with more room), else over the
// main window; as large as kResultsWindowSize where that fits, never larger
// than the screen's free room (on a 1366x768 screen it fits beside the
// report).
void PlaceResultsWindow(QWidget& window, const QWidget& main, const QWidget* report);

// A window's or chart's title with the run's chemical or group after it.
QString Title(const QString& what, const std::string& chemical);

}  // namespace ormid
