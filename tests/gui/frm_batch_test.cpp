// The desktop program's batch dialog on a copy of the CSFII sample: the
// residue files run in the background into the output folder, the table
// shows one row per file with its worst subgroup, Export writes the same
// summary the folder gets, Cancel leaves the rest not run and no partial
// file, an earlier batch's files are written over only after a Yes, and the
// runs go into the run history as the main window's setting says.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>
#include <algorithm>
#include <map>

#include "core/mod_ormid.h"
#include "desktop/batch/frm_batch.h"
#include "history/run_history.h"
#include "report/number_format.h"
#include "residue/residue_reader.h"
#include "setup/run_request.h"
#include "setup/startup.h"
#include "tests/test_support.h"

namespace ormid::test {

namespace fs = std::filesystem;

class FrmBatchTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<ScopedCurrentDir> cwd_;
  FakePlatform platform_;
  ModOrmid m_;
  std::vector<std::string> files_;

 private slots:
  void init() {
    QTest::failOnWarning(QRegularExpression("commitData|editor that does not belong"));
    dir_ = std::make_unique<TempDir>();
    CopySampleInstallation("csfii", dir_->path() / "csfii");
    cwd_ = std::make_unique<ScopedCurrentDir>(dir_->path() / "csfii");
    m_ = ModOrmid();
    QVERIFY(StartUp(m_, platform_, false));
    files_.clear();
    for (const char* f : {"DEMOFOS.R98", "DEMOGRP.R98", "CYCLOFOS.R98"})
      files_.push_back((dir_->path() / "csfii" / "residues" / f).string());
  }
  void cleanup() {
    cwd_.reset();
    dir_.reset();
  }

  void runsEveryFileAndExportsTheSummary() {
    WindowSettings s;
    s.chkMOE2 = true;
    s.txtMOE2 = "0.005";
    s.chkStandard.assign(static_cast<std::size_t>(m_.gPopCount), 0);
    FrmBatch dialog(m_, s, platform_);
    const std::string out = (dir_->path() / "out").string();
    dialog.SetFiles(files_, out);
    QSignalSpy finished(&dialog, &FrmBatch::finished);
    // Each file's row is filled as it finishes, before the batch ends.
    std::vector<int> filled;
    connect(&dialog, &FrmBatch::rowFinished, &dialog, [&](int row) {
      QCOMPARE(dialog.grdSummary->item(row, 1)->text(), QString("done"));
      QVERIFY(dialog.grdSummary->item(row, 3)->text().endsWith("% of RfD"));
      QVERIFY(dialog.lblTotals->text().isEmpty());
      filled.push_back(row);
    });
    dialog.cmdRun->click();
    QCOMPARE(dialog.grdSummary->rowCount(), 3);  // every file listed from the start
    QCOMPARE(dialog.grdSummary->item(2, 0)->text(), QString("CYCLOFOS"));
    QVERIFY(finished.wait(60000));
    std::sort(filled.begin(), filled.end());
    QCOMPARE(filled, (std::vector<int>{0, 1, 2}));
    QCOMPARE(dialog.grdSummary->rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
      QCOMPARE(dialog.grdSummary->item(r, 1)->text(), QString("done"));
      QVERIFY(!dialog.grdSummary->item(r, 2)->text().isEmpty());
      QVERIFY(dialog.grdSummary->item(r, 3)->text().endsWith("% of RfD"));
    }
    QCOMPARE(dialog.grdSummary->item(0, 0)->text(), QString("DEMOFOS"));
    QVERIFY(fs::exists(fs::path(out) / "DEMOGRP.OR10"));
    QVERIFY(dialog.cmdExport->isEnabled());
    std::string error;
    const std::string copy = (dir_->path() / "copy.csv").string();
    QVERIFY2(dialog.ExportSummary(copy, error), error.c_str());
    QCOMPARE(ReadFileBytes(copy), ReadFileBytes(fs::path(out) / "summary.csv"));
    QVERIFY(!dialog.ExportSummary((dir_->path() / "copy.json").string(), error));
    // Export...: a name without an extension gets the picked type's.
    platform_.saveAnswers = {(dir_->path() / "picked").string(), (dir_->path() / "plain").string()};
    platform_.saveTypeAnswers = {2, 1};
    dialog.cmdExport->click();
    dialog.cmdExport->click();
    QCOMPARE(platform_.saveRequests.back().filter,
             std::string("CSV table|*.csv|Excel workbook|*.xlsx"));
    QCOMPARE(ReadFileBytes(dir_->path() / "picked.xlsx").substr(0, 2), std::string("PK"));
    QCOMPARE(ReadFileBytes(dir_->path() / "plain.csv"),
             ReadFileBytes(fs::path(out) / "summary.csv"));
  }

  // The lines of a report below its head (which names the file and the date).
  static std::vector<std::string> Body(const fs::path& report) {
    std::vector<std::string> lines = Lines(ReadFileBytes(report));
    auto date = std::find_if(lines.begin(), lines.end(),
                             [](const std::string& l) { return l.starts_with("Analysis Date"); });
    return {date == lines.end() ? lines.begin() : date + 1, lines.end()};
  }

  // The report a single run of a residue file makes, the RfD box holding
  // `rfd`, or what opening the file fills it with when empty.
  std::vector<std::string> SingleRun(const std::string& file, const std::string& rfd) {
    ModOrmid m = m_;
    FakePlatform p;
    if (!OpenNamedResidueFile(m, p, file)) return {};
    WindowSettings s;
    s.chkMOE2 = true;
    s.txtMOE2 = rfd.empty() ? DefaultNumberText(m.gRefDose) : rfd;
    s.txtComment = m.gRunComment;
    s.chkStandard.assign(static_cast<std::size_t>(m.gPopCount), 0);
    RecordingHost host;
    if (host.Run(m, p, s, RunKind::LongTerm) != RunStatus::Done) return {};
    return Body(fs::path(m.gWorkingDir) / "ormdtemp.txt");
  }

  // The main window's values (DEMOFOS's RfD) do not go to the other files:
  // each runs with its own, as a single run of it would, unless a value is
  // typed in the batch window; the values table says which before Run.
  void eachFileRunsWithItsOwnValuesUnlessTyped() {
    WindowSettings s;
    s.chkMOE2 = true;
    s.txtMOE2 = "0.005";
    s.txtComment = "DEMOFOS's comment";
    s.chkStandard.assign(static_cast<std::size_t>(m_.gPopCount), 0);
    const std::vector<std::string> two = {files_[0], files_[2]};  // DEMOFOS, CYCLOFOS
    for (const std::string typed : {"", "0.002"}) {
      FrmBatch dialog(m_, s, platform_);
      const fs::path out = dir_->path() / ("out" + typed);
      dialog.SetFiles(two, out.string());
      dialog.txtRfd->setText(QString::fromStdString(typed));
      QCOMPARE(dialog.grdValues->rowCount(), 2);
      for (int r = 0; r < 2; ++r) {
        ModOrmid m = m_;
        FakePlatform p;
        QVERIFY(OpenNamedResidueFile(m, p, two[static_cast<std::size_t>(r)]));
        QCOMPARE(dialog.grdValues->item(r, 1)->text().toStdString(), m.gChemicalName);
        QCOMPARE(dialog.grdValues->item(r, 3)->text().toStdString(),
                 typed.empty() ? DefaultNumberText(m.gRefDose) + " (file)" : typed + " (typed)");
        QCOMPARE(dialog.grdValues->item(r, 2)->text(), QString("not used"));
      }
      QSignalSpy finished(&dialog, &FrmBatch::finished);
      dialog.cmdRun->click();
      QVERIFY(finished.wait(60000));
      QCOMPARE(dialog.Counts().done, std::size_t{2});
      // Run can be pressed again once the batch is done.
      QVERIFY(dialog.cmdRun->isEnabled());
      for (const std::string& file : two) {
        const std::string id = fs::path(file).stem().string();
        const auto batch = Body(out / (id + ".OR10"));
        QVERIFY(!batch.empty());
        QVERIFY2(batch == SingleRun(file, typed), id.c_str());
      }
    }
  }

  void asksBeforeWritingOverAnEarlierBatch() {
    WindowSettings s;
    s.chkMOE2 = true;
    s.txtMOE2 = "0.005";
    s.chkStandard.assign(static_cast<std::size_t>(m_.gPopCount), 0);
    const fs::path out = dir_->path() / "out";
    const fs::path history = dir_->path() / "csfii" / kHistoryFile;
    auto folder = [&] {
      std::map<std::string, std::string> files;
      for (const auto& e : fs::directory_iterator(out))
        files[e.path().filename().string()] = ReadFileBytes(e.path());
      return files;
    };
    auto run = [&](FrmBatch& dialog) {
      QSignalSpy finished(&dialog, &FrmBatch::finished);
      dialog.cmdRun->click();
      // A batch that starts takes the Run button away until it is done.
      return !dialog.cmdRun->isEnabled() && finished.wait(60000);
    };
    {
      // A new folder: nothing to ask. The window records no runs.
      FrmBatch dialog(m_, s, platform_);
      dialog.SetRecordHistory(false);
      dialog.SetFiles(files_, out.string());
      QVERIFY(run(dialog));
      QVERIFY(platform_.messages.empty());
      QVERIFY(!fs::exists(history));
    }
    WriteFileBytes(out / "DEMOGRP.OR10", "kept");
    const auto before = folder();
    QCOMPARE(before.size(), std::size_t{8});  // three reports and manifests, the summary twice
    // The same question as the command line's, once, naming the folder and
    // how many files it would replace.
    const std::string question = "The output folder " + out.string() +
                                 " already holds files of this batch: 8 files would be replaced (" +
                                 (out / "summary.csv").string() +
                                 ", ...). Do you want to write over them?";
    for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
      platform_.messages.clear();
      platform_.answers = {answer};
      FrmBatch dialog(m_, s, platform_);
      dialog.SetFiles(files_, out.string());
      const bool ran = run(dialog);
      QCOMPARE(platform_.messages.size(), std::size_t{1});
      const RecordedMessage& asked = platform_.messages[0];
      QCOMPARE(asked.text, question);
      QCOMPARE(asked.title, std::string("KAVRI-FCID Ormid Module"));
      QVERIFY(asked.icon == MsgIcon::Question && asked.buttons == MsgButtons::YesNoDefaultNo);
      std::string error;
      auto runs = ListRuns(history.string(), {}, error);
      QVERIFY2(runs, error.c_str());
      if (answer == MsgAnswer::No) {
        // Nothing ran, nothing was written; Run can be pressed again.
        QVERIFY(!ran);
        QVERIFY(!dialog.Running());
        QVERIFY(dialog.cmdRun->isEnabled());
        QCOMPARE(dialog.grdSummary->rowCount(), 0);
        QVERIFY(folder() == before);
        QVERIFY(runs->empty());
      } else {
        QVERIFY(ran);
        QCOMPARE(dialog.Counts().done, std::size_t{3});
        QVERIFY(ReadFileBytes(out / "DEMOGRP.OR10") != "kept");
        QCOMPARE(folder().size(), before.size());
        // Recorded in the files' order, as single runs would be.
        QCOMPARE(runs->size(), std::size_t{3});
        for (std::size_t i = 0; i < 3; ++i) {
          QCOMPARE((*runs)[i].residueFile, fs::path(files_[i]).filename().string());
          QCOMPARE((*runs)[i].command, std::string("longterm"));
        }
      }
    }
  }

  void cancelLeavesTheRestNotRun() {
    WindowSettings s;
    s.chkMOE2 = true;
    s.txtMOE2 = "0.005";
    s.chkComplete = true;
    s.chkStandard.assign(static_cast<std::size_t>(m_.gPopCount), 1);
    std::vector<std::string> many;
    for (int i = 0; i < 60; ++i) {
      const fs::path copy =
          dir_->path() / "csfii" / "residues" / ("R" + std::to_string(i) + ".R98");
      fs::copy_file(files_[0], copy);
      many.push_back(copy.string());
    }
    FrmBatch dialog(m_, s, platform_);
    dialog.cboAnalysis->setCurrentIndex(1);
    const std::string out = (dir_->path() / "out").string();
    dialog.SetFiles(many, out);
    QSignalSpy finished(&dialog, &FrmBatch::finished);
    dialog.cmdRun->click();
    dialog.Cancel();
    QVERIFY(finished.wait(60000));
    const BatchCounts counts = dialog.Counts();
    QCOMPARE(counts.done + counts.notRun, std::size_t{60});
    QVERIFY(counts.notRun > 0);
    QCOMPARE(dialog.grdSummary->item(59, 1)->text(), QString("not run"));
    for (const auto& e : fs::directory_iterator(out))
      QVERIFY(e.path().string().find(".ormid-tmp") == std::string::npos);
  }
};

}  // namespace ormid::test

QTEST_MAIN(ormid::test::FrmBatchTest)
#include "frm_batch_test.moc"
