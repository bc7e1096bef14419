#include "desktop/results/frm_results.h"

#include <QAbstractBarSeries>
#include <QApplication>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "core/float_text.h"
#include "core/platform.h"
#include "desktop/delivery/qt_text.h"
#include "desktop/main_window/qt_platform.h"
#include "desktop/results/results_widgets.h"
#include "headroom/headroom.h"
#include "headroom/headroom_text.h"

namespace ormid {

namespace {

// The subgroups' figures, one row each, with the columns the run reports.
void FillFigures(QTableWidget* table, const std::vector<ShownSubgroup>& rows) {
  struct Column {
    const char* name;  // as the exports name it
    std::optional<float> LongTermResult::*figure;
  };
  const Column all[] = {
      {"percent_of_reference_dose", &LongTermResult::percentReference},
      {"percent_of_noel", &LongTermResult::percentNoel},
      {"margin_of_exposure", &LongTermResult::marginOfExposure},
      {"lifetime_cancer_risk", &LongTermResult::lifetimeRisk},
  };
  std::vector<Column> shown;
  for (const Column& c : all)
    for (const ShownSubgroup& row : rows)
      if (row.figures.*c.figure) {
        shown.push_back(c);
        break;
      }
  // Sorting stays off while the cells go in, or rows would move under them.
  const bool sorting = table->isSortingEnabled();
  const int sortColumn = table->horizontalHeader()->sortIndicatorSection();
  const Qt::SortOrder order = table->horizontalHeader()->sortIndicatorOrder();
  table->setSortingEnabled(false);
  table->clear();
  QStringList headings = {ColumnTitle("row"), ColumnTitle("subgroup"),
                          ColumnTitle("exposure_mg_per_kg_bw_day")};
  for (const Column& c : shown) headings << ColumnTitle(c.name);
  table->setColumnCount(static_cast<int>(headings.size()));
  table->setHorizontalHeaderLabels(headings);
  table->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const ShownSubgroup& row = rows[static_cast<std::size_t>(i)];
    table->setItem(i, 0, new NumberItem(QString::number(row.figures.row), row.figures.row));
    table->setItem(i, 1, TextCell(FromBytes(row.name).trimmed()));
    table->setItem(i, 2, NumberCell(row.figures.exposure));
    for (std::size_t c = 0; c < shown.size(); ++c) {
      const std::optional<float> value = row.figures.*shown[c].figure;
      // A subgroup without exposure has no margin and no percent of the
      // NOEL: the words the report prints stand there, sorting as an
      // endless margin and a percent of 0.
      const std::string_view name = shown[c].name;
      const bool noExposure = !value && row.figures.exposure == 0 &&
                              (name == "percent_of_noel" || name == "margin_of_exposure");
      table->setItem(i, static_cast<int>(c) + 3,
                     noExposure ? new NumberItem(QObject::tr("no exposure"),
                                                 name == "margin_of_exposure" ? 1e300 : 0.0)
                                : NumberCell(value, IsRiskColumn(name)));
    }
  }
  FitColumns(table, 1);
  table->setSortingEnabled(true);
  if (sorting)
    table->sortByColumn(sortColumn, order);
  else
    table->sortByColumn(0, Qt::AscendingOrder);
}

}  // namespace

QString FiguresTableText(const QTableWidget& table) {
  QString text;
  for (int c = 0; c < table.columnCount(); ++c) {
    if (c > 0) text += '\t';
    // A title shown on two lines is one line here.
    if (auto* h = table.horizontalHeaderItem(c)) text += QString(h->text()).replace('\n', ' ');
  }
  text += '\n';
  for (int r = 0; r < table.rowCount(); ++r) {
    for (int c = 0; c < table.columnCount(); ++c) {
      if (c > 0) text += '\t';
      if (auto* item = table.item(r, c)) text += item->text();
    }
    text += '\n';
  }
  return text;
}

// --- Long-term results ---

FrmResults::FrmResults(Platform& p, QWidget* parent)
    : ResultsFrame(p, "frmResults", tr("Ormid Analysis Results"), parent) {
  const ChartColumn chart = NewChartColumn(tabViews);
  chartTab = chart.column;
  lblMostExposed = chart.mostExposed;
  chtSubgroups = chart.chart;
  AddView(chartTab, tr("C&hart"));

  // The headroom of every crop group, food or food form: the residue
  // multiplier that brings the first subgroup to the endpoint's usual limit.
  headroomTab = new QWidget(tabViews);
  auto* headroomColumn = new QVBoxLayout(headroomTab);
  auto* byRow = new QHBoxLayout();
  auto* byLabel = new QLabel(tr("Headroom &by:"), headroomTab);
  cboHeadroomBy = new QComboBox(headroomTab);
  cboHeadroomBy->setObjectName("cboHeadroomBy");
  cboHeadroomBy->addItems({tr("Crop group"), tr("Food"), tr("Food form")});
  byLabel->setBuddy(cboHeadroomBy);
  byRow->addWidget(byLabel);
  byRow->addWidget(cboHeadroomBy);
  byRow->addStretch(1);
  lblHeadroom = new QLabel(headroomTab);
  lblHeadroom->setObjectName("lblHeadroom");
  lblHeadroom->setWordWrap(true);
  tblHeadroom = NewTable("tblHeadroom", headroomTab);
  headroomColumn->addLayout(byRow);
  headroomColumn->addWidget(lblHeadroom);
  headroomColumn->addWidget(tblHeadroom, 1);
  AddView(headroomTab, tr("&Headroom"));
  connect(cboHeadroomBy, &QComboBox::currentIndexChanged, this, &FrmResults::ShowHeadroom);
  // The headroom is worked out when it is first looked at.
  connect(tabViews, &QTabWidget::currentChanged, this, [this] {
    if (PartShown(headroomTab) && !headroomShown_) ShowHeadroom();
  });
  // Side by side where the table and a chart of readable width fit.
  SetWideFrom(1150);
  connect(cmdCopyTable, &QPushButton::clicked, this, &FrmResults::cmdCopyTable_Click);
  connect(cmdExportChart, &QPushButton::clicked, this, &FrmResults::cmdExportChart_Click);
}

void FrmResults::ShowLongTerm(std::vector<ShownSubgroup> rows, std::unique_ptr<LongTermRun> run) {
  run_ = std::move(run);
  headroomTab->setEnabled(true);
  headroomTab->setToolTip({});
  ShowFigures(rows, run_->m.gEndpoint, run_->m.gChemicalName);
}

void FrmResults::ShowRecorded(std::vector<ShownSubgroup> rows, Endpoint endpoint,
                              const std::string& chemical) {
  run_.reset();
  headroomTab->setEnabled(false);
  headroomTab->setToolTip(tr("A past run's headroom needs the run itself: run it again."));
  ShowFigures(rows, endpoint, chemical);
}

void FrmResults::ShowFigures(const std::vector<ShownSubgroup>& rows, Endpoint endpoint,
                             const std::string& chemical) {
  const ChartFigure figure = ChartFigureFor(endpoint);
  FillFigures(tblFigures, rows);
  chart_ = SubgroupChartOf(rows, figure, Title(tr("Exposure by population subgroup"), chemical));
  lblMostExposed->setText(chart_.note);
  QChart* old = chtSubgroups->chart();
  chtSubgroups->setChart(BuildSubgroupChart(chart_, kWindowPointSize));
  // Every subgroup's label drawn: the chart as tall as its labels need.
  chtSubgroups->setMinimumHeight(std::max(360, ChartHeightFor(chtSubgroups->chart())));
  delete old;
  FitFigures();
  headroomShown_ = false;
  tblHeadroom->clear();
  tblHeadroom->setRowCount(0);
  if (PartShown(headroomTab)) ShowHeadroom();
}

void FrmResults::ShowHeadroom() {
  if (!run_) return;
  headroomShown_ = true;
  HeadroomRequest request;
  request.by = static_cast<HeadroomBy>(std::max(cboHeadroomBy->currentIndex(), 0));
  request.target.kind = TargetKindFor(run_->m.gEndpoint);
  request.target.value = DefaultTargetValue(request.target.kind);
  const HeadroomTable table = ComputeHeadroom(run_->m, run_->terms, request);
  const ModOrmid& m = run_->m;
  lblHeadroom->setText(
      tr("Target: %1, every subgroup. Most exposed: %2. Share: percent of its exposure. "
         "Multiplier: the factor on the residues that brings the first subgroup to the "
         "target, all else unchanged.")
          .arg(FromBytes(TargetText(table.target)))
          .arg(FromBytes(SubgroupName(m, table.mostExposedRow)).trimmed()));
  const bool residues = table.by != HeadroomBy::CropGroup;
  tblHeadroom->setSortingEnabled(false);
  tblHeadroom->clear();
  QStringList headings = {tr("Code"),
                          table.by == HeadroomBy::CropGroup ? tr("Crop group")
                          : table.by == HeadroomBy::Food    ? tr("Food")
                                                            : tr("Food and food form"),
                          tr("Share (%)"), tr("Multiplier")};
  if (residues) headings << tr("Max residue (ppm)");
  headings << tr("Limited by");
  tblHeadroom->setColumnCount(static_cast<int>(headings.size()));
  tblHeadroom->setHorizontalHeaderLabels(headings);
  tblHeadroom->setRowCount(static_cast<int>(table.rows.size()));
  for (int i = 0; i < static_cast<int>(table.rows.size()); ++i) {
    const HeadroomRow& row = table.rows[static_cast<std::size_t>(i)];
    int c = 0;
    tblHeadroom->setItem(i, c++, TextCell(FromBytes(row.code)));
    tblHeadroom->setItem(i, c++, TextCell(FromBytes(row.name).trimmed()));
    tblHeadroom->setItem(i, c++, NumberCell(row.share));
    const double sortKey = row.outcome == HeadroomOutcome::Multiplier   ? row.multiplier.Value()
                           : row.outcome == HeadroomOutcome::PastTarget ? -1.0
                                                                        : 1e300;
    tblHeadroom->setItem(i, c++, new NumberItem(FromBytes(MultiplierCell(row)), sortKey));
    if (residues) {
      const bool shown =
          row.hasMaxResidue && row.outcome == HeadroomOutcome::Multiplier && row.maxResidue > 0;
      tblHeadroom->setItem(
          i, c++,
          new NumberItem(shown ? FromBytes(MaxResidueText(row.maxResidue)) : QString(),
                         shown ? row.maxResidue : -1.0));
    }
    tblHeadroom->setItem(i, c++, TextCell(FromBytes(SubgroupName(m, row.limitingRow)).trimmed()));
  }
  FitColumns(tblHeadroom, 1);
  tblHeadroom->setSortingEnabled(true);
}

void FrmResults::cmdCopyTable_Click() {
  CopyToClipboard(PartShown(headroomTab) ? *tblHeadroom : *tblFigures);
}

void FrmResults::cmdExportChart_Click() {
  DialogOwnerScope owner(this);
  const SubgroupChartData data = chart_;
  ExportChart(p_, "subgroups.png", [data](int pointSize) {
    QChart* chart = BuildSubgroupChart(data, pointSize);
    // On the page, the note about the most exposed subgroup goes with it.
    chart->setTitle(data.title + "<br><small>" + data.note.toHtmlEscaped() + "</small>");
    return chart;
  });
}

// --- Commodity results and what-if ---

FrmCommodityResults::FrmCommodityResults(Platform& p, QWidget* parent)
    : ResultsFrame(p, "frmCommodityResults", tr("Commodity Analysis Results"), parent) {
  choicesPanel = new QWidget(this);
  auto* leftColumn = new QVBoxLayout(choicesPanel);
  leftColumn->setContentsMargins(0, 0, 0, 0);
  auto* treeNote = new QLabel(tr("Untick a crop group or a commodity to see the figures "
                                 "as if it carried no residue."),
                              choicesPanel);
  treeNote->setWordWrap(true);
  treCommodities = new QTreeWidget(choicesPanel);
  treCommodities->setObjectName("treCommodities");
  treCommodities->setEditTriggers(QAbstractItemView::NoEditTriggers);
  treCommodities->setHeaderLabels({tr("Crop group / commodity"), tr("Code")});
  treCommodities->header()->setStretchLastSection(false);
  treCommodities->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  treCommodities->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  cmdIncludeAll = NewButton(tr("&Include All"), "cmdIncludeAll", choicesPanel);
  leftColumn->addWidget(treeNote);
  leftColumn->addWidget(treCommodities, 1);
  leftColumn->addWidget(cmdIncludeAll);
  SetChoices(choicesPanel, tr("&Leave Out"));

  chartTab = new QWidget(tabViews);
  auto* rightColumn = new QVBoxLayout(chartTab);
  auto* chooser = new QHBoxLayout();
  auto* subgroupLabel = new QLabel(tr("&Subgroup:"), chartTab);
  cboSubgroup = new QComboBox(chartTab);
  cboSubgroup->setObjectName("cboSubgroup");
  subgroupLabel->setBuddy(cboSubgroup);
  chooser->addWidget(subgroupLabel);
  chooser->addWidget(cboSubgroup, 1);
  lblPareto = new QLabel(chartTab);
  lblPareto->setObjectName("lblPareto");
  lblPareto->setWordWrap(true);
  // The chart as tall as its crop groups' labels need, scrolling in a short
  // window; the chosen crop group's foods below it.
  auto* parts = new QSplitter(Qt::Vertical, chartTab);
  parts->setObjectName("splPareto");
  parts->setChildrenCollapsible(false);
  auto* scroll = new QScrollArea(parts);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  chtPareto = NewChartView("chtPareto", scroll);
  chtPareto->setMinimumSize(420, 300);
  scroll->setWidget(chtPareto);
  auto* below = new QWidget(parts);
  auto* belowColumn = new QVBoxLayout(below);
  belowColumn->setContentsMargins(0, 0, 0, 0);
  lblParetoNote = new QLabel(below);
  lblParetoNote->setObjectName("lblParetoNote");
  lblParetoNote->setWordWrap(true);
  lblGroup = new QLabel(tr("Choose a bar to list its foods and food forms."), below);
  lblGroup->setObjectName("lblGroup");
  lblGroup->setWordWrap(true);
  tblItems = NewTable("tblItems", below);
  belowColumn->addWidget(lblParetoNote);
  belowColumn->addWidget(lblGroup);
  belowColumn->addWidget(tblItems, 1);
  parts->addWidget(scroll);
  parts->addWidget(below);
  parts->setStretchFactor(0, 3);
  parts->setStretchFactor(1, 1);
  rightColumn->addLayout(chooser);
  rightColumn->addWidget(lblPareto);
  rightColumn->addWidget(parts, 1);
  AddView(chartTab, tr("C&rop Groups"));
  SetWideFrom(1300);

  // The arrow keys on the chart choose a bar: its foods and food forms are
  // listed below it, as a click lists them.
  chtPareto->installEventFilter(this);
  chtPareto->setToolTip(tr("Up and Down (or Left and Right) choose a crop group's bar."));
  connect(treCommodities, &QTreeWidget::itemChanged, this, &FrmCommodityResults::TreeChanged);
  connect(cboSubgroup, &QComboBox::currentIndexChanged, this, [this] {
    chosenGroup_ = 0;
    ShowSubgroup();
  });
  connect(cmdIncludeAll, &QPushButton::clicked, this, &FrmCommodityResults::cmdIncludeAll_Click);
  connect(cmdCopyTable, &QPushButton::clicked, this, &FrmCommodityResults::cmdCopyTable_Click);
  connect(cmdExportChart, &QPushButton::clicked, this, &FrmCommodityResults::cmdExportChart_Click);
}

void FrmCommodityResults::ShowRun(std::unique_ptr<CommodityWhatIf> figures,
                                  const std::string& chemical) {
  figures_ = std::move(figures);
  chemical_ = chemical;
  chosenGroup_ = 0;
  FillTree();
  filling_ = true;
  cboSubgroup->clear();
  for (int row : figures_->BreakdownRows())
    cboSubgroup->addItem(FromBytes(figures_->SubgroupName(row)).trimmed(), row);
  filling_ = false;
  FillFigures(tblFigures, figures_->Subgroups());
  FitFigures();
  ShowSubgroup();
}

void FrmCommodityResults::FillTree() {
  filling_ = true;
  treCommodities->clear();
  for (const CommodityWhatIf::Group& g : figures_->Groups()) {
    auto* group =
        new QTreeWidgetItem(treCommodities, {FromBytes(g.name).trimmed(), FromBytes(g.code)});
    group->setFlags(group->flags() | Qt::ItemIsUserCheckable);
    group->setCheckState(0, Qt::Checked);
    group->setData(0, Qt::UserRole, 0);
    for (const CommodityWhatIf::Commodity& c : g.commodities) {
      auto* item = new QTreeWidgetItem(group, {FromBytes(c.name).trimmed(), FromBytes(c.code)});
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Checked);
      item->setData(0, Qt::UserRole, c.food);
    }
  }
  filling_ = false;
}

void FrmCommodityResults::TreeChanged(QTreeWidgetItem* item, int column) {
  if (filling_ || column != 0 || !figures_) return;
  filling_ = true;
  if (item->parent() == nullptr) {
    // A crop group: all its commodities follow.
    const Qt::CheckState state = item->checkState(0);
    if (state != Qt::PartiallyChecked)
      for (int i = 0; i < item->childCount(); ++i) item->child(i)->setCheckState(0, state);
  } else {
    QTreeWidgetItem* group = item->parent();
    int ticked = 0;
    for (int i = 0; i < group->childCount(); ++i)
      if (group->child(i)->checkState(0) == Qt::Checked) ++ticked;
    group->setCheckState(0, ticked == group->childCount() ? Qt::Checked
                            : ticked == 0                 ? Qt::Unchecked
                                                          : Qt::PartiallyChecked);
  }
  filling_ = false;
  Recompute();
}

void FrmCommodityResults::cmdIncludeAll_Click() {
  filling_ = true;
  for (int g = 0; g < treCommodities->topLevelItemCount(); ++g) {
    QTreeWidgetItem* group = treCommodities->topLevelItem(g);
    group->setCheckState(0, Qt::Checked);
    for (int i = 0; i < group->childCount(); ++i) group->child(i)->setCheckState(0, Qt::Checked);
  }
  filling_ = false;
  Recompute();
}

void FrmCommodityResults::Recompute() {
  QElapsedTimer timer;
  timer.start();
  std::vector<bool> leftOut(
      static_cast<std::size_t>(std::max<int>(figures_->State().gResFoodCount, 0)) + 1, false);
  leftOutNames_.clear();
  for (int g = 0; g < treCommodities->topLevelItemCount(); ++g) {
    QTreeWidgetItem* group = treCommodities->topLevelItem(g);
    // A whole crop group left out is named once, by its code.
    if (group->checkState(0) == Qt::Unchecked) leftOutNames_ << group->text(1);
    for (int i = 0; i < group->childCount(); ++i) {
      QTreeWidgetItem* item = group->child(i);
      if (item->checkState(0) == Qt::Checked) continue;
      if (group->checkState(0) != Qt::Unchecked) leftOutNames_ << item->text(0).trimmed();
      const int food = item->data(0, Qt::UserRole).toInt();
      if (food > 0 && static_cast<std::size_t>(food) < leftOut.size())
        leftOut[static_cast<std::size_t>(food)] = true;
    }
  }
  figures_->LeaveOut(leftOut);
  FillFigures(tblFigures, figures_->Subgroups());
  FitFigures();
  ShowSubgroup();
  lastUpdateMs_ = static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

int FrmCommodityResults::CurrentRow() const {
  return cboSubgroup->currentIndex() < 0 ? 0 : cboSubgroup->currentData().toInt();
}

void FrmCommodityResults::ShowSubgroup() {
  if (filling_ || !figures_) return;
  const int row = CurrentRow();
  bars_ = row > 0 ? figures_->Pareto(row) : std::vector<CommodityWhatIf::Bar>{};
  const QString name = FromBytes(figures_->SubgroupName(row)).trimmed();
  chart_ = ParetoChartOf(
      bars_, WhatIfTitle(Title(tr("Crop groups' shares of exposure: %1").arg(name), chemical_),
                         leftOutNames_));
  const float total = row > 0 ? figures_->Total(row) : 0.0f;
  lblPareto->setText(tr("%1: total exposure %2 mg/kg bw/day").arg(name).arg(FigureText(total)));
  lblParetoNote->setText(chart_.note);
  lblParetoNote->setVisible(!chart_.note.isEmpty());
  QChart* old = chtPareto->chart();
  QChart* chart = BuildParetoChart(chart_, kWindowPointSize);
  chtPareto->setChart(chart);
  // Every crop group's label drawn: the chart as tall as its labels need.
  chtPareto->setMinimumHeight(std::max(300, ChartHeightFor(chart)));
  delete old;
  for (QAbstractSeries* series : chart->series())
    if (auto* bars = qobject_cast<QAbstractBarSeries*>(series))
      for (QBarSet* set : bars->barSets())
        // The largest share is the top bar, the set's last.
        connect(set, &QBarSet::clicked, this,
                [this](int i) { ChooseBar(static_cast<int>(bars_.size()) - 1 - i); });
  // The chosen group stays chosen while it has exposure.
  int index = -1;
  for (std::size_t i = 0; i < bars_.size(); ++i)
    if (bars_[i].group == chosenGroup_) index = static_cast<int>(i);
  ChooseBar(index);
}

bool FrmCommodityResults::eventFilter(QObject* watched, QEvent* event) {
  if (watched != chtPareto || event->type() != QEvent::KeyPress || bars_.empty())
    return ResultsFrame::eventFilter(watched, event);
  const int last = static_cast<int>(bars_.size()) - 1;
  int index = -1;
  for (int i = 0; i <= last; ++i)
    if (bars_[static_cast<std::size_t>(i)].group == chosenGroup_) index = i;
  switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
      index = std::min(last, index + 1);
      break;
    case Qt::Key_Left:
    case Qt::Key_Up:
      index = std::max(0, index - 1);
      break;
    case Qt::Key_Home:
      index = 0;
      break;
    case Qt::Key_End:
      index = last;
      break;
    default:
      return ResultsFrame::eventFilter(watched, event);
  }
  ChooseBar(index);
  return true;
}

void FrmCommodityResults::ChooseBar(int index) {
  tblItems->setSortingEnabled(false);
  tblItems->clear();
  tblItems->setRowCount(0);
  if (index < 0 || static_cast<std::size_t>(index) >= bars_.size()) {
    chosenGroup_ = 0;
    lblGroup->setText(tr("Choose a bar to list its foods and food forms."));
    return;
  }
  const CommodityWhatIf::Bar& bar = bars_[static_cast<std::size_t>(index)];
  chosenGroup_ = bar.group;
  lblGroup->setText(tr("Crop group %1 %2: its foods and food forms")
                        .arg(FromBytes(bar.code))
                        .arg(FromBytes(bar.name).trimmed()));
  const auto items = figures_->Items(CurrentRow(), bar.group);
  tblItems->setColumnCount(5);
  tblItems->setHorizontalHeaderLabels({ColumnTitle("commodity_code"), ColumnTitle("commodity_name"),
                                       ColumnTitle("food_form"),
                                       ColumnTitle("exposure_mg_per_kg_bw_day"), tr("% of total")});
  tblItems->setRowCount(static_cast<int>(items.size()));
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    const CommodityWhatIf::Item& item = items[static_cast<std::size_t>(i)];
    tblItems->setItem(i, 0, TextCell(FromBytes(item.code)));
    tblItems->setItem(
        i, 1,
        TextCell(FromBytes(item.name).trimmed() + (item.leftOut ? tr(" (left out)") : QString())));
    tblItems->setItem(i, 2, TextCell(FromBytes(item.formLabel).trimmed()));
    tblItems->setItem(i, 3, NumberCell(item.exposure));
    tblItems->setItem(i, 4, NumberCell(item.share));
  }
  FitColumns(tblItems, 1);
  tblItems->setSortingEnabled(true);
}

void FrmCommodityResults::cmdCopyTable_Click() {
  CopyToClipboard(*tblFigures);
}

void FrmCommodityResults::cmdExportChart_Click() {
  DialogOwnerScope owner(this);
  const ParetoChartData data = chart_;
  ExportChart(p_, "crop-groups.png", [data](int pointSize) {
    QChart* chart = BuildParetoChart(data, pointSize);
    // On the page, the note about shares past 100% goes with it.
    if (!data.note.isEmpty())
      chart->setTitle(data.title + "<br><small>" + data.note.toHtmlEscaped() + "</small>");
    return chart;
  });
}

}  // namespace ormid
