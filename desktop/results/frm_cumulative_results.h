// The Results window of a cumulative run: the subgroups' figures in
// index-chemical equivalents, a chart of each subgroup's exposure stacked by
// chemical with the cPAD across it, and the chemicals and crop groups with
// a check box each: unticking recomputes the figures as the group without
// those chemicals, or with those crop groups' residues as 0, gives them.
#pragma once

#include <QStringList>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "core/mod_ormid.h"
#include "cumulative/cumulative_figures.h"
#include "desktop/results/results_chart.h"
#include "desktop/results/results_frame.h"

class QChartView;
class QLabel;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace ormid {

class Platform;

// What a cumulative run was made of: the installation as started, the group
// as read from its file and the run's settings. A what-if is computed from
// these alone.
struct CumulativeRunInputs {
  ModOrmid started;
  AssessmentGroup group;
  std::string shownName;  // the group file's name
  bool adj2 = false;
  std::vector<int> rows;
};

class FrmCumulativeResults : public ResultsFrame {
  Q_OBJECT

 public:
  explicit FrmCumulativeResults(Platform& p, QWidget* parent = nullptr);

  // The run and the figures of its whole group (with the crop groups'
  // breakdown).
  void ShowRun(std::unique_ptr<CumulativeRunInputs> run, CumulativeFigures figures);
  // The figures of a run read back from the run history: its table and
  // chart, without the what-if (the files it read may have changed since).
  void ShowRecorded(CumulativeFigures figures, const std::string& shownName);
  // The figures shown: the whole group's, or the what-if's.
  const CumulativeFigures& Figures() const { return figures_; }
  const CumulativeWhatIf& WhatIf() const { return whatIf_; }

  QWidget* choicesPanel = nullptr;       // the what-if's check boxes
  QTreeWidget* treChemicals = nullptr;   // name, RPF, share in the most exposed subgroup
  QTreeWidget* treCropGroups = nullptr;  // name, code, share in the most exposed subgroup
  QPushButton* cmdIncludeAll = nullptr;
  QWidget* chartTab = nullptr;
  QLabel* lblMostExposed = nullptr;
  QChartView* chtSubgroups = nullptr;

  void cmdIncludeAll_Click();
  void cmdCopyTable_Click();
  void cmdExportChart_Click();

 private:
  void FillLists();
  void ItemChanged(QTreeWidgetItem* item, int column);
  void Recompute();
  void ShowFigures();

  std::unique_ptr<CumulativeRunInputs> run_;
  CumulativeFigures figures_;
  CumulativeWhatIf whatIf_;
  StackedChartData chart_;
  bool filling_ = false;
};

}  // namespace ormid
