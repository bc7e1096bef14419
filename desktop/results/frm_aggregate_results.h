// The Results window of an aggregate run: per duration, each subgroup's bar
// stacked by source and route (food, drinking water, each residential
// route) as percents of its limit, with the limit across them; the table of
// the duration's figures; and what-if check boxes for the drinking water,
// each residential scenario and each residential route: unticking one
// recombines the run's own exposures as a run without it gives them.
#pragma once

#include <array>
#include <vector>

#include "aggregate/aggregate_figures.h"
#include "desktop/results/results_chart.h"
#include "desktop/results/results_frame.h"

class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace ormid {

class FrmAggregateResults : public ResultsFrame {
  Q_OBJECT

 public:
  explicit FrmAggregateResults(Platform& p, QWidget* parent = nullptr);

  // The run with its files as read and its exposures: a what-if is
  // recombined from them, nothing is read again.
  void ShowRun(AggregateFigures run);
  // The figures shown: the run's, or the what-if's.
  const std::vector<AggregateDurationFigures>& Figures() const { return figures_; }
  const AggregateWhatIf& WhatIf() const { return whatIf_; }

  QComboBox* cboDuration = nullptr;
  QCheckBox* chkWater = nullptr;
  std::array<QCheckBox*, 3> chkRoute{};  // residential oral, dermal, inhalation
  QTreeWidget* treScenarios = nullptr;
  QPushButton* cmdIncludeAll = nullptr;
  QWidget* chartTab = nullptr;  // the chart's view
  QLabel* lblMostExposed = nullptr;
  QChartView* chtSubgroups = nullptr;

  void cmdIncludeAll_Click();
  void cmdCopyTable_Click();
  void cmdExportChart_Click();

 private:
  void FillBoxes();
  void Recompute();
  void ShowFigures();
  const AggregateDurationFigures* Shown() const;

  AggregateFigures run_;
  std::vector<AggregateDurationFigures> figures_;
  AggregateWhatIf whatIf_;
  StackedChartData chart_;
  bool filling_ = false;
};

// The chart of one duration: each source's part of every subgroup's limit.
StackedChartData AggregateChartOf(const AggregateDurationFigures& d, const QString& title);

}  // namespace ormid
