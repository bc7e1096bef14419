// The Results windows driven through the desktop program on copies of the
// sample installations: the chart holds the run's own figures, one bar per
// subgroup with the limit across them; exported charts are real PNG, SVG and
// PDF files; a crop group unticked gives what a real run without it gives.
// The cumulative run's window holds the figures of the run's JSON export,
// and its what-if those of a real run with the same chemicals and crop
// groups left out.
#include <QAbstractBarSeries>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStandardItemModel>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QValueAxis>
#include <QtTest>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "aggregate/aggregate_export.h"
#include "bench/synthetic_installation.h"
#include "cli/cli_run.h"
#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "cumulative/assessment_group.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/frm_spd.h"
#include "desktop/delivery/report_view.h"
#include "desktop/history/frm_history.h"
#include "desktop/main_window/frm_aggregate.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/modal_runner.h"
#include "desktop/main_window/qt_platform.h"
#include "desktop/results/frm_aggregate_results.h"
#include "desktop/results/frm_cumulative_results.h"
#include "desktop/results/frm_results.h"
#include "desktop/results/results_chart.h"
#include "desktop/results/results_widgets.h"
#include "setup/startup.h"
#include "tests/sample_run.h"

namespace ormid::test {

namespace fs = std::filesystem;

// The destination dialog answered with Screen, the viewer left alone; the
// aggregate assessment's dialog filled by `aggregate`.
class ScreenRunner : public ModalRunner {
 public:
  std::function<void(FrmAggregate&)> aggregate;
  void RunModal(QDialog& dialog) override {
    if (auto* spd = qobject_cast<FrmSPD*>(&dialog)) spd->cmdScreen->click();
    if (auto* a = qobject_cast<FrmAggregate*>(&dialog); a && aggregate) aggregate(*a);
    if (dialog.isVisible()) dialog.reject();
  }
  bool ConfigurePrinter(QPrinter&) override { return false; }
};

// A started installation with the desktop program's main window on it.
struct Desktop {
  TempDir dir;
  std::unique_ptr<ScopedCurrentDir> cwd;
  FakePlatform platform;
  ModOrmid m;
  ScreenRunner runner;
  std::unique_ptr<FrmOrmid> w;

  // A copy of the sample installation, or the installation already in dir.
  explicit Desktop(const std::string& sample) {
    if (!sample.empty()) CopySampleInstallation(sample, dir.path());
  }
  bool Start() {
    cwd = std::make_unique<ScopedCurrentDir>(dir.path());
    if (!StartUp(m, platform, false)) return false;
    w = std::make_unique<FrmOrmid>(m, platform, runner);
    w->show();
    return true;
  }
  void Open(const fs::path& residue) {
    platform.openAnswers.push_back(residue.string());
    w->mnuOpenRes->trigger();
    // A sample file's notes on opening are not the run's business.
    platform.messages.clear();
  }
  // The endpoint as SampleRun sets it: 'R', 'P', 'N' or 'Q'.
  void Endpoint(char endpoint) {
    w->txtMOE1->setText("0.5");
    w->txtMOE2->setText("0.005");
    w->txtMOE3->setText("0.05");
    w->txtComment->setPlainText("Headroom test");
    if (endpoint == 'N') w->chkMOE1->setChecked(true);
    if (endpoint == 'R' || endpoint == 'P') w->chkMOE2->setChecked(true);
    if (endpoint == 'P') w->chkMOE4->setChecked(true);
    if (endpoint == 'Q') w->chkMOE3->setChecked(true);
  }
};

QAbstractBarSeries* Bars(QChart* chart) {
  for (QAbstractSeries* s : chart->series())
    if (s->objectName() == kBarsSeries) return qobject_cast<QAbstractBarSeries*>(s);
  return nullptr;
}
QLineSeries* Line(QChart* chart, const char* name) {
  for (QAbstractSeries* s : chart->series())
    if (s->objectName() == name) return qobject_cast<QLineSeries*>(s);
  return nullptr;
}

std::string Text(const QTableWidget& table, int row, int column) {
  auto* item = table.item(row, column);
  return item ? item->text().toStdString() : std::string();
}
int Column(const QTableWidget& table, const QString& heading) {
  for (int c = 0; c < table.columnCount(); ++c)
    // A title may be shown on two lines, its unit below its name.
    if (table.horizontalHeaderItem(c)->text().replace('\n', ' ') == heading) return c;
  return -1;
}

// A figure's text in a table reads back to the very value, and is written
// in its column's one form: plain digits, or an exponent for lifetime risks
// and for figures far from 1.
bool ShownAs(const std::string& text, std::optional<float> value, bool risk) {
  if (!value) return text.empty();
  const auto back = ReadFloatText(text);
  const float v = std::fabs(*value);
  const bool exponent = risk || (v != 0 && (v < 1e-7f || v >= 1e7f));
  return back && std::bit_cast<std::uint32_t>(*back) == std::bit_cast<std::uint32_t>(*value) &&
         (text.find('e') != std::string::npos) == exponent;
}

// The table's rows by report row, each row's exposure and figure as shown.
void ExpectTableHolds(const QTableWidget& table, const std::vector<ShownSubgroup>& rows) {
  QCOMPARE(table.rowCount(), static_cast<int>(rows.size()));
  const int exposure = Column(table, "Exposure (mg/kg bw/day)");
  QVERIFY(exposure >= 0);
  for (int r = 0; r < table.rowCount(); ++r) {
    const int row = std::stoi(Text(table, r, 0));
    const LongTermResult& x = rows[static_cast<std::size_t>(row - 1)].figures;
    QVERIFY2(ShownAs(Text(table, r, exposure), x.exposure, false),
             Text(table, r, exposure).c_str());
    struct {
      const char* heading;
      std::optional<float> value;
    } figures[] = {{"% of RfD or PAD", x.percentReference},
                   {"Margin of exposure", x.marginOfExposure},
                   {"Lifetime risk", x.lifetimeRisk}};
    for (const auto& f : figures) {
      const int c = Column(table, f.heading);
      if (c >= 0)
        QVERIFY2(ShownAs(Text(table, r, c), f.value, f.heading == std::string("Lifetime risk")),
                 Text(table, r, c).c_str());
    }
  }
}

std::string FirstMessage(const FakePlatform& p) {
  return p.messages.empty() ? std::string()
                            : p.messages.front().title + ": " + p.messages.front().text;
}

std::string FileBytes(const fs::path& path) {
  return ReadFileBytes(path);
}

// The subgroups of a real cumulative run of `group`, as its JSON export
// gives them (`extra`: --exclude and its items); null, the test failed,
// when it fails.
nlohmann::json RealCumulativeRun(const Desktop& d, const fs::path& group,
                                 const std::vector<std::string>& extra = {}) {
  const fs::path json = d.dir.path() / "real.json";
  std::vector<std::string> args = {"-C",           d.dir.str(), "cumulative", group.string(),
                                   "--no-history", "--export",  json.string()};
  args.insert(args.end(), extra.begin(), extra.end());
  fs::remove(json);
  std::ostringstream out, err;
  const int status = cli::RunCli(args, out, err);
  fs::current_path(d.dir.path());
  if (status != 0) {
    QTest::qFail(err.str().c_str(), __FILE__, __LINE__);
    return nullptr;
  }
  return nlohmann::json::parse(FileBytes(json))["cumulative"];
}

// A double cell as the window shows it: blank for a figure that is none.
void ExpectFigure(const QTableWidget& table, int r, int c, const nlohmann::json& value) {
  const QString text = QString::fromStdString(Text(table, r, c));
  if (value.is_null()) {
    QCOMPARE(text, QString());
  } else {
    // The very double, not one close to it.
    bool number = false;
    const double shown = text.toDouble(&number);
    QVERIFY2(number && shown == value.get<double>(),
             qPrintable(text + " instead of " + QString::fromStdString(value.dump())));
  }
}

// The window's table, chart and chemicals' shares hold the run's figures.
void ExpectCumulativeWindowHolds(const FrmCumulativeResults& window, const nlohmann::json& run,
                                 const AssessmentGroup& group) {
  QVERIFY(!run.is_null());
  const QTableWidget& table = *window.tblFigures;
  QCOMPARE(table.rowCount(), static_cast<int>(run.size()));
  const int exposure = Column(table, "Index-equivalent exposure (mg/kg bw/day)");
  const int cpad = Column(table, "% of cPAD"), moet = Column(table, "MOET"),
            hi = Column(table, "Hazard index"), margin = Column(table, "Cumulative MOE"),
            target = Column(table, "Target MOE");
  QVERIFY(exposure >= 0 && cpad >= 0 && moet >= 0 && hi >= 0 && margin >= 0 && target >= 0);
  for (int r = 0; r < table.rowCount(); ++r) {
    const int row = std::stoi(Text(table, r, 0));
    const nlohmann::json& s = run[static_cast<std::size_t>(row - 1)];
    QCOMPARE(s["row"].get<int>(), row);
    const nlohmann::json& c = s["cumulative"];
    ExpectFigure(table, r, exposure, c["index_equivalent_mg_per_kg_bw_day"]);
    ExpectFigure(table, r, cpad, c["percent_of_index_pad"]);
    ExpectFigure(table, r, moet, c["moet"]);
    ExpectFigure(table, r, hi, c["hazard_index"]);
    ExpectFigure(table, r, margin, c["cumulative_moe"]);
    ExpectFigure(table, r, target, c["target_moe"]);
    if (QTest::currentTestFailed()) return;
  }

  // A bar set per chemical kept, each subgroup's bar stacking their index
  // equivalents, the first subgroup at the top; the cPAD across them.
  QChart* chart = window.chtSubgroups->chart();
  QAbstractBarSeries* bars = Bars(chart);
  QVERIFY(bars);
  const nlohmann::json& chemicals = run[0]["chemicals"];
  QCOMPARE(bars->barSets().size(), static_cast<int>(chemicals.size()));
  const int n = static_cast<int>(run.size());
  auto* names = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Vertical).front());
  QVERIFY(names);
  QCOMPARE(names->count(), n);
  QCOMPARE(names->at(n - 1),
           QString::fromStdString(run[0]["subgroup"].get<std::string>()).trimmed().toHtmlEscaped());
  for (int j = 0; j < bars->barSets().size(); ++j) {
    QBarSet* set = bars->barSets()[j];
    QCOMPARE(set->label().toStdString(),
             chemicals[static_cast<std::size_t>(j)]["chemical"].get<std::string>());
    QCOMPARE(set->count(), n);
    for (int k = 0; k < n; ++k) {
      const nlohmann::json& e =
          run[static_cast<std::size_t>(k)]["chemicals"][static_cast<std::size_t>(j)]
             ["index_equivalent_mg_per_kg_bw_day"];
      QVERIFY2(set->at(n - 1 - k) == e.get<double>(),
               qPrintable(QString::number(set->at(n - 1 - k)) + " instead of " +
                          QString::fromStdString(e.dump())));
    }
  }
  QLineSeries* limit = Line(chart, kLimitSeries);
  QVERIFY(limit);
  QCOMPARE(limit->at(0).x(), group.Cpad());
  QVERIFY(limit->at(0).y() < 0 && limit->at(1).y() > n - 1);

  // Each chemical's share in the subgroup with the highest percent of the
  // cPAD; none for a chemical left out.
  std::size_t worst = 0;
  for (std::size_t k = 1; k < run.size(); ++k)
    if (run[k]["cumulative"]["percent_of_index_pad"].get<double>() >
        run[worst]["cumulative"]["percent_of_index_pad"].get<double>())
      worst = k;
  QVERIFY(window.lblMostExposed->text().contains(
      QString::fromStdString(run[worst]["subgroup"].get<std::string>()).trimmed()));
  for (int i = 0; i < window.treChemicals->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = window.treChemicals->topLevelItem(i);
    QString share;
    for (const auto& c : run[worst]["chemicals"])
      if (QString::fromStdString(c["chemical"].get<std::string>()) == item->text(0))
        share = FigureText(c["share_percent"].get<double>());
    QCOMPARE(item->text(2), share);
  }
}

QTreeWidgetItem* ItemNamed(QTreeWidget* list, int column, const QString& text) {
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    if (list->topLevelItem(i)->text(column) == text) return list->topLevelItem(i);
  return nullptr;
}

// Each duration's subgroups of a real aggregate run of the sample's
// DEMOFOS with `args`, as its JSON export gives them; null, the test
// failed, when it fails.
nlohmann::json RealAggregateRun(const Desktop& d, const std::vector<std::string>& args) {
  const fs::path json = d.dir.path() / "real.json";
  std::vector<std::string> all = {
      "-C",           d.dir.str(), "aggregate",  (d.dir.path() / "residues/DEMOFOS.R10").string(),
      "--no-history", "--export",  json.string()};
  all.insert(all.end(), args.begin(), args.end());
  fs::remove(json);
  std::ostringstream out, err;
  const int status = cli::RunCli(all, out, err);
  fs::current_path(d.dir.path());
  if (status != 0) {
    QTest::qFail(err.str().c_str(), __FILE__, __LINE__);
    return nullptr;
  }
  return nlohmann::json::parse(FileBytes(json))["aggregate"]["durations"];
}

// The window's figures, every duration's, and its table's ARI or risk of
// the duration shown, are those of the real run.
void ExpectAggregateWindowHolds(const FrmAggregateResults& window, const nlohmann::json& run) {
  QVERIFY(!run.is_null());
  AggregateFigures shown;
  shown.durations = window.Figures();
  const nlohmann::json figures = AggregateJson(shown)["durations"];
  QCOMPARE(figures.size(), run.size());
  for (std::size_t i = 0; i < run.size(); ++i)
    QVERIFY2(figures[i] == run[i],
             qPrintable(QString::fromStdString(run[i]["duration"].get<std::string>() + ": " +
                                               figures[i].dump().substr(0, 400) + "\n instead of " +
                                               run[i].dump().substr(0, 400))));
  const QTableWidget& table = *window.tblFigures;
  const nlohmann::json& d = run[static_cast<std::size_t>(window.cboDuration->currentIndex())];
  const bool cancer = d["duration"] == "cancer";
  const int c = Column(table, cancer ? "Lifetime risk" : "ARI");
  QVERIFY(c >= 0);
  QCOMPARE(table.rowCount(), static_cast<int>(d["subgroups"].size()));
  for (int r = 0; r < table.rowCount(); ++r) {
    const int row = std::stoi(Text(table, r, 0));
    for (const nlohmann::json& s : d["subgroups"])
      if (s["row"] == row)
        ExpectFigure(table, r, c, s[cancer ? "lifetime_cancer_risk" : "aggregate_risk_index"]);
    if (QTest::currentTestFailed()) return;
  }
}

// A category's label as the chart shows it: its markup read, a wrapped
// label's lines one under the other.
QString PlainLabel(const QString& html) {
  QTextDocument document;
  document.setHtml(html);
  return document.toPlainText();
}

// The category labels a chart draws (its axes' label items in its scene),
// with their bounding boxes in the scene.
std::vector<std::pair<QString, QRectF>> CategoryLabels(QChart* chart) {
  QStringList names;
  for (QAbstractAxis* axis : chart->axes())
    if (auto* categories = qobject_cast<QBarCategoryAxis*>(axis))
      for (const QString& name : categories->categories()) names << PlainLabel(name);
  std::vector<std::pair<QString, QRectF>> labels;
  if (!chart->scene()) return labels;
  for (QGraphicsItem* item : chart->scene()->items())
    if (auto* text = dynamic_cast<QGraphicsTextItem*>(item))
      if (text->isVisible() && names.contains(text->toPlainText()))
        labels.emplace_back(text->toPlainText(), text->sceneBoundingRect());
  return labels;
}

// Every category of the chart labelled, each label whole inside the chart
// and clear of every other.
void ExpectLabelsReadable(QChart* chart, int categories) {
  const auto labels = CategoryLabels(chart);
  QCOMPARE(static_cast<int>(labels.size()), categories);
  const QRectF whole = chart->rect();
  for (std::size_t i = 0; i < labels.size(); ++i) {
    QVERIFY2(whole.contains(labels[i].second),
             qPrintable(labels[i].first + " is cut by the chart's edge"));
    for (std::size_t j = i + 1; j < labels.size(); ++j)
      QVERIFY2(!labels[i].second.intersects(labels[j].second),
               qPrintable(labels[i].first + " overlaps " + labels[j].first));
  }
}

// A Results window at the size it opens, on the laptop's screen: the
// figures' first columns (row, subgroup, exposure, the endpoint's figure)
// whole and in view, and the chart's plot area at least 300 x 200 with its
// bars; the main window's Run Analysis menu uncovered.
void ExpectReadableAtOpening(ResultsFrame* window, QWidget* chartPart, QChartView* view,
                             const FrmOrmid& main) {
  QVERIFY(window && window->isVisible());
  window->ShowPart(window->FiguresPart());
  QApplication::processEvents();
  const QTableWidget& table = *window->tblFigures;
  QVERIFY(table.isVisible());
  const int room = table.viewport()->width();
  for (int c = 0; c < 4; ++c) {
    const int needed = std::max(static_cast<const QAbstractItemView&>(table).sizeHintForColumn(c),
                                table.horizontalHeader()->sectionSizeHint(c));
    const int right = table.columnViewportPosition(c) + table.columnWidth(c);
    QVERIFY2(right <= room,
             qPrintable(QString("column %1 ends at %2 of %3").arg(c).arg(right).arg(room)));
    QVERIFY2(table.columnWidth(c) >= needed,
             qPrintable(QString("%1: column %2 (%3) is %4 wide, needs %5 (room %6)")
                            .arg(window->objectName())
                            .arg(c)
                            .arg(table.horizontalHeaderItem(c)->text())
                            .arg(table.columnWidth(c))
                            .arg(needed)
                            .arg(room)));
  }
  window->ShowPart(chartPart);
  QApplication::processEvents();
  QVERIFY(view->isVisible());
  QChart* chart = view->chart();
  const QRectF plot = chart->plotArea();
  QVERIFY2(plot.width() >= 300 && plot.height() >= 200,
           qPrintable(QString("plot area %1 x %2").arg(plot.width()).arg(plot.height())));
  // The plot area is in sight: its top-left corner within the view's
  // visible part.
  const QPoint corner = view->mapFromScene(chart->mapToScene(plot.topLeft()));
  QVERIFY2(
      view->viewport()->visibleRegion().contains(corner),
      qPrintable(
          QString("the plot area's corner %1,%2 is out of sight").arg(corner.x()).arg(corner.y())));
  QAbstractBarSeries* bars = Bars(chart);
  QVERIFY(bars && !bars->barSets().isEmpty() && bars->barSets().front()->count() > 0);
  QVERIFY(window->screen()->availableGeometry().contains(window->frameGeometry()));
  // Run Analysis stays in reach.
  const QMenuBar* menus = main.menuBar();
  const QRect run =
      QRect(menus->mapToGlobal(menus->actionGeometry(main.mnuAnalysis->menuAction()).topLeft()),
            menus->actionGeometry(main.mnuAnalysis->menuAction()).size());
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top != &main && top->isVisible() && !top->inherits("QMenu"))
      QVERIFY2(!top->frameGeometry().intersects(run),
               qPrintable(top->objectName() + " covers the Run Analysis menu"));
}

class ResultsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // An item view that loses track of an editor warns: that fails the test.
  void init() {
    QTest::failOnWarning(QRegularExpression("commitData|editor that does not belong"));
  }
  void longTermChartHoldsTheRunsFigures_data() {
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("residue");
    QTest::addColumn<char>("endpoint");
    QTest::newRow("csfii RfD") << "csfii"
                               << "DEMOFOS.R98" << 'R';
    QTest::newRow("csfii NOEL") << "csfii"
                                << "CYCLOFOS.R98" << 'N';
    QTest::newRow("nhanes Q*") << "nhanes-2005-2010"
                               << "DEMOGRP.R10" << 'Q';
    QTest::newRow("nhanes RfD") << "nhanes-2005-2010"
                                << "DEMOFOS.R10" << 'R';
  }
  void longTermChartHoldsTheRunsFigures() {
    QFETCH(QString, sample);
    QFETCH(QString, residue);
    QFETCH(char, endpoint);
    // The figures a run without the window sends.
    std::vector<ShownSubgroup> expected;
    {
      SampleRun run(sample.toStdString(), residue.toStdString(), endpoint);
      KeepingHost host;
      QCOMPARE(RunThroughSession(run.m, run.platform, host, run.settings, RunKind::LongTerm).status,
               RunStatus::Done);
      expected = host.figures.longTerm;
    }
    Desktop d(sample.toStdString());
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues" / residue.toStdString());
    d.Endpoint(endpoint);
    d.w->mnuStart->trigger();
    QVERIFY2(d.platform.messages.empty(), FirstMessage(d.platform).c_str());
    FrmResults* results = d.w->frmResults;
    QVERIFY(results && results->isVisible());
    QCOMPARE(static_cast<int>(expected.size()), static_cast<int>(d.m.gPopCount));
    ExpectTableHolds(*results->tblFigures, expected);

    // One bar per subgroup, in report order, the run's figure each.
    QChart* chart = results->chtSubgroups->chart();
    QAbstractBarSeries* bars = Bars(chart);
    QVERIFY(bars);
    QCOMPARE(bars->barSets().size(), 1);
    QBarSet* set = bars->barSets().front();
    QCOMPARE(set->count(), static_cast<int>(d.m.gPopCount));
    const ChartFigure figure = ChartFigureFor(d.m.gEndpoint);
    // The first subgroup at the top: bar i from the bottom is row n - i.
    const int n = set->count();
    auto rowOf = [&](int i) -> const LongTermResult& {
      return expected[static_cast<std::size_t>(n - 1 - i)].figures;
    };
    auto* names = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Vertical).front());
    QVERIFY(names);
    QCOMPARE(names->at(n - 1), QString::fromStdString(expected[0].name).trimmed());
    QList<int> past;
    for (int i = 0; i < n; ++i)
      if (PastLimit(FigureOf(rowOf(i), figure), figure)) past << i;
    QList<int> selected = set->selectedBars();
    std::sort(selected.begin(), selected.end());
    QCOMPARE(selected, past);

    // The limit across every bar.
    QLineSeries* limit = Line(chart, kLimitSeries);
    QVERIFY(limit);
    QCOMPARE(limit->count(), 2);
    QCOMPARE(limit->at(0).x(), limit->at(1).x());
    QVERIFY(limit->at(0).y() < 0 && limit->at(1).y() > set->count() - 1);
    if (figure == ChartFigure::PercentReference) {
      QCOMPARE(limit->at(0).x(), 100.0);
      // Its axis writes a percent of a million as "1000000", not "1e+06".
      auto* axis = qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).front());
      QVERIFY(axis);
      QCOMPARE(QString::asprintf(qPrintable(axis->labelFormat()), 1e6), QString("1000000"));
      for (int i = 0; i < set->count(); ++i)
        QCOMPARE(set->at(i), static_cast<qreal>(rowOf(i).percentReference.value_or(0)));
    } else {
      // A log scale: the limit sits on its decade's label.
      auto* axis = qobject_cast<QCategoryAxis*>(chart->axes(Qt::Horizontal).front());
      QVERIFY(axis);
      const QString label = figure == ChartFigure::LifetimeRisk ? "1E-06" : "100";
      QVERIFY2(axis->categoriesLabels().contains(label),
               axis->categoriesLabels().join(",").toUtf8());
      QCOMPARE(axis->endValue(label), limit->at(0).x());
      // Bars differ in length by the decades between their figures.
      int first = -1;
      for (int i = 0; i < set->count(); ++i) {
        const float v = FigureOf(rowOf(i), figure);
        if (v <= 0) {
          QCOMPARE(set->at(i), 0.0);
          continue;
        }
        if (first < 0) first = i;
        const float v0 = FigureOf(rowOf(first), figure);
        QVERIFY(std::abs((set->at(i) - set->at(first)) - (std::log10(static_cast<double>(v)) -
                                                          std::log10(static_cast<double>(v0)))) <
                1e-9);
      }
      QVERIFY(first >= 0);
    }

    // The most exposed subgroup is named above the chart.
    const int most = MostExposed(expected);
    QVERIFY(results->lblMostExposed->text().contains(
        QString::fromStdString(expected[static_cast<std::size_t>(most)].name).trimmed()));
  }

  void tableSortsAndCopies() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues" / "DEMOFOS.R98");
    d.Endpoint('R');
    d.w->mnuStart->trigger();
    FrmResults* results = d.w->frmResults;
    QVERIFY(results);
    QTableWidget& table = *results->tblFigures;
    const int exposure = Column(table, "Exposure (mg/kg bw/day)");
    table.sortByColumn(exposure, Qt::DescendingOrder);
    // Sorted by value, not by text.
    for (int r = 1; r < table.rowCount(); ++r)
      QVERIFY(std::stof(Text(table, r - 1, exposure)) >= std::stof(Text(table, r, exposure)));
    results->cmdCopyTable->click();
    const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), table.rowCount() + 1);
    QCOMPARE(lines[0].split('\t').size(), table.columnCount());
    QCOMPARE(lines[0].split('\t')[exposure], QString("Exposure (mg/kg bw/day)"));
    QCOMPARE(lines[1].split('\t')[exposure].toStdString(), Text(table, 0, exposure));
    QVERIFY(results->lblMostExposed->text().contains(QString::fromStdString(Text(table, 0, 1))));
  }

  // The Headroom tab holds the table `ormid-cli headroom` prints, row for row.
  void headroomTabMatchesTheCommandLine() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    const fs::path residue = d.dir.path() / "residues" / "DEMOFOS.R98";
    d.Open(residue);
    d.Endpoint('R');
    d.w->mnuStart->trigger();
    FrmResults* results = d.w->frmResults;
    QVERIFY(results);
    // Worked out when the tab is first shown.
    QCOMPARE(results->tblHeadroom->rowCount(), 0);
    results->ShowPart(results->headroomTab);
    for (const char* by : {"cropgroup", "food"}) {
      results->cboHeadroomBy->setCurrentIndex(std::string(by) == "food" ? 1 : 0);
      std::ostringstream out, err;
      QCOMPARE(
          cli::RunCli({"-C", d.dir.str(), "headroom", residue.string(), "--rfd=0.005", "--by", by},
                      out, err),
          0);
      fs::current_path(d.dir.path());
      std::vector<std::string> lines;
      std::istringstream text(out.str());
      for (std::string line; std::getline(text, line);) lines.push_back(line);
      const QTableWidget& table = *results->tblHeadroom;
      QVERIFY(table.rowCount() > 3);
      const int multiplier = Column(table, "Multiplier");
      // The table's rows are the last lines printed, in the same order.
      QVERIFY(lines.size() > static_cast<std::size_t>(table.rowCount()));
      const std::size_t first = lines.size() - static_cast<std::size_t>(table.rowCount());
      for (int r = 0; r < table.rowCount(); ++r) {
        const std::string& line = lines[first + static_cast<std::size_t>(r)];
        QVERIFY2(line.rfind(Text(table, r, 0), 0) == 0, line.c_str());
        QVERIFY2(line.find(Text(table, r, multiplier)) != std::string::npos, line.c_str());
      }
    }
    // Copy Table copies the table of the tab shown.
    results->cmdCopyTable->click();
    QVERIFY(QApplication::clipboard()->text().startsWith("Code\tFood\tShare (%)\tMultiplier"));
  }

  // A closed Results window comes back from View > Last Run's Results, with
  // the last run's figures; the menu item waits for a run that shows one.
  void aClosedResultsWindowCanBeReopened() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    QVERIFY(!d.w->mnuLastResults->isEnabled());
    d.Open(d.dir.path() / "residues" / "DEMOFOS.R98");
    d.Endpoint('R');
    d.w->mnuStart->trigger();
    FrmResults* results = d.w->frmResults;
    QVERIFY(results && results->isVisible());
    const int rows = results->tblFigures->rowCount();
    QVERIFY(rows > 0);
    results->close();
    QVERIFY(!results->isVisible());
    QVERIFY(d.w->mnuLastResults->isEnabled());
    d.w->mnuLastResults->trigger();
    QVERIFY(results->isVisible());
    QCOMPARE(results->tblFigures->rowCount(), rows);
  }

  // On a 1366x768 screen (this binary's offscreen screen) each Results
  // window opens after its report's viewer, in front of the main window and
  // beside the viewer, both whole on the screen; the second report's viewer
  // does not hide the first one's title.
  void windowsFitBesideTheReportOnALaptopScreen() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    const QRect room = d.w->screen()->availableGeometry();
    QCOMPARE(room.size(), QSize(1366, 768));
    d.Open(d.dir.path() / "residues" / "DEMOFOS.R98");
    d.Endpoint('R');
    d.w->chkComplete->setChecked(true);
    d.w->chkStandard[0]->setChecked(true);
    d.w->mnuStart->trigger();
    d.w->mnuCommodity->trigger();
    std::vector<QWidget*> viewers;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (qobject_cast<FrmReport2*>(top) && top->isVisible()) viewers.push_back(top);
    QCOMPARE(viewers.size(), std::size_t{2});
    QVERIFY(viewers[0]->pos() != viewers[1]->pos());
    for (QWidget* results :
         std::initializer_list<QWidget*>{d.w->frmResults, d.w->frmCommodityResults}) {
      QVERIFY(results && results->isVisible());
      QCOMPARE(results->parentWidget(), static_cast<QWidget*>(d.w.get()));
      QVERIFY2(room.contains(results->frameGeometry()), qPrintable(QString("%1,%2 %3x%4")
                                                                       .arg(results->x())
                                                                       .arg(results->y())
                                                                       .arg(results->width())
                                                                       .arg(results->height())));
      for (QWidget* viewer : viewers) {
        QVERIFY(room.contains(viewer->frameGeometry()));
        QVERIFY(!results->frameGeometry().intersects(viewer->frameGeometry()));
      }
    }
  }

  // A food in several crop groups counts in each: a share past 100% is
  // drawn whole and the cumulative line stays inside the plot, the bars
  // and the line on one scale of shares.
  void paretoSharesPast100AreDrawnWhole() {
    ParetoChartData data;
    data.title = "Shares";
    data.groups = {"12", "11", "9"};
    data.shares = {116.18f, 40.5f, 3.0f};
    data.cumulative = {116.18, 156.68, 159.68};
    std::unique_ptr<QChart> chart(BuildParetoChart(data, kWindowPointSize));
    QCOMPARE(chart->axes(Qt::Horizontal).size(), 1);
    auto* values = qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).front());
    QVERIFY(values);
    QCOMPARE(values->min(), 0.0);
    QVERIFY2(values->max() >= 159.68, qPrintable(QString::number(values->max())));
    QLineSeries* line = Line(chart.get(), kCumulativeSeries);
    QVERIFY(line);
    QCOMPARE(line->attachedAxes().size(), 2);
    QVERIFY(line->attachedAxes().contains(values));
    QVERIFY(Bars(chart.get())->attachedAxes().contains(values));
  }

  // 33 subgroups: the exported chart is tall enough for every label (Qt
  // hides a label that would overlap the one before it).
  void everySubgroupIsLabelledOnAnExportedChart() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues" / "DEMOFOS.R98");
    d.Endpoint('R');
    d.w->mnuStart->trigger();
    FrmResults* results = d.w->frmResults;
    QVERIFY(results);
    const fs::path svg = d.dir.path() / "all.svg";
    d.platform.saveAnswers.push_back(svg.string());
    results->cmdExportChart->click();
    const QString text = QString::fromStdString(FileBytes(svg));
    QCOMPARE(d.m.gPopCount, 33);
    for (int k = 1; k <= d.m.gPopCount; ++k) {
      const QString name =
          QString::fromStdString(d.m.gPopNames2[static_cast<std::size_t>(k)]).trimmed();
      QVERIFY2(text.contains(">" + name.toHtmlEscaped() + "<"),
               (name + " is not labelled in the SVG").toUtf8());
    }
  }

  void chartsExportAsPngSvgAndPdf() {
    Desktop d("nhanes-2005-2010");
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues" / "DEMOFOS.R10");
    d.Endpoint('R');
    d.w->mnuStart->trigger();
    FrmResults* results = d.w->frmResults;
    QVERIFY(results);
    const fs::path png = d.dir.path() / "chart.png", svg = d.dir.path() / "chart.SVG",
                   pdf = d.dir.path() / "chart.pdf", bare = d.dir.path() / "chart";
    for (const fs::path& path : {png, svg, pdf, bare}) {
      d.platform.saveAnswers.push_back(path.string());
      results->cmdExportChart->click();
    }
    QCOMPARE(d.platform.saveRequests.back().fileName, std::string("subgroups.png"));
    // A name without an extension gets a picture.
    QVERIFY(fs::exists(d.dir.path() / "chart.png"));
    QVERIFY(fs::file_size(d.dir.path() / "chart.png") > 0);

    const std::string pngBytes = FileBytes(png);
    QCOMPARE(pngBytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    QImage image;
    QVERIFY(image.loadFromData(QByteArray::fromStdString(pngBytes), "PNG"));
    // 900 wide, and tall enough for a label per subgroup (600 at least).
    QCOMPARE(image.width(), 1800);
    QVERIFY(image.height() >= 1200);
    // Not a blank page: the bars' colour is in it.
    int coloured = 0;
    for (int y = 0; y < image.height(); y += 4)
      for (int x = 0; x < image.width(); x += 4)
        if (image.pixelColor(x, y) == QColor(0x3b, 0x6e, 0xa8)) ++coloured;
    QVERIFY(coloured > 100);

    QSvgRenderer renderer(QString::fromStdString(svg.string()));
    QVERIFY2(renderer.isValid(), FileBytes(svg).substr(0, 400).c_str());
    QCOMPARE(renderer.viewBox(), QRect(0, 0, 900, image.height() / 2));

    const std::string pdfBytes = FileBytes(pdf);
    QCOMPARE(pdfBytes.substr(0, 5), std::string("%PDF-"));
    QProcess text;
    text.start("pdftotext", {QString::fromStdString(pdf.string()), "-"});
    QVERIFY(text.waitForFinished(30000));
    QCOMPARE(text.exitCode(), 0);
    const QString words = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(words.contains("% of RfD or PAD"), words.toUtf8());
    // Every subgroup is labelled, a name with "<" whole, in the PDF and
    // the SVG.
    const QString svgText = QString::fromStdString(FileBytes(svg));
    bool angle = false;
    for (int k = 1; k <= d.m.gPopCount; ++k) {
      const QString name =
          QString::fromStdString(d.m.gPopNames2[static_cast<std::size_t>(k)]).trimmed();
      angle = angle || name.contains('<');
      QVERIFY2(words.contains(name), (name + " is not labelled in the PDF").toUtf8());
      QVERIFY2(svgText.contains(name.toHtmlEscaped()),
               (name + " is not labelled in the SVG").toUtf8());
    }
    QVERIFY(angle);

    // Writing over a chart is asked first; No leaves the file as it was.
    const std::string before = FileBytes(pdf);
    d.platform.saveAnswers.push_back(png.string());
    d.platform.answers.push_back(MsgAnswer::No);
    results->cmdExportChart->click();
    QCOMPARE(d.platform.messages.back().text,
             "File " + png.string() + " already exists. Write over?");
    QCOMPARE(FileBytes(png), pngBytes);
  }

  void commodityWhatIfMatchesARealRun_data() {
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("residue");
    QTest::newRow("csfii") << "csfii"
                           << "DEMOFOS.R98";
    QTest::newRow("nhanes") << "nhanes-2005-2010"
                            << "DEMOGRP.R10";
  }
  void commodityWhatIfMatchesARealRun() {
    QFETCH(QString, sample);
    QFETCH(QString, residue);
    Desktop d(sample.toStdString());
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues" / residue.toStdString());
    d.Endpoint('R');
    d.w->chkComplete->setChecked(true);
    d.w->chkStandard[0]->setChecked(true);
    d.w->chkStandard[2]->setChecked(true);
    d.w->mnuCommodity->trigger();
    QVERIFY2(d.platform.messages.empty(), FirstMessage(d.platform).c_str());
    FrmCommodityResults* results = d.w->frmCommodityResults;
    QVERIFY(results && results->isVisible());
    QCOMPARE(results->cboSubgroup->count(), 2);
    const CommodityWhatIf& figures = *results->Figures();
    const int row = results->cboSubgroup->currentData().toInt();
    QCOMPARE(row, 1);

    // The Pareto chart: crop groups by decreasing share from the top (the
    // set's last bar), the line adding up.
    QChart* chart = results->chtPareto->chart();
    QBarSet* set = Bars(chart)->barSets().front();
    const auto bars = figures.Pareto(row);
    QCOMPARE(set->count(), static_cast<int>(bars.size()));
    QVERIFY(set->count() >= 2);
    for (int i = 1; i < set->count(); ++i) QVERIFY(set->at(i - 1) <= set->at(i));
    // Each bar is labelled with its crop group's code and whole name.
    auto* groups = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Vertical).front());
    QVERIFY(groups);
    const int n = set->count();
    for (int i = 0; i < n; ++i) {
      const auto& bar = bars[static_cast<std::size_t>(n - 1 - i)];
      const QString name = QString::fromStdString(bar.code + " " + bar.name).trimmed();
      QCOMPARE(PlainLabel(groups->at(i)).replace('\n', ' '), name);
    }
    QLineSeries* cumulative = Line(chart, kCumulativeSeries);
    QCOMPARE(cumulative->count(), set->count());
    QVERIFY(std::abs(cumulative->at(cumulative->count() - 1).x() - 100.0) < 0.01);

    // Choosing a bar lists its foods and food forms.
    emit set->clicked(n - 1);
    QCOMPARE(results->tblItems->rowCount(),
             static_cast<int>(figures.Items(row, bars[0].group).size()));
    QVERIFY(results->lblGroup->text().contains(QString::fromStdString(bars[0].name).trimmed()));

    // From the keyboard: Tab leaves the table and reaches the chart, the
    // subgroup box and the buttons; on the chart the arrows choose a bar,
    // whose foods are listed.
    results->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(results));
    // Narrow beside the report, each part is a tab: Tab goes through the
    // controls of the one in sight.
    auto reachedFrom = [&](QWidget* start) {
      start->setFocus();
      QSet<QWidget*> reached;
      for (int k = 0; k < 20; ++k) {
        QTest::keyClick(results->focusWidget(), Qt::Key_Tab);
        reached.insert(results->focusWidget());
      }
      return reached;
    };
    results->ShowPart(results->chartTab);
    QSet<QWidget*> reached = reachedFrom(results->cboSubgroup);
    for (QWidget* control :
         std::initializer_list<QWidget*>{results->chtPareto, results->cboSubgroup,
                                         results->cmdCopyTable, results->cmdExportChart})
      QVERIFY2(reached.contains(control), qPrintable(control->objectName()));
    results->ShowPart(results->choicesPanel);
    reached = reachedFrom(results->cmdIncludeAll);
    QVERIFY(reached.contains(results->treCommodities));
    results->ShowPart(results->chartTab);
    results->chtPareto->setFocus();
    QTest::keyClick(results->chtPareto, Qt::Key_Right);
    QVERIFY(results->lblGroup->text().contains(QString::fromStdString(bars[1].name).trimmed()));
    QCOMPARE(results->tblItems->rowCount(),
             static_cast<int>(figures.Items(row, bars[1].group).size()));
    QTest::keyClick(results->chtPareto, Qt::Key_End);
    QVERIFY(results->lblGroup->text().contains(QString::fromStdString(bars.back().name).trimmed()));
    QTest::keyClick(results->chtPareto, Qt::Key_Home);
    QVERIFY(results->lblGroup->text().contains(QString::fromStdString(bars[0].name).trimmed()));

    // Unticking the largest crop group: every subgroup's figures and the
    // chart as a run without its residues gives them.
    const int group = bars[0].group;
    QTreeWidgetItem* item = nullptr;
    for (int g = 0; g < results->treCommodities->topLevelItemCount(); ++g)
      if (results->treCommodities->topLevelItem(g)->text(1).toStdString() == bars[0].code)
        item = results->treCommodities->topLevelItem(g);
    QVERIFY(item);
    item->setCheckState(0, Qt::Unchecked);
    for (int i = 0; i < item->childCount(); ++i)
      QCOMPARE(item->child(i)->checkState(0), Qt::Unchecked);
    qInfo("what-if on %s: %.2f ms", qPrintable(sample), results->LastUpdateMs());

    SampleRun real(sample.toStdString(), residue.toStdString(), 'R');
    const std::vector<bool> foods = figures.LeftOut();
    real.Reopen([&](int f, int, float r) { return foods[static_cast<std::size_t>(f)] ? 0.0f : r; });
    KeepingHost host;
    QCOMPARE(
        RunThroughSession(real.m, real.platform, host, real.settings, RunKind::LongTerm).status,
        RunStatus::Done);
    ExpectTableHolds(*results->tblFigures, host.figures.longTerm);
    chart = results->chtPareto->chart();
    set = Bars(chart)->barSets().front();
    QCOMPARE(set->count(), static_cast<int>(bars.size()) - 1);
    for (const auto& bar : results->Figures()->Pareto(row)) QVERIFY(bar.group != group);
    // The chart's title says what the what-if left out, and so does an
    // exported chart's.
    QVERIFY2(chart->title().contains("What-if, left out: " + QString::fromStdString(bars[0].code)),
             chart->title().toUtf8());
    d.platform.saveAnswers.push_back((d.dir.path() / "whatif.svg").string());
    results->cmdExportChart->click();
    QVERIFY(FileBytes(d.dir.path() / "whatif.svg").find("What-if, left out: " + bars[0].code) !=
            std::string::npos);

    // Ticking one commodity of it back brings a part of the group back.
    item->child(0)->setCheckState(0, Qt::Checked);
    QCOMPARE(item->checkState(0), item->childCount() == 1 ? Qt::Checked : Qt::PartiallyChecked);
    results->cmdIncludeAll->click();
    QCOMPARE(Bars(results->chtPareto->chart())->barSets().front()->count(),
             static_cast<int>(bars.size()));

    // The Pareto chart exports like any chart.
    d.platform.saveAnswers.push_back((d.dir.path() / "pareto.svg").string());
    results->cmdExportChart->click();
    QSvgRenderer renderer(QString::fromStdString((d.dir.path() / "pareto.svg").string()));
    QVERIFY(renderer.isValid());
  }

  // File > Cumulative Assessment...: the report in the viewer, and the
  // Results window with the figures of the run; a closed window comes back
  // from View > Last Run's Results.
  void cumulativeWindowHoldsTheRunsFigures_data() {
    QTest::addColumn<QString>("sample");
    QTest::newRow("csfii") << "csfii";
    QTest::newRow("nhanes") << "nhanes-2005-2010";
  }
  void cumulativeWindowHoldsTheRunsFigures() {
    QFETCH(QString, sample);
    Desktop d(sample.toStdString());
    QVERIFY(d.Start());
    const fs::path group = d.dir.path() / "op-group.csv";
    d.platform.openAnswers.push_back(group.string());
    d.w->mnuCumulative->trigger();
    QVERIFY2(d.platform.messages.empty(), FirstMessage(d.platform).c_str());
    QVERIFY(d.w->frmReport2 && d.w->frmReport2->isVisible());
    FrmCumulativeResults* results = d.w->frmCumulativeResults;
    QVERIFY(results && results->isVisible());
    AssessmentGroup g;
    std::vector<std::string> problems;
    QVERIFY(ReadAssessmentGroup(group.string(), "op-group.csv", g, problems));
    const nlohmann::json run = RealCumulativeRun(d, group);
    QCOMPARE(results->tblFigures->rowCount(), static_cast<int>(d.m.gPopCount));
    ExpectCumulativeWindowHolds(*results, run, g);
    if (QTest::currentTestFailed()) return;
    // The crop groups are those of the run's breakdown.
    QVERIFY(results->treCropGroups->topLevelItemCount() > 3);

    results->close();
    d.w->mnuLastResults->trigger();
    QVERIFY(results->isVisible());
  }

  // Unticking a chemical gives the figures of a real run without it,
  // unticking a crop group those of a real run with its residues as 0; the
  // index chemical stays in.
  void cumulativeWhatIfMatchesARealRun() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    const fs::path group = d.dir.path() / "op-group.csv";
    d.platform.openAnswers.push_back(group.string());
    d.w->mnuCumulative->trigger();
    FrmCumulativeResults* results = d.w->frmCumulativeResults;
    QVERIFY(results);
    AssessmentGroup g;
    std::vector<std::string> problems;
    QVERIFY(ReadAssessmentGroup(group.string(), "op-group.csv", g, problems));
    QCOMPARE(static_cast<int>(g.chemicals.size()), 2);
    const QString index = QString::fromStdString(g.chemicals[g.index].chemical);
    const QString other = QString::fromStdString(g.chemicals[1 - g.index].chemical);

    QTreeWidgetItem* indexItem = ItemNamed(results->treChemicals, 0, index);
    QVERIFY(indexItem);
    QVERIFY(!(indexItem->flags() & Qt::ItemIsUserCheckable));
    indexItem->setCheckState(0, Qt::Unchecked);
    QCOMPARE(indexItem->checkState(0), Qt::Checked);
    QVERIFY(results->WhatIf().Empty());
    QVERIFY2(d.platform.messages.empty(), FirstMessage(d.platform).c_str());

    // The chemical that is not the index chemical, left out.
    ItemNamed(results->treChemicals, 0, other)->setCheckState(0, Qt::Unchecked);
    AssessmentGroup without = g;
    QVERIFY(LeaveOutChemicals(without, {other.toStdString()}, "op-group.csv", problems));
    ExpectCumulativeWindowHolds(
        *results, RealCumulativeRun(d, group, {"--exclude", "chemical:" + other.toStdString()}),
        without);
    if (QTest::currentTestFailed()) return;
    QVERIFY2(results->chtSubgroups->chart()->title().contains("What-if, left out: " + other),
             results->chtSubgroups->chart()->title().toUtf8());

    // The crop group with the largest share, left out as well, then alone.
    QTreeWidget* crops = results->treCropGroups;
    QTreeWidgetItem* largest = nullptr;
    for (int i = 0; i < crops->topLevelItemCount(); ++i)
      if (!largest || crops->topLevelItem(i)->text(2).toDouble() > largest->text(2).toDouble())
        largest = crops->topLevelItem(i);
    QVERIFY(largest && largest->text(2).toDouble() > 0);
    const std::string code = largest->text(1).toStdString();
    largest->setCheckState(0, Qt::Unchecked);
    ExpectCumulativeWindowHolds(
        *results,
        RealCumulativeRun(d, group, {"--exclude", "chemical:" + other.toStdString() + "," + code}),
        without);
    if (QTest::currentTestFailed()) return;
    QCOMPARE(largest->text(2), QString());
    ItemNamed(results->treChemicals, 0, other)->setCheckState(0, Qt::Checked);
    ExpectCumulativeWindowHolds(*results, RealCumulativeRun(d, group, {"--exclude", code}), g);
    if (QTest::currentTestFailed()) return;
    // The chart's title says so, on screen and exported.
    d.platform.saveAnswers.push_back((d.dir.path() / "whatif.svg").string());
    results->cmdExportChart->click();
    QVERIFY(FileBytes(d.dir.path() / "whatif.svg").find("What-if, left out: " + code) !=
            std::string::npos);

    results->cmdIncludeAll->click();
    ExpectCumulativeWindowHolds(*results, RealCumulativeRun(d, group), g);
    QVERIFY(!results->chtSubgroups->chart()->title().contains("What-if"));
  }

  // File > Aggregate Assessment... on the open residue file: the report in
  // the viewer and the Results window with the run's figures; unticking the
  // drinking water, a scenario or a route gives the figures of a real run
  // without it.
  void aggregateWhatIfMatchesARealRun() {
    Desktop d("nhanes-2005-2010");
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues/DEMOFOS.R10");
    const std::string tox = (d.dir.path() / "tox.csv").string();
    const std::string residential = (d.dir.path() / "residential.csv").string();
    const std::string water = "8600078001,8600079001";
    d.runner.aggregate = [&](FrmAggregate& a) {
      a.txtTox->setText(QString::fromStdString(tox));
      a.txtResidential->setText(QString::fromStdString(residential));
      a.txtWaterFoods->setText(QString::fromStdString(water));
      a.txtWater[0]->setText("2");
      a.txtWater[1]->setText("30,5");
      a.cmdOK->click();
    };
    d.w->mnuAggregate->trigger();
    QVERIFY2(d.platform.messages.empty(), FirstMessage(d.platform).c_str());
    QVERIFY(d.w->frmReport2 && d.w->frmReport2->isVisible());
    FrmAggregateResults* results = d.w->frmAggregateResults;
    QVERIFY(results && results->isVisible());
    const std::vector<std::string> files = {"--tox", tox, "--water-foods", water};
    auto with = [&](std::vector<std::string> more) {
      more.insert(more.begin(), files.begin(), files.end());
      return more;
    };
    const std::vector<std::string> edwc = {"--water-ppb", "chronic=2", "--water-ppb",
                                           "short-term=30.5"};
    std::vector<std::string> all = with({"--residential", residential});
    all.insert(all.end(), edwc.begin(), edwc.end());
    ExpectAggregateWindowHolds(*results, RealAggregateRun(d, all));
    if (QTest::currentTestFailed()) return;
    results->cboDuration->setCurrentIndex(1);
    QVERIFY(results->chtSubgroups->chart()->title().contains("Short-term"));

    // Without the drinking water.
    results->chkWater->setChecked(false);
    ExpectAggregateWindowHolds(*results, RealAggregateRun(d, with({"--residential", residential})));
    QVERIFY(results->chtSubgroups->chart()->title().contains("What-if"));
    results->chkWater->setChecked(true);

    // Without a scenario, and without the dermal route: a residential file
    // without those rows.
    auto without = [&](const std::string& text) {
      std::string kept;
      std::istringstream lines(FileBytes(residential));
      for (std::string line; std::getline(lines, line);)
        if (line.find(text) == std::string::npos) kept += line + "\n";
      const fs::path file = d.dir.path() / "res-without.csv";
      WriteFileBytes(file, kept);
      std::vector<std::string> args = with({"--residential", file.string()});
      args.insert(args.end(), edwc.begin(), edwc.end());
      return args;
    };
    QTreeWidgetItem* garden = nullptr;
    for (int i = 0; i < results->treScenarios->topLevelItemCount(); ++i)
      if (results->treScenarios->topLevelItem(i)->text(0) == "garden, application")
        garden = results->treScenarios->topLevelItem(i);
    QVERIFY(garden);
    garden->setCheckState(0, Qt::Unchecked);
    ExpectAggregateWindowHolds(*results, RealAggregateRun(d, without("garden, application")));
    garden->setCheckState(0, Qt::Checked);
    results->chkRoute[1]->setChecked(false);
    ExpectAggregateWindowHolds(*results, RealAggregateRun(d, without(",dermal,")));
    results->cmdIncludeAll->click();
    ExpectAggregateWindowHolds(*results, RealAggregateRun(d, all));
  }

  // A past cumulative run's Results from its Run window in the history:
  // the recorded figures in a window apart from the last run's, without the
  // what-if's choices.
  void aPastCumulativeRunsResultsFromTheHistory() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    d.platform.openAnswers.push_back((d.dir.path() / "op-group.csv").string());
    d.w->mnuCumulative->trigger();
    FrmCumulativeResults* last = d.w->frmCumulativeResults;
    QVERIFY(last && last->isVisible());
    d.w->mnuRunHistory->trigger();
    FrmHistory* history = d.w->frmHistory;
    QVERIFY(history && history->model->rowCount() == 1);
    history->ShowRun(history->model->index(0, 0).data().toLongLong());
    auto* run = qobject_cast<FrmRunDetails*>(history->dlgRun);
    QVERIFY(run && run->cmdResults);
    run->cmdResults->click();
    FrmCumulativeResults* past = d.w->frmPastCumulative;
    QVERIFY(past && past->isVisible() && past != last);
    QCOMPARE(past->tblFigures->rowCount(), last->tblFigures->rowCount());
    for (int r = 0; r < last->tblFigures->rowCount(); ++r)
      for (int c = 0; c < last->tblFigures->columnCount(); ++c)
        QCOMPARE(Text(*past->tblFigures, r, c), Text(*last->tblFigures, r, c));
    QVERIFY(!past->tabViews->isAncestorOf(past->choicesPanel));
    QVERIFY(!past->splitter->isAncestorOf(past->choicesPanel));
    QVERIFY(last->tabViews->isAncestorOf(last->choicesPanel) ||
            last->splitter->isAncestorOf(last->choicesPanel));
  }

  // A subgroup without exposure has no margin and no percent of the NOEL:
  // the table says "no exposure" there, as the report does, and sorts it as
  // the widest margin and a percent of 0; a subgroup with exposure shows its
  // figures.
  void aSubgroupWithoutExposureSaysSo() {
    FakePlatform platform;
    FrmResults results(platform, nullptr);
    std::vector<ShownSubgroup> rows(3);
    rows[0].name = "Exposed";
    rows[0].figures = {1, {}, 1, 0.002f, ReferenceKind::None, {}, {}, 0.4f, 250.0f, {}};
    rows[1].name = "Not exposed";
    rows[1].figures = {2, {}, 2, 0.0f, ReferenceKind::None, {}, {}, {}, {}, {}};
    rows[2].name = "More exposed";
    rows[2].figures = {3, {}, 3, 0.02f, ReferenceKind::None, {}, {}, 4.0f, 25.0f, {}};
    results.ShowRecorded(rows, Endpoint::Noel, "Demofos");
    QTableWidget& table = *results.tblFigures;
    const int noel = Column(table, ColumnTitle("percent_of_noel"));
    const int moe = Column(table, ColumnTitle("margin_of_exposure"));
    QVERIFY(noel > 0 && moe > 0);
    QCOMPARE(Text(table, 1, noel), std::string("no exposure"));
    QCOMPARE(Text(table, 1, moe), std::string("no exposure"));
    QCOMPARE(Text(table, 0, moe), std::string("250"));
    table.sortItems(moe, Qt::AscendingOrder);
    QCOMPARE(Text(table, 0, 1), std::string("More exposed"));
    QCOMPARE(Text(table, 2, 1), std::string("Not exposed"));
    table.sortItems(noel, Qt::AscendingOrder);
    QCOMPARE(Text(table, 0, 1), std::string("Not exposed"));
  }

  // --- On a laptop's screen ---

  // Each Results window at the size it opens beside its report: the figures
  // that matter first whole, a chart with room for its bars, the main
  // window's Run Analysis menu in reach; the labels of the long-term chart
  // whole and apart.
  void resultsWindowsAreReadableAtTheirOpeningSize() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues" / "DEMOFOS.R98");
    d.Endpoint('N');
    d.w->chkMOE2->setChecked(true);
    d.w->mnuStart->trigger();
    QVERIFY2(d.platform.messages.empty(), FirstMessage(d.platform).c_str());
    FrmResults* results = d.w->frmResults;
    ExpectReadableAtOpening(results, results->chartTab, results->chtSubgroups, *d.w);
    if (QTest::currentTestFailed()) return;
    ExpectLabelsReadable(results->chtSubgroups->chart(), d.m.gPopCount);
    if (QTest::currentTestFailed()) return;
    // The report's lines whole in its viewer.
    FrmReport2* viewer = d.w->frmReport2;
    QVERIFY(viewer && viewer->isVisible());
    const int needed = viewer->rtbreport->ViewWidthFor(
        std::max<std::size_t>(80, viewer->rtbreport->LongestLine()));
    QVERIFY2(
        viewer->rtbreport->width() >= needed,
        qPrintable(QString("viewer %1, needs %2").arg(viewer->rtbreport->width()).arg(needed)));

    d.w->chkComplete->setChecked(true);
    d.w->cmdSubgroupsAll->click();
    d.w->mnuCommodity->trigger();
    FrmCommodityResults* commodity = d.w->frmCommodityResults;
    ExpectReadableAtOpening(commodity, commodity->chartTab, commodity->chtPareto, *d.w);
    if (QTest::currentTestFailed()) return;
    ExpectLabelsReadable(commodity->chtPareto->chart(),
                         Bars(commodity->chtPareto->chart())->barSets().front()->count());
    if (QTest::currentTestFailed()) return;

    d.platform.openAnswers.push_back((d.dir.path() / "op-group.csv").string());
    d.w->mnuCumulative->trigger();
    FrmCumulativeResults* cumulative = d.w->frmCumulativeResults;
    ExpectReadableAtOpening(cumulative, cumulative->chartTab, cumulative->chtSubgroups, *d.w);
    if (QTest::currentTestFailed()) return;

    // Maximised, the parts stand side by side and the table widens with the
    // window.
    commodity->showMaximized();
    commodity->resize(commodity->screen()->availableGeometry().size());
    QApplication::processEvents();
    QVERIFY(commodity->Wide());
    QVERIFY(commodity->tblFigures->isVisible() && commodity->chtPareto->isVisible() &&
            commodity->treCommodities->isVisible());
  }

  // The Pareto chart of the full-size installation's 21 crop groups: every
  // label drawn, none over another, on the screen and in an exported
  // chart; shares past 100% are explained under the chart and on the page.
  void paretoLabelsStayApart() {
    Desktop d("");
    const fs::path residue = bench::WriteSyntheticInstallation(1, d.dir.path());
    QVERIFY(d.Start());
    d.Open(residue);
    d.Endpoint('R');
    d.w->chkComplete->setChecked(true);
    d.w->chkStandard[0]->setChecked(true);
    d.w->mnuCommodity->trigger();
    FrmCommodityResults* results = d.w->frmCommodityResults;
    QVERIFY(results);
    results->ShowPart(results->chartTab);
    QApplication::processEvents();
    QChart* chart = results->chtPareto->chart();
    const int groups = Bars(chart)->barSets().front()->count();
    QVERIFY2(groups >= 15, qPrintable(QString::number(groups)));
    ExpectLabelsReadable(chart, groups);
    if (QTest::currentTestFailed()) return;
    const auto bars = results->Figures()->Pareto(1);
    const bool past = !bars.empty() && bars.back().cumulative > 100.005;
    QCOMPARE(results->lblParetoNote->isVisible(), past);
    if (past) QVERIFY(results->lblParetoNote->text().contains("several crop groups"));

    const ParetoChartData data = ParetoChartOf(bars, "Shares");
    const auto page = ExportView(BuildParetoChart(data, 9));
    ExpectLabelsReadable(page->chart(), groups);
  }

  // A question or message that a command of the viewer or of a Results
  // window asks belongs to that window, even when the main window is the
  // active one once a file dialog has closed.
  void messagesBelongToTheWindowTheyComeFrom() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues" / "DEMOFOS.R98");
    d.Endpoint('R');
    d.w->mnuStart->trigger();
    FrmReport2* viewer = d.w->frmReport2;
    FrmResults* results = d.w->frmResults;
    QVERIFY(viewer && results);
    std::vector<QWidget*> owners;
    d.platform.onMessage = [&](const RecordedMessage&) {
      owners.push_back(DialogOwnerScope::Current());
    };
    d.w->activateWindow();
    const fs::path copy = d.dir.path() / "copy.OR10";
    std::ofstream(copy) << "old";
    d.platform.saveAnswers.push_back(copy.string());
    d.platform.answers = {MsgAnswer::Yes, MsgAnswer::OK};
    viewer->cmdSave->click();
    QCOMPARE(d.platform.messages.size(), std::size_t{2});
    QCOMPARE(d.platform.messages[0].title, std::string("Warning!"));
    QCOMPARE(owners, (std::vector<QWidget*>{viewer, viewer}));

    const fs::path chart = d.dir.path() / "chart.png";
    std::ofstream(chart) << "old";
    owners.clear();
    d.platform.saveAnswers.push_back(chart.string());
    d.platform.answers = {MsgAnswer::No};
    results->cmdExportChart->click();
    QCOMPARE(owners, (std::vector<QWidget*>{results}));
    QCOMPARE(DialogOwnerScope::Current(), static_cast<QWidget*>(nullptr));

    // The program's platform puts the box over that window.
    QtPlatform platform;
    platform.SetParentWindow(d.w.get());
    QWidget* parent = nullptr;
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        parent = box->parentWidget();
        box->reject();
      }
    });
    {
      DialogOwnerScope owner(viewer);
      platform.MessageBox("Report saved", "Action completed", MsgIcon::Information, MsgButtons::OK);
    }
    QCOMPARE(parent, static_cast<QWidget*>(viewer));
  }

  // The windows' places, sizes and splitters come back after a restart;
  // View > Reset Window Layout puts them back where they first open.
  void layoutComesBackAfterARestart() {
    TempDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(settings.str()));
    QRect resultsPlace, viewerPlace;
    QList<int> sizes;
    {
      Desktop d("csfii");
      QVERIFY(d.Start());
      d.Open(d.dir.path() / "residues" / "DEMOFOS.R98");
      d.Endpoint('R');
      d.w->mnuStart->trigger();
      FrmResults* results = d.w->frmResults;
      QVERIFY(results);
      const QRect first = results->geometry();
      results->setGeometry(QRect(30, 120, 1200, 600));
      QApplication::processEvents();
      QVERIFY(results->Wide());
      results->splitter->setSizes({500, 690});
      sizes = results->splitter->sizes();
      resultsPlace = results->geometry();
      QVERIFY(resultsPlace != first);
      d.w->frmReport2->setGeometry(QRect(400, 60, 700, 500));
      viewerPlace = d.w->frmReport2->geometry();
      d.w->mnuExit_Click();
    }
    Desktop d("csfii");
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues" / "DEMOFOS.R98");
    d.Endpoint('R');
    d.w->mnuStart->trigger();
    FrmResults* results = d.w->frmResults;
    QVERIFY(results);
    QCOMPARE(results->geometry(), resultsPlace);
    QCOMPARE(d.w->frmReport2->geometry(), viewerPlace);
    QCOMPARE(results->splitter->sizes(), sizes);

    d.w->mnuResetLayout->trigger();
    QVERIFY(results->geometry() != resultsPlace);
    QVERIFY(d.w->frmReport2->geometry() != viewerPlace);
    QVERIFY(!d.w->frmReport2->frameGeometry().intersects(results->frameGeometry()));
    QVERIFY(QSettings(QSettings::IniFormat, QSettings::UserScope, "Ormid", "ormid")
                .childGroups()
                .isEmpty());
  }

  // All and None tick and untick every subgroup, from the mouse and with
  // Alt+L and Alt+N.
  void subgroupsAllAndNone() {
    Desktop d("csfii");
    QVERIFY(d.Start());
    d.Open(d.dir.path() / "residues" / "DEMOFOS.R98");
    d.w->chkComplete->click();  // the subgroups' grid shows
    QVERIFY(d.w->cmdSubgroupsAll->isVisible());
    auto ticked = [&] {
      return static_cast<int>(std::count_if(d.w->chkStandard.begin(), d.w->chkStandard.end(),
                                            [](QCheckBox* b) { return b->isChecked(); }));
    };
    d.w->cmdSubgroupsAll->click();
    QCOMPARE(ticked(), d.m.gPopCount);
    d.w->cmdSubgroupsNone->click();
    QCOMPARE(ticked(), 0);
    d.w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(d.w.get()));
    // A button's mnemonic clicks it a moment later (its press is shown).
    QTest::keyClick(d.w.get(), Qt::Key_L, Qt::AltModifier);
    QTRY_COMPARE(ticked(), d.m.gPopCount);
    QTest::keyClick(d.w.get(), Qt::Key_N, Qt::AltModifier);
    QTRY_COMPARE(ticked(), 0);
    // The window keeps its one size and fits the screen.
    QVERIFY(d.w->screen()->availableGeometry().contains(d.w->frameGeometry()));
  }

  // The full-size synthetic installation: 600 foods, 3,000 food forms, 33
  // subgroups. Every crop group unticked and ticked again; the time each
  // update took is printed (a figure to read, not a limit a busy machine
  // could miss).
  void whatIfOnTheFullSizeInstallation() {
    Desktop d("");
    const fs::path residue = bench::WriteSyntheticInstallation(1, d.dir.path());
    QVERIFY(d.Start());
    d.Open(residue);
    d.Endpoint('R');
    d.w->chkComplete->setChecked(true);
    d.w->chkStandard[0]->setChecked(true);
    d.w->mnuCommodity->trigger();
    FrmCommodityResults* results = d.w->frmCommodityResults;
    QVERIFY(results);
    QTreeWidget* tree = results->treCommodities;
    std::vector<double> times;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
      tree->topLevelItem(g)->setCheckState(0, Qt::Unchecked);
      times.push_back(results->LastUpdateMs());
      tree->topLevelItem(g)->setCheckState(0, Qt::Checked);
      times.push_back(results->LastUpdateMs());
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    qInfo("what-if on the full-size installation: %zu updates, median %.2f ms, max %.2f ms",
          times.size(), median, times.back());
    QCOMPARE(times.size(), static_cast<std::size_t>(2 * tree->topLevelItemCount()));
  }
};

}  // namespace ormid::test

QTEST_MAIN(ormid::test::ResultsWindowTest)
#include "results_window_test.moc"
