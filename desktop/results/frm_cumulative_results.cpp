#include "desktop/results/frm_cumulative_results.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/platform.h"
#include "desktop/delivery/qt_text.h"
#include "desktop/main_window/qt_platform.h"
#include "desktop/results/results_widgets.h"

namespace ormid {

namespace {

// Item data: a chemical that is the index chemical cannot be left out.
constexpr int kIndexRole = Qt::UserRole;

// A share as every table shows a figure.
QString ShareText(std::optional<double> share) {
  return share ? FigureText(*share) : QString();
}

QTreeWidget* NewList(const char* name, const QStringList& headings, QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(name);
  list->setRootIsDecorated(false);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHeaderLabels(headings);
  list->header()->setStretchLastSection(false);
  list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int c = 1; c < headings.size(); ++c)
    list->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
  return list;
}

// The subgroups' cumulative figures, one row each.
void FillFigures(QTableWidget* table, const std::vector<CumulativeSubgroup>& subgroups) {
  const bool sorting = table->isSortingEnabled();
  const int sortColumn = table->horizontalHeader()->sortIndicatorSection();
  const Qt::SortOrder order = table->horizontalHeader()->sortIndicatorOrder();
  table->setSortingEnabled(false);
  table->clear();
  const QStringList headings = CumulativeFigureTitles();
  table->setColumnCount(static_cast<int>(headings.size()));
  table->setHorizontalHeaderLabels(headings);
  table->setRowCount(static_cast<int>(subgroups.size()));
  for (int i = 0; i < static_cast<int>(subgroups.size()); ++i) {
    const CumulativeSubgroup& s = subgroups[static_cast<std::size_t>(i)];
    table->setItem(i, 0, new NumberItem(QString::number(s.row), s.row));
    table->setItem(i, 1, TextCell(FromBytes(s.subgroup).trimmed()));
    table->setItem(i, 2, DoubleCell(s.indexEquivalent));
    table->setItem(i, 3, DoubleCell(s.percentCpad));
    table->setItem(i, 4, DoubleCell(s.moet));
    // The cumulative margin beside the total margin, with its target.
    table->setItem(i, 5, DoubleCell(s.margin));
    table->setItem(i, 6, DoubleCell(s.targetMargin));
    table->setItem(i, 7, DoubleCell(s.hazardIndex));
  }
  FitColumns(table, 1);
  table->setSortingEnabled(true);
  if (sorting)
    table->sortByColumn(sortColumn, order);
  else
    table->sortByColumn(0, Qt::AscendingOrder);
}

}  // namespace

FrmCumulativeResults::FrmCumulativeResults(Platform& p, QWidget* parent)
    : ResultsFrame(p, "frmCumulativeResults", tr("Cumulative Assessment Results"), parent) {
  choicesPanel = new QWidget(this);
  auto* leftColumn = new QVBoxLayout(choicesPanel);
  leftColumn->setContentsMargins(0, 0, 0, 0);
  auto* note = new QLabel(tr("Untick a chemical to see the group's figures without it, or a crop "
                             "group to see them as if it carried no residue in any file. Share: "
                             "percent of the most exposed subgroup's exposure."),
                          choicesPanel);
  note->setWordWrap(true);
  treChemicals = NewList("treChemicals", {tr("Chemical"), tr("RPF"), tr("Share %")}, choicesPanel);
  treCropGroups =
      NewList("treCropGroups", {tr("Crop group"), tr("Code"), tr("Share %")}, choicesPanel);
  cmdIncludeAll = NewButton(tr("&Include All"), "cmdIncludeAll", choicesPanel);
  leftColumn->addWidget(note);
  leftColumn->addWidget(treChemicals, 1);
  leftColumn->addWidget(treCropGroups, 2);
  leftColumn->addWidget(cmdIncludeAll);
  SetChoices(choicesPanel, tr("&Leave Out"));

  const ChartColumn chart = NewChartColumn(tabViews);
  chartTab = chart.column;
  lblMostExposed = chart.mostExposed;
  chtSubgroups = chart.chart;
  AddView(chartTab, tr("C&hart"));
  // The row, the subgroup, the index-equivalent exposure and the percent of
  // the cPAD stay whole.
  SetWholeColumns(4);
  SetWideFrom(1300);

  connect(treChemicals, &QTreeWidget::itemChanged, this, &FrmCumulativeResults::ItemChanged);
  connect(treCropGroups, &QTreeWidget::itemChanged, this, &FrmCumulativeResults::ItemChanged);
  connect(cmdIncludeAll, &QPushButton::clicked, this, &FrmCumulativeResults::cmdIncludeAll_Click);
  connect(cmdCopyTable, &QPushButton::clicked, this, &FrmCumulativeResults::cmdCopyTable_Click);
  connect(cmdExportChart, &QPushButton::clicked, this, &FrmCumulativeResults::cmdExportChart_Click);
}

void FrmCumulativeResults::ShowRun(std::unique_ptr<CumulativeRunInputs> run,
                                   CumulativeFigures figures) {
  SetChoicesShown(true);
  run_ = std::move(run);
  figures_ = std::move(figures);
  whatIf_ = CumulativeWhatIf();
  FillLists();
  ShowFigures();
}

void FrmCumulativeResults::ShowRecorded(CumulativeFigures figures, const std::string& shownName) {
  auto inputs = std::make_unique<CumulativeRunInputs>();
  inputs->group = figures.group;
  inputs->shownName = shownName;
  SetChoicesShown(false);
  run_ = std::move(inputs);
  figures_ = std::move(figures);
  whatIf_ = CumulativeWhatIf();
  FillLists();
  ShowFigures();
}

void FrmCumulativeResults::FillLists() {
  filling_ = true;
  treChemicals->clear();
  for (const GroupChemical& g : run_->group.chemicals) {
    auto* item = new QTreeWidgetItem(treChemicals, {FromBytes(g.chemical), FigureText(g.rpf)});
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    item->setCheckState(0, Qt::Checked);
    item->setData(0, kIndexRole, g.index);
    // The group's figures are in the index chemical's equivalents: it
    // stays in.
    if (g.index) {
      item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
      item->setToolTip(0, tr("The index chemical: the group's figures are in its equivalents."));
    }
  }
  treCropGroups->clear();
  if (figures_.exposures.breakdown)
    for (const CommodityPart& part : figures_.exposures.breakdown->parts) {
      auto* item = new QTreeWidgetItem(treCropGroups,
                                       {FromBytes(part.name).trimmed(), FromBytes(part.code)});
      item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
      item->setCheckState(0, Qt::Checked);
    }
  filling_ = false;
}

void FrmCumulativeResults::ItemChanged(QTreeWidgetItem* item, int column) {
  if (filling_ || column != 0 || !run_) return;
  if (item->data(0, kIndexRole).toBool() && item->checkState(0) != Qt::Checked) {
    filling_ = true;
    item->setCheckState(0, Qt::Checked);
    filling_ = false;
    return;
  }
  Recompute();
}

void FrmCumulativeResults::cmdIncludeAll_Click() {
  filling_ = true;
  for (QTreeWidget* list : {treChemicals, treCropGroups})
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      list->topLevelItem(i)->setCheckState(0, Qt::Checked);
  filling_ = false;
  Recompute();
}

void FrmCumulativeResults::Recompute() {
  CumulativeWhatIf whatIf;
  for (int i = 0; i < treChemicals->topLevelItemCount(); ++i)
    if (treChemicals->topLevelItem(i)->checkState(0) != Qt::Checked)
      whatIf.chemicals.push_back(run_->group.chemicals[static_cast<std::size_t>(i)].chemical);
  for (int i = 0; i < treCropGroups->topLevelItemCount(); ++i)
    if (treCropGroups->topLevelItem(i)->checkState(0) != Qt::Checked)
      whatIf.codes.push_back(ToBytes(treCropGroups->topLevelItem(i)->text(1)));
  if (whatIf.chemicals == whatIf_.chemicals && whatIf.codes == whatIf_.codes) return;

  // The residue files are read again: a what-if is the run it stands for.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  CumulativeFigures figures;
  std::vector<std::string> problems;
  const bool done =
      ComputeCumulativeFigures(run_->started, run_->group, run_->adj2, run_->rows,
                               HeadroomBy::CropGroup, whatIf, run_->shownName, figures, problems);
  QApplication::restoreOverrideCursor();
  if (!done) {
    DialogOwnerScope owner(this);
    std::string text = "The what-if could not be worked out:";
    for (const std::string& problem : problems) text += "\n" + problem;
    p_.MessageBox(text, "Cumulative Assessment", MsgIcon::Exclamation, MsgButtons::OK);
    // The boxes go back to the figures shown.
    filling_ = true;
    for (int i = 0; i < treChemicals->topLevelItemCount(); ++i) {
      const std::string& name = run_->group.chemicals[static_cast<std::size_t>(i)].chemical;
      const bool out = std::find(whatIf_.chemicals.begin(), whatIf_.chemicals.end(), name) !=
                       whatIf_.chemicals.end();
      treChemicals->topLevelItem(i)->setCheckState(0, out ? Qt::Unchecked : Qt::Checked);
    }
    for (int i = 0; i < treCropGroups->topLevelItemCount(); ++i) {
      const std::string code = ToBytes(treCropGroups->topLevelItem(i)->text(1));
      const bool out =
          std::find(whatIf_.codes.begin(), whatIf_.codes.end(), code) != whatIf_.codes.end();
      treCropGroups->topLevelItem(i)->setCheckState(0, out ? Qt::Unchecked : Qt::Checked);
    }
    filling_ = false;
    return;
  }
  figures_ = std::move(figures);
  whatIf_ = std::move(whatIf);
  ShowFigures();
}

void FrmCumulativeResults::ShowFigures() {
  FillFigures(tblFigures, figures_.subgroups);
  FitFigures();
  const int most = MostExposedSubgroup(figures_.subgroups);
  const CumulativeSubgroup* worst =
      most >= 0 ? &figures_.subgroups[static_cast<std::size_t>(most)] : nullptr;

  // Each chemical's and crop group's share of the most exposed subgroup's
  // exposure; none for what is left out.
  filling_ = true;
  for (int i = 0; i < treChemicals->topLevelItemCount(); ++i) {
    const std::string& name = run_->group.chemicals[static_cast<std::size_t>(i)].chemical;
    std::optional<double> share;
    for (std::size_t j = 0; worst && j < figures_.group.chemicals.size(); ++j)
      if (figures_.group.chemicals[j].chemical == name) share = worst->share[j];
    treChemicals->topLevelItem(i)->setText(2, ShareText(share));
  }
  for (int i = 0; i < treCropGroups->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = treCropGroups->topLevelItem(i);
    std::optional<double> share;
    if (worst && worst->indexEquivalent != 0 && item->checkState(0) == Qt::Checked &&
        figures_.exposures.breakdown)
      for (const CommodityPart& part : figures_.exposures.breakdown->parts)
        if (FromBytes(part.code) == item->text(1))
          share = 100.0 * part.equivalent[static_cast<std::size_t>(most)] / worst->indexEquivalent;
    item->setText(2, ShareText(share));
  }
  filling_ = false;

  // The chart's title names what the what-if leaves out: the chemicals by
  // name, the crop groups by code.
  QStringList leftOut;
  for (const std::string& name : whatIf_.chemicals) leftOut << FromBytes(name);
  for (const std::string& code : whatIf_.codes) leftOut << FromBytes(code);
  chart_ = CumulativeChartOf(
      figures_.group, figures_.subgroups,
      WhatIfTitle(Title(tr("Index-equivalent exposure by population subgroup"), run_->shownName),
                  leftOut));
  for (const GroupChemical& kept : figures_.group.chemicals)
    for (std::size_t j = 0; j < run_->group.chemicals.size(); ++j)
      if (run_->group.chemicals[j].chemical == kept.chemical) chart_.colours << static_cast<int>(j);
  lblMostExposed->setText(chart_.note);
  QChart* old = chtSubgroups->chart();
  chtSubgroups->setChart(BuildStackedSubgroupChart(chart_, kWindowPointSize));
  // Every subgroup's label drawn: the chart as tall as its labels need.
  chtSubgroups->setMinimumHeight(std::max(360, ChartHeightFor(chtSubgroups->chart())));
  delete old;
}

void FrmCumulativeResults::cmdCopyTable_Click() {
  CopyToClipboard(*tblFigures);
}

void FrmCumulativeResults::cmdExportChart_Click() {
  DialogOwnerScope owner(this);
  const StackedChartData data = chart_;
  ExportChart(p_, "cumulative.png", [data](int pointSize) {
    QChart* chart = BuildStackedSubgroupChart(data, pointSize);
    // On the page, the note about the most exposed subgroup goes with it.
    chart->setTitle(data.title + "<br><small>" + data.note.toHtmlEscaped() + "</small>");
    return chart;
  });
}

}  // namespace ormid
