// The Run History window driven through its widgets on the offscreen
// platform: runs of the main window recorded (and not, with the setting
// off), listed, filtered, shown and compared with the crossings of 100%
// highlighted.
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>
#include <sstream>

#include "cli/cli_run.h"
#include "desktop/history/frm_history.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/modal_runner.h"
#include "desktop/results/frm_results.h"
#include "history/run_compare.h"
#include "history/run_history.h"
#include "tests/gui/gui_support.h"
#include "tests/installation_fixture.h"

namespace ormid::test {

namespace td = testdata;

// Every modal form (the report destination) is closed at once: the report
// stays in its temporary file.
class ClosingRunner : public ModalRunner {
 public:
  void RunModal(QDialog& dialog) override {
    ++shown;
    dialog.reject();
  }
  bool ConfigurePrinter(QPrinter&) override { return false; }
  int shown = 0;
};

class FrmHistoryTest : public QObject, public DesktopFixture {
  Q_OBJECT

 private:
  void Start() {
    QVERIFY(StartDesktop(runner_));
    auto path = inst_->dir.path() / "residues" / "gui.R98";
    td::WriteResidueFile(SmallResidueFile(0), path);
    inst_->platform.openAnswers.push_back(path.string());
    w_->mnuOpenRes->trigger();
  }
  void RunWithRfD(const char* rfd) {
    w_->chkMOE2->setChecked(true);
    w_->txtMOE2->setText(rfd);
    w_->mnuStart->trigger();
  }
  std::vector<RunSummary> Runs() {
    std::string error;
    auto runs = ListRuns(kHistoryFile, {}, error);
    return runs.value_or(std::vector<RunSummary>{});
  }

  ClosingRunner runner_;

 private slots:
  // An item view that loses track of an editor warns: that fails the test.
  void init() {
    QTest::failOnWarning(QRegularExpression("commitData|editor that does not belong"));
  }
  void cleanup() { StopDesktop(); }

  void finishedRunsAreRecordedUnlessTurnedOff() {
    Start();
    RunWithRfD("1000");
    RunWithRfD("1e-9");
    QVERIFY2(inst_->platform.messages.empty(),
             inst_->platform.messages.empty() ? "" : inst_->platform.messages.back().text.c_str());
    QCOMPARE(Runs().size(), std::size_t(2));
    // Refused (no endpoint value) and turned off: nothing more.
    w_->txtMOE2->setText("");
    w_->mnuStart->trigger();
    QCOMPARE(Runs().size(), std::size_t(2));
    w_->mnuRecordHistory->setChecked(false);
    RunWithRfD("0.5");
    QCOMPARE(Runs().size(), std::size_t(2));
    w_->mnuRecordHistory->setChecked(true);
    RunWithRfD("0.5");
    QCOMPARE(Runs().size(), std::size_t(3));
    QCOMPARE(Runs().back().command, std::string("longterm"));
  }

  // A past run's Results from its Run window: the recorded figures in the
  // table and the chart, in a window apart from the last run's, without
  // headroom; the list shows the endpoint and the date in words, and the
  // Run window the row once and no column the run has no figure in.
  void aPastRunsResultsFromTheHistory() {
    Start();
    w_->chkMOE1->setChecked(true);
    w_->txtMOE1->setText("0.5");
    w_->mnuStart->trigger();
    RunWithRfD("1e-9");
    w_->mnuRunHistory->trigger();
    FrmHistory* h = w_->frmHistory;
    QVERIFY(h);
    h->grdRuns->sortByColumn(0, Qt::AscendingOrder);
    QCOMPARE(h->filter->index(0, 5).data().toString(), QString("NOEL"));
    QVERIFY(!h->filter->index(0, 1).data().toString().contains('T'));
    h->ShowRun(1);
    auto* run = qobject_cast<FrmRunDetails*>(h->dlgRun);
    QVERIFY(run && run->cmdResults);
    QVERIFY(run->grdFigures->verticalHeader()->isHidden());
    for (int c = 0; c < run->grdFigures->columnCount(); ++c)
      if (run->grdFigures->horizontalHeaderItem(c)->text().startsWith("Reference dose"))
        QVERIFY(run->grdFigures->isColumnHidden(c));
    run->cmdResults->click();
    FrmResults* past = w_->frmPastResults;
    QVERIFY(past && past->isVisible());
    QVERIFY(past != w_->frmResults);
    QCOMPARE(past->tblFigures->rowCount(), static_cast<int>(inst_->m.gPopCount));
    QVERIFY(!past->headroomTab->isEnabled());
    QChart* chart = past->chtSubgroups->chart();
    QVERIFY(chart && !chart->series().isEmpty());
    // A margin of exposure chart: the run's NOEL endpoint.
    QVERIFY(chart->title().contains("Exposure by population subgroup"));
    // The last run's own window still holds its own run.
    QVERIFY(w_->frmResults && w_->frmResults->headroomTab->isEnabled());
  }

  void windowListsFiltersShowsAndCompares() {
    Start();
    RunWithRfD("1000");
    RunWithRfD("1e-9");
    w_->mnuRunHistory->trigger();
    FrmHistory* h = w_->frmHistory;
    QVERIFY(h && h->isVisible());
    QCOMPARE(h->filter->rowCount(), 2);
    // Newest first; sorting by id the other way puts run 1 on top.
    QCOMPARE(h->filter->index(0, 0).data().toString(), QString("2"));
    h->grdRuns->sortByColumn(0, Qt::AscendingOrder);
    QCOMPARE(h->filter->index(0, 0).data().toString(), QString("1"));
    h->txtChemical->setText("no such chemical");
    QCOMPARE(h->filter->rowCount(), 0);
    h->txtChemical->setText(QString::fromStdString(Runs().front().chemical).toLower());
    QCOMPARE(h->filter->rowCount(), 2);

    QVERIFY(!h->cmdCompare->isEnabled());
    h->grdRuns->selectAll();
    QVERIFY(h->cmdCompare->isEnabled());
    h->cmdCompare->click();
    auto* c = qobject_cast<FrmCompare*>(h->dlgCompare);
    QVERIFY(c && c->isVisible());
    std::string error;
    auto a = LoadRun(kHistoryFile, 1, error), b = LoadRun(kHistoryFile, 2, error);
    QVERIFY(a && b);
    const Comparison expected = CompareRuns(*a, *b);
    QCOMPARE(c->grdSubgroups->rowCount(), static_cast<int>(expected.subgroups.size()));
    int highlighted = 0;
    for (int row = 0; row < c->grdSubgroups->rowCount(); ++row) {
      const SubgroupChange& s = expected.subgroups[static_cast<std::size_t>(row)];
      const bool crossing = CrossingOf(s.valueA, s.valueB) == Crossing::Above;
      QCOMPARE(c->grdSubgroups->item(row, 11)->text(),
               QString::fromLatin1(CrossingText(s.crossing)));
      QCOMPARE(c->grdSubgroups->item(row, 1)->background().color() == FrmCompare::CrossingColour(),
               crossing);
      highlighted += crossing;
    }
    QVERIFY(highlighted > 0);
    // The two runs in words, and the settings that differ by name with
    // their unit.
    QVERIFY2(c->lblRuns->text().contains("Run A (1): Long-term analysis of "),
             qPrintable(c->lblRuns->text()));
    QCOMPARE(c->grdSettings->rowCount(), 1);
    QCOMPARE(c->grdSettings->item(0, 0)->text(), QString("RfD (mg/kg bw/day)"));
    QCOMPARE(c->grdSettings->item(0, 1)->text(), QString("1000"));
    QCOMPARE(c->grdSettings->item(0, 2)->text(), QString("1e-09"));
    // Copy Table: the subgroups under the titles shown; Export...: the file
    // `compare 1 2 --export` writes, byte for byte, in each format.
    c->cmdCopy->click();
    const QStringList compared = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(compared.size(), c->grdSubgroups->rowCount() + 1);
    QVERIFY(compared[0].startsWith("Row\tSubgroup\tExposure, run 1 (mg/kg bw/day)\t"));
    for (const char* ext : {".csv", ".json", ".xlsx"}) {
      const std::filesystem::path here = inst_->dir.path();
      const std::string name = std::string("compared") + ext;
      inst_->platform.saveAnswers = {(here / name).string()};
      c->cmdExport->click();
      std::ostringstream out, err;
      QCOMPARE(cli::RunCli({"compare", "1", "2", "--export", (here / ("cli-" + name)).string()},
                           out, err),
               0);
      QCOMPARE(ReadFileBytes(here / name), ReadFileBytes(here / ("cli-" + name)));
    }

    // A double-click shows the run's manifest and every subgroup's figures.
    h->ShowRun(2);
    auto* d = qobject_cast<FrmRunDetails*>(h->dlgRun);
    QVERIFY(d && d->isVisible());
    QVERIFY(d->txtManifest->toPlainText().contains("\"endpoint\": \"R\""));
    QCOMPARE(d->grdFigures->rowCount(), static_cast<int>(b->longTerm.size()));
    // A form in words: what was run on what, and the settings by name.
    QVERIFY2(d->lblRun->text().startsWith("Long-term analysis of "), qPrintable(d->lblRun->text()));
    QVERIFY(d->lblRun->text().contains("Residue file: " +
                                       QString::fromStdString(b->summary.residueFile)));
    QVERIFY2(d->lblSettings->text().contains("Second adjustment factor: no"),
             qPrintable(d->lblSettings->text()));
    QVERIFY(!d->lblSettings->text().contains("Arguments"));
    // Copy: the figures as tab-separated lines under their column names.
    d->cmdCopy->click();
    const QStringList copied = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(copied.size(), d->grdFigures->rowCount() + 1);
    QVERIFY(copied[0].startsWith("Row\tSubgroup\t"));
    // Export...: the file history show --export writes, byte for byte (a
    // name typed without an extension takes the picked type's).
    const std::filesystem::path here = inst_->dir.path();
    inst_->platform.saveAnswers = {(here / "run2").string()};
    d->cmdExport->click();
    QVERIFY(std::filesystem::exists(here / "run2.csv"));
    std::ostringstream out, err;
    QCOMPARE(
        cli::RunCli({"history", "show", "2", "--export", (here / "cli2.csv").string()}, out, err),
        0);
    QCOMPARE(ReadFileBytes(here / "run2.csv"), ReadFileBytes(here / "cli2.csv"));
  }

  // A Q* run against an RfD run: each side's figure shown, the figure's
  // change columns saying they are not comparable; the headers name which
  // change is the exposure's and which the figure's.
  void compareShowsUnlikeFiguresSideBySide() {
    Start();
    RunWithRfD("0.001");
    w_->chkMOE2->setChecked(false);
    w_->chkMOE3->setChecked(true);
    w_->txtMOE3->setText("0.5");
    w_->mnuStart->trigger();
    QCOMPARE(Runs().size(), std::size_t(2));
    w_->mnuRunHistory->trigger();
    FrmHistory* h = w_->frmHistory;
    h->grdRuns->selectAll();
    h->cmdCompare->click();
    auto* c = qobject_cast<FrmCompare*>(h->dlgCompare);
    QVERIFY(c);
    auto header = [&](int column) { return c->grdSubgroups->horizontalHeaderItem(column)->text(); };
    QVERIFY(header(4).startsWith("Exposure change"));
    QVERIFY(header(6).startsWith("Endpoint figure"));
    QVERIFY(header(9).startsWith("Endpoint figure change"));
    int unlike = 0;
    for (int row = 0; row < c->grdSubgroups->rowCount(); ++row) {
      if (c->grdSubgroups->item(row, 7)->text().isEmpty()) continue;  // no exposure
      QVERIFY(!c->grdSubgroups->item(row, 8)->text().isEmpty());
      QCOMPARE(c->grdSubgroups->item(row, 9)->text(), QString("not comparable"));
      QCOMPARE(c->grdSubgroups->item(row, 10)->text(), QString());
      ++unlike;
    }
    QVERIFY(unlike > 0);
  }
};

}  // namespace ormid::test

QTEST_MAIN(ormid::test::FrmHistoryTest)
#include "frm_history_test.moc"
