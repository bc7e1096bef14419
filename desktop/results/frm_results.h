// The Results windows beside the text report. After a long-term run: the
// subgroups' figures as a sortable table and a bar chart of the endpoint's
// figure. After a commodity run: every subgroup's figures, and per chosen
// subgroup a Pareto chart of the crop groups' shares of its exposure, with a
// check box per crop group and per commodity that leaves it out at once.
#pragma once

#include <QStringList>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "desktop/results/results_chart.h"
#include "desktop/results/results_frame.h"
#include "results/run_figures.h"

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace ormid {

class Platform;

// The table of subgroup figures as tab-separated lines with a heading line.
QString FiguresTableText(const QTableWidget& table);

class FrmResults : public ResultsFrame {
  Q_OBJECT

 public:
  explicit FrmResults(Platform& p, QWidget* parent = nullptr);

  // The figures of a long-term run, and the run (its state after the run and
  // its terms) for the headroom of its commodities.
  void ShowLongTerm(std::vector<ShownSubgroup> rows, std::unique_ptr<LongTermRun> run);
  // The figures of a run read back from the run history: its table and
  // chart; no headroom, which needs the run's own terms.
  void ShowRecorded(std::vector<ShownSubgroup> rows, Endpoint endpoint,
                    const std::string& chemical);

  QLabel* lblMostExposed = nullptr;
  QWidget* chartTab = nullptr;
  QWidget* headroomTab = nullptr;
  QChartView* chtSubgroups = nullptr;
  QComboBox* cboHeadroomBy = nullptr;  // crop group, food, food form
  QLabel* lblHeadroom = nullptr;
  QTableWidget* tblHeadroom = nullptr;

  void cmdExportChart_Click();
  // Copies the table of the view shown: the subgroups' figures, or the
  // headroom table.
  void cmdCopyTable_Click();

 private:
  void ShowHeadroom();
  void ShowFigures(const std::vector<ShownSubgroup>& rows, Endpoint endpoint,
                   const std::string& chemical);

  SubgroupChartData chart_;
  std::unique_ptr<LongTermRun> run_;
  bool headroomShown_ = false;  // the table holds the run's headroom
};

class FrmCommodityResults : public ResultsFrame {
  Q_OBJECT

 public:
  explicit FrmCommodityResults(Platform& p, QWidget* parent = nullptr);

  void ShowRun(std::unique_ptr<CommodityWhatIf> figures, const std::string& chemical);
  const CommodityWhatIf* Figures() const { return figures_.get(); }

  QWidget* choicesPanel = nullptr;        // the what-if's check boxes
  QTreeWidget* treCommodities = nullptr;  // crop groups, their commodities below
  QPushButton* cmdIncludeAll = nullptr;
  QWidget* chartTab = nullptr;       // a subgroup's crop groups
  QComboBox* cboSubgroup = nullptr;  // the subgroups with a breakdown
  QLabel* lblPareto = nullptr;
  QChartView* chtPareto = nullptr;
  QLabel* lblParetoNote = nullptr;  // under the chart: shares past 100% explained
  QLabel* lblGroup = nullptr;
  QTableWidget* tblItems = nullptr;  // the chosen crop group's foods and food forms

  // Lists the foods and food forms of the Pareto chart's bar `index`.
  void ChooseBar(int index);
  void cmdIncludeAll_Click();
  bool eventFilter(QObject* watched, QEvent* event) override;
  void cmdExportChart_Click();
  void cmdCopyTable_Click();
  // Milliseconds the last change of the check boxes took to show.
  double LastUpdateMs() const { return lastUpdateMs_; }

 private:
  QStringList leftOutNames_;  // what the what-if leaves out, for the chart's title
  void FillTree();
  void TreeChanged(QTreeWidgetItem* item, int column);
  void Recompute();
  void ShowSubgroup();
  int CurrentRow() const;

  std::unique_ptr<CommodityWhatIf> figures_;
  std::string chemical_;
  std::vector<CommodityWhatIf::Bar> bars_;
  ParetoChartData chart_;
  int chosenGroup_ = 0;
  bool filling_ = false;
  double lastUpdateMs_ = 0;
};

}  // namespace ormid
