#include "desktop/results/frm_aggregate_results.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "aggregate/aggregate_report.h"
#include "core/platform.h"
#include "desktop/delivery/qt_text.h"
#include "desktop/results/results_widgets.h"

namespace ormid {

namespace {

const char* const kSourceTitles[] = {
    QT_TR_NOOP("Food"), QT_TR_NOOP("Drinking water"), QT_TR_NOOP("Residential oral"),
    QT_TR_NOOP("Residential dermal"), QT_TR_NOOP("Residential inhalation")};
const char* const kRouteTitles[] = {QT_TR_NOOP("Residential oral"),
                                    QT_TR_NOOP("Residential dermal"),
                                    QT_TR_NOOP("Residential inhalation")};

// The duration's subgroups, one row each, as the export gives their figures.
void FillFigures(QTableWidget* table, const AggregateDurationFigures& d) {
  const bool cancer = d.duration == Duration::Cancer;
  table->setSortingEnabled(false);
  table->clear();
  QStringList headings = {ColumnTitle("row"),
                          ColumnTitle("subgroup"),
                          QObject::tr("Scenario"),
                          QObject::tr("Food (mg/kg bw/day)"),
                          QObject::tr("Water (mg/kg bw/day)"),
                          QObject::tr("Oral dose (mg/kg bw/day)"),
                          QObject::tr("Dermal dose (mg/kg bw/day)"),
                          QObject::tr("Inhalation dose (mg/kg bw/day)")};
  if (cancer)
    headings << ColumnTitle("lifetime_cancer_risk");
  else
    headings << QObject::tr("MOE oral") << QObject::tr("MOE dermal")
             << QObject::tr("MOE inhalation") << QObject::tr("Aggregate MOE") << QObject::tr("ARI")
             << QObject::tr("Hazard index");
  if (d.duration == Duration::Chronic) headings << QObject::tr("% of cPAD");
  headings << QObject::tr("Of concern") << QObject::tr("DWLOC (ug/L)")
           << QObject::tr("EDWC below DWLOC");
  table->setColumnCount(static_cast<int>(headings.size()));
  table->setHorizontalHeaderLabels(headings);
  table->setRowCount(static_cast<int>(d.subgroups.size()));
  for (int i = 0; i < static_cast<int>(d.subgroups.size()); ++i) {
    const AggregateSubgroup& s = d.subgroups[static_cast<std::size_t>(i)];
    int c = 0;
    table->setItem(i, c++, new NumberItem(QString::number(s.row), s.row));
    table->setItem(i, c++, TextCell(FromBytes(s.subgroup).trimmed()));
    table->setItem(i, c++, TextCell(FromBytes(s.scenario)));
    table->setItem(i, c++, NumberCell(s.food));
    table->setItem(i, c++, NumberCell(s.water));
    for (double dose : s.dose) table->setItem(i, c++, DoubleCell(dose));
    if (cancer) {
      table->setItem(i, c++, DoubleCell(s.risk, true));
    } else {
      for (const auto& moe : s.moe) table->setItem(i, c++, DoubleCell(moe));
      table->setItem(i, c++, DoubleCell(s.aggregateMoe));
      table->setItem(i, c++, DoubleCell(s.ari));
      table->setItem(i, c++, DoubleCell(s.hazardIndex));
    }
    if (d.duration == Duration::Chronic) table->setItem(i, c++, DoubleCell(s.percentCpad));
    table->setItem(i, c++, TextCell(s.ofConcern ? QObject::tr("yes") : QObject::tr("no")));
    if (s.dwlocKind == DwlocKind::Value)
      table->setItem(i, c++, DoubleCell(s.dwloc));
    else
      table->setItem(i, c++, TextCell(FromBytes(DwlocText(s))));
    table->setItem(i, c++,
                   TextCell(!s.edwcBelow   ? QString()
                            : *s.edwcBelow ? QObject::tr("yes")
                                           : QObject::tr("no")));
  }
  FitColumns(table, 1);
  table->setSortingEnabled(true);
  table->sortByColumn(0, Qt::AscendingOrder);
}

}  // namespace

StackedChartData AggregateChartOf(const AggregateDurationFigures& d, const QString& title) {
  StackedChartData data;
  data.title = title;
  const bool cancer = d.duration == Duration::Cancer;
  data.axisTitle = cancer ? QObject::tr("Percent of the cancer risk limit")
                          : QObject::tr("Percent of the limit (100 / ARI)");
  data.limit = 100;
  data.limitName = cancer ? QObject::tr("risk limit") : QObject::tr("ARI = 1");
  for (const char* source : kSourceTitles) data.parts << QObject::tr(source);
  data.values.resize(static_cast<int>(std::size(kSourceTitles)));
  for (const AggregateSubgroup& s : d.subgroups) {
    data.subgroups << FromBytes(s.subgroup).trimmed();
    for (std::size_t j = 0; j < s.ofLimit.size(); ++j)
      data.values[static_cast<int>(j)] << s.ofLimit[j];
  }
  const int most = MostExposedAggregate(d);
  if (most >= 0) {
    const AggregateSubgroup& s = d.subgroups[static_cast<std::size_t>(most)];
    data.note = cancer ? QObject::tr("Most exposed: %1, lifetime risk %2 (%3)")
                             .arg(FromBytes(s.subgroup).trimmed())
                             .arg(QString::number(s.risk.value_or(0), 'e', 2))
                             .arg(s.scenario.empty() ? QObject::tr("no residential scenario")
                                                     : FromBytes(s.scenario))
                : s.ari ? QObject::tr("Most exposed: %1, ARI %2 (%3)")
                              .arg(FromBytes(s.subgroup).trimmed())
                              .arg(QString::number(*s.ari, 'f', 2))
                              .arg(s.scenario.empty() ? QObject::tr("no residential scenario")
                                                      : FromBytes(s.scenario))
                        : QObject::tr("No subgroup is exposed.");
  }
  return data;
}

FrmAggregateResults::FrmAggregateResults(Platform& p, QWidget* parent)
    : ResultsFrame(p, "frmAggregateResults", tr("Aggregate Assessment Results"), parent) {
  auto* choices = new QWidget(this);
  auto* leftColumn = new QVBoxLayout(choices);
  leftColumn->setContentsMargins(0, 0, 0, 0);
  cboDuration = new QComboBox(choices);
  cboDuration->setObjectName("cboDuration");
  auto* note = new QLabel(tr("Untick a source to see the figures of a run without it: the "
                             "drinking water, a residential scenario or a residential route."),
                          choices);
  note->setWordWrap(true);
  chkWater = new QCheckBox(tr("Drinking water"), choices);
  chkWater->setObjectName("chkWater");
  leftColumn->addWidget(new QLabel(tr("Duration:"), choices));
  leftColumn->addWidget(cboDuration);
  leftColumn->addWidget(note);
  leftColumn->addWidget(chkWater);
  for (std::size_t r = 0; r < chkRoute.size(); ++r) {
    chkRoute[r] = new QCheckBox(tr(kRouteTitles[r]), choices);
    chkRoute[r]->setObjectName(QString("chkRoute%1").arg(r + 1));
    leftColumn->addWidget(chkRoute[r]);
  }
  treScenarios = new QTreeWidget(choices);
  treScenarios->setObjectName("treScenarios");
  treScenarios->setRootIsDecorated(false);
  treScenarios->setHeaderLabels({tr("Residential scenario")});
  leftColumn->addWidget(treScenarios, 1);
  cmdIncludeAll = NewButton(tr("&Include All"), "cmdIncludeAll", choices);
  leftColumn->addWidget(cmdIncludeAll);
  SetChoices(choices, tr("&Duration and Sources"));

  const ChartColumn chart = NewChartColumn(tabViews);
  chartTab = chart.column;
  lblMostExposed = chart.mostExposed;
  chtSubgroups = chart.chart;
  AddView(chartTab, tr("C&hart"));
  // The row, the subgroup, its residential scenario and its food exposure
  // stay whole.
  SetWholeColumns(4);
  SetWideFrom(1300);

  connect(cboDuration, &QComboBox::currentIndexChanged, this, [this] { ShowFigures(); });
  connect(chkWater, &QCheckBox::toggled, this, [this] { Recompute(); });
  for (QCheckBox* box : chkRoute) connect(box, &QCheckBox::toggled, this, [this] { Recompute(); });
  connect(treScenarios, &QTreeWidget::itemChanged, this, [this] { Recompute(); });
  connect(cmdIncludeAll, &QPushButton::clicked, this, &FrmAggregateResults::cmdIncludeAll_Click);
  connect(cmdCopyTable, &QPushButton::clicked, this, &FrmAggregateResults::cmdCopyTable_Click);
  connect(cmdExportChart, &QPushButton::clicked, this, &FrmAggregateResults::cmdExportChart_Click);
}

void FrmAggregateResults::ShowRun(AggregateFigures run) {
  run_ = std::move(run);
  figures_ = run_.durations;
  whatIf_ = AggregateWhatIf();
  FillBoxes();
  ShowFigures();
}

void FrmAggregateResults::FillBoxes() {
  filling_ = true;
  cboDuration->clear();
  for (const AggregateDurationFigures& d : run_.durations)
    cboDuration->addItem(tr(DurationTitle(d.duration)));
  // What the run has can be left out: water where it has water foods, the
  // residential routes and scenarios of its residential file.
  chkWater->setChecked(true);
  chkWater->setEnabled(!run_.exposures.waterCodes.empty());
  for (std::size_t r = 0; r < chkRoute.size(); ++r) {
    chkRoute[r]->setChecked(true);
    chkRoute[r]->setEnabled(
        std::any_of(run_.residential.rows.begin(), run_.residential.rows.end(),
                    [&](const ResidentialRow& row) { return Index(row.route) == r; }));
  }
  treScenarios->clear();
  for (const std::string& name : run_.residential.scenarios) {
    auto* item = new QTreeWidgetItem(treScenarios, {FromBytes(name)});
    item->setCheckState(0, Qt::Checked);
  }
  filling_ = false;
}

void FrmAggregateResults::cmdIncludeAll_Click() {
  filling_ = true;
  chkWater->setChecked(true);
  for (QCheckBox* box : chkRoute) box->setChecked(true);
  for (int i = 0; i < treScenarios->topLevelItemCount(); ++i)
    treScenarios->topLevelItem(i)->setCheckState(0, Qt::Checked);
  filling_ = false;
  Recompute();
}

void FrmAggregateResults::Recompute() {
  if (filling_) return;
  AggregateWhatIf whatIf;
  whatIf.water = chkWater->isEnabled() && !chkWater->isChecked();
  for (std::size_t r = 0; r < chkRoute.size(); ++r) whatIf.routes[r] = !chkRoute[r]->isChecked();
  for (int i = 0; i < treScenarios->topLevelItemCount(); ++i)
    if (treScenarios->topLevelItem(i)->checkState(0) != Qt::Checked)
      whatIf.scenarios.push_back(run_.residential.scenarios[static_cast<std::size_t>(i)]);
  whatIf_ = whatIf;
  figures_ = whatIf_.Empty() ? run_.durations : CombineAggregate(run_, whatIf_);
  ShowFigures();
}

const AggregateDurationFigures* FrmAggregateResults::Shown() const {
  const int i = cboDuration->currentIndex();
  if (i < 0 || i >= static_cast<int>(figures_.size())) return nullptr;
  return &figures_[static_cast<std::size_t>(i)];
}

void FrmAggregateResults::ShowFigures() {
  const AggregateDurationFigures* d = Shown();
  if (!d) return;
  FillFigures(tblFigures, *d);
  QStringList leftOut;
  if (whatIf_.water) leftOut << tr("drinking water");
  for (std::size_t r = 0; r < whatIf_.routes.size(); ++r)
    if (whatIf_.routes[r]) leftOut << tr(kRouteTitles[r]).toLower();
  for (const std::string& name : whatIf_.scenarios) leftOut << FromBytes(name);
  chart_ = AggregateChartOf(*d, WhatIfTitle(Title(tr("%1 aggregate exposure by population subgroup")
                                                      .arg(tr(DurationTitle(d->duration))),
                                                  run_.exposures.chemical),
                                            leftOut));
  lblMostExposed->setText(chart_.note);
  QChart* old = chtSubgroups->chart();
  chtSubgroups->setChart(BuildStackedSubgroupChart(chart_, kWindowPointSize));
  chtSubgroups->setMinimumHeight(std::max(360, ChartHeightFor(chtSubgroups->chart())));
  delete old;
  FitFigures();
}

void FrmAggregateResults::cmdCopyTable_Click() {
  CopyToClipboard(*tblFigures);
}

void FrmAggregateResults::cmdExportChart_Click() {
  const StackedChartData data = chart_;
  ExportChart(p_, "aggregate.png", [data](int pointSize) {
    QChart* chart = BuildStackedSubgroupChart(data, pointSize);
    chart->setTitle(data.title + "<br><small>" + data.note.toHtmlEscaped() + "</small>");
    return chart;
  });
}

}  // namespace ormid
