// Residue tables from the desktop program, through its real widgets on the
// offscreen platform: File > Export Residue Table... writes the open residue
// file as the command line's `residue export` does; File > Import Residue
// Table... shows the problems of a table in a window, or writes the residue
// file and opens it; File > Build Residue File from Samples... previews the
// build (or the files' problems), builds and opens the file.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <sstream>

#include "cli/cli_run.h"
#include "core/mod_ormid.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/frm_problems.h"
#include "desktop/main_window/frm_residue_build.h"
#include "tests/gui/gui_support.h"
#include "tests/installation_fixture.h"

namespace ormid::test {

namespace fs = std::filesystem;
namespace td = testdata;

class ResidueTableTest : public QObject, public DesktopFixture {
  Q_OBJECT

 private:
  void Start() {
    runner_ = std::make_unique<ScriptedRunner>();
    QVERIFY(StartDesktop(*runner_));
    residue_ = Dir() / "residues" / "gui.R98";
    td::WriteResidueFile(SmallResidueFile(0), residue_);
  }
  void Open() {
    P().openAnswers.push_back(residue_.string());
    w_->mnuOpenRes->trigger();
  }
  FakePlatform& P() { return inst_->platform; }
  fs::path Dir() { return inst_->dir.path(); }
  // The command line's residue table of the residue file.
  std::string CliTable(const std::string& name) {
    std::ostringstream out, err;
    const int status = cli::RunCli(
        {"-C", inst_->dir.str(), "residue", "export", residue_.string(), (Dir() / name).string()},
        out, err);
    fs::current_path(Dir());
    if (status != 0) qWarning("%s", err.str().c_str());
    return ReadFileBytes(Dir() / name);
  }

  std::unique_ptr<ScriptedRunner> runner_;
  fs::path residue_;

 private slots:
  void cleanup() {
    StopDesktop();
    runner_.reset();
  }

  void exportTheOpenResidueFile() {
    Start();
    QVERIFY(!w_->mnuExportResidueTable->isEnabled());
    Open();
    QVERIFY(w_->mnuExportResidueTable->isEnabled());
    const std::string comment = inst_->m.gRunComment;
    struct Case {
      const char* typed;
      int type;
      const char* written;
    } cases[] = {{"gui", 1, "gui.csv"}, {"gui", 2, "gui.xlsx"}, {"named.csv", 2, "named.csv"}};
    for (const Case& c : cases) {
      P().saveAnswers = {(Dir() / c.typed).string()};
      P().saveTypeAnswers = {c.type};
      w_->mnuExportResidueTable->trigger();
      QCOMPARE(P().saveRequests.back().fileName, std::string("gui.csv"));
      QCOMPARE(P().messages.back().text,
               "Residue table saved as file " + (Dir() / c.written).string());
    }
    QCOMPARE(ReadFileBytes(Dir() / "gui.csv"), CliTable("cli.csv"));
    QCOMPARE(ReadFileBytes(Dir() / "gui.xlsx").substr(0, 2), std::string("PK"));
    // The window's open file is left as it was.
    QCOMPARE(inst_->m.gResidueFileName, residue_.string());
    QCOMPARE(inst_->m.gRunComment, comment);
    QCOMPARE(inst_->m.gResidueLoaded, Int16{1});
    w_->mnuClose->trigger();
    QVERIFY(!w_->mnuExportResidueTable->isEnabled());
  }

  // Residue tables are proposed in the installation's tables folder when
  // it has one, beside the residue files when it has none; the residue file
  // an import writes, among the residue files.
  void tablesAreProposedInTheTablesFolder() {
    Start();
    Open();
    for (const bool tables : {false, true}) {
      if (tables) fs::create_directories(Dir() / "tables");
      const std::string expected =
          tables ? (Dir() / "tables").string() + "/" : inst_->m.gResiduePath;
      P().saveRequests.clear();
      P().openRequests.clear();
      P().saveAnswers.clear();
      P().openAnswers.clear();
      w_->mnuExportResidueTable->trigger();  // cancelled
      QCOMPARE(P().saveRequests.back().initialDir, expected);
      w_->mnuImportResidueTable->trigger();  // cancelled
      QCOMPARE(P().openRequests.back().initialDir, expected);
    }
    CliTable("table.csv");
    P().openAnswers = {(Dir() / "table.csv").string()};
    P().saveRequests.clear();
    w_->mnuImportResidueTable->trigger();  // the residue file's name cancelled
    QCOMPARE(P().saveRequests.back().initialDir, inst_->m.gResiduePath);
  }

  void importWritesAndOpens() {
    Start();
    Open();
    const std::string table = CliTable("table.csv");
    const fs::path written = Dir() / "residues" / "imported.R98";
    P().openAnswers = {(Dir() / "table.csv").string()};
    P().saveAnswers = {(Dir() / "residues" / "imported").string()};
    P().messages.clear();
    w_->mnuImportResidueTable->trigger();
    QVERIFY2(P().messages.empty(), P().messages.empty() ? "" : P().messages.back().text.c_str());
    QCOMPARE(P().saveRequests.back().fileName, std::string("table.R98"));
    QCOMPARE(P().saveRequests.back().filter, std::string("Residue files (*.R98)|*.R98;*.r98"));
    QVERIFY(fs::exists(written));
    // Opened in place of the file that was open.
    QCOMPARE(inst_->m.gResidueFileName, written.string());
    QCOMPARE(w_->lblResfl2->text(), QString("imported.R98"));
    QVERIFY(w_->mnuStart->isEnabled());
    QCOMPARE(runner_->shown, 0);
  }

  void importProblemsInAWindow() {
    Start();
    std::string table = CliTable("table.csv");
    table += "99999999,Nothing known,,,0.5,1,1,\r\n01010000,Apple,,,lots,1,1,\r\n";
    WriteFileBytes(Dir() / "broken.csv", table);
    QString shown, heading;
    bool readOnly = false;
    runner_->scripts.push_back([&](QDialog& d) {
      auto& window = static_cast<FrmProblems&>(d);
      heading = window.lblHeading->text();
      shown = window.txtProblems->toPlainText();
      readOnly = window.txtProblems->isReadOnly();
      QApplication::clipboard()->clear();
      window.cmdCopy->click();
      QCOMPARE(QApplication::clipboard()->text(), shown);
      window.cmdClose->click();
    });
    P().openAnswers = {(Dir() / "broken.csv").string()};
    P().saveAnswers = {(Dir() / "residues" / "broken.R98").string()};
    w_->mnuImportResidueTable->trigger();
    QCOMPARE(runner_->shown, 1);
    QVERIFY(readOnly);
    // Every problem, each naming the table and the line of one of the two
    // rows added.
    const QStringList lines = shown.split('\n', Qt::SkipEmptyParts);
    QVERIFY(lines.size() >= 2);
    QVERIFY2(heading.contains(QString("was not imported: %1 problems").arg(lines.size())),
             qPrintable(heading));
    const int last = static_cast<int>(std::count(table.begin(), table.end(), '\n'));
    QSet<int> rows;
    for (const QString& line : lines) {
      QVERIFY2(line.startsWith("broken.csv:"), qPrintable(line));
      rows.insert(line.section(':', 1, 1).toInt());
    }
    QCOMPARE(rows, QSet<int>({last - 1, last}));
    QVERIFY(!fs::exists(Dir() / "residues" / "broken.R98"));
    QCOMPARE(inst_->m.gResidueLoaded, Int16{0});
    // The table was refused before the residue file's name was asked for.
    QVERIFY(P().saveRequests.empty());
    QCOMPARE(P().saveAnswers.size(), std::size_t{1});

    // A residue file name of the other survey's kind is refused before the
    // residue file is written.
    P().saveAnswers.clear();
    P().openAnswers = {(Dir() / "table.csv").string()};
    P().saveAnswers = {(Dir() / "residues" / "other.R10").string()};
    w_->mnuImportResidueTable->trigger();
    QCOMPARE(P().messages.back().title, std::string("Import Residue Table"));
    QCOMPARE(runner_->shown, 1);
    QVERIFY(!fs::exists(Dir() / "residues" / "other.R10"));
  }

  void buildFromSamplesPreviewsBuildsAndOpens() {
    Start();
    Open();
    WriteFileBytes(Dir() / "samples.csv",
                   "commodity,sample_id,result_ppm,lod_ppm\n"
                   "APPLES,A1,0.3,0.01\nAPPLES,A2,,0.02\nPLUMS,P1,0.1,0.01\n");
    WriteFileBytes(Dir() / "rules.csv", "commodity,food_code\nAPPLES,01010000\nAPPLES,09090000\n");
    bool refusedFirst = false, enabledAfterChange = true;
    QString residue, unruled, marked, summary;
    int rows = 0;
    runner_->scripts.push_back([&](QDialog& d) {
      auto& f = static_cast<FrmResidueBuild&>(d);
      f.txtSamples->setText(QString::fromStdString((Dir() / "samples.csv").string()));
      f.txtRules->setText(QString::fromStdString((Dir() / "rules.csv").string()));
      f.txtOutput->setText("built");
      f.txtChemical->setText("Testazole");
      f.txtRfd->setText("0.005");
      // The rules' problem, by line; nothing to build.
      f.cmdPreview->click();
      refusedFirst = !f.cmdBuild->isEnabled() && f.grdBuild->rowCount() == 1 &&
                     f.grdBuild->item(0, 0)->text().startsWith("rules.csv:3: food code");
      WriteFileBytes(Dir() / "rules.csv", "commodity,food_code\nAPPLES,01010000\n");
      f.cmdPreview->click();
      // A change asks for a new preview.
      f.cboBound->setCurrentText("upper");
      enabledAfterChange = f.cmdBuild->isEnabled();
      f.cboBound->setCurrentText("middle");
      f.cmdPreview->click();
      rows = f.grdBuild->rowCount();
      residue = f.grdBuild->item(0, 12)->text();
      unruled = f.grdBuild->item(1, 3)->text();
      marked = f.grdBuild->item(1, 15)->text();
      summary = f.lblSummary->text();
      f.cmdBuild->click();
    });
    w_->mnuBuildResidue->trigger();
    QCOMPARE(runner_->shown, 1);
    QVERIFY(refusedFirst);
    QVERIFY(!enabledAfterChange);
    // The apple's entry, PLUMS without a rule, the five foods without data.
    QCOMPARE(rows, 1 + 1 + 5);
    QCOMPARE(residue, QString("0.155"));  // (0.3 + 0.02 / 2) / 2
    QCOMPARE(unruled, QString("PLUMS"));
    QVERIFY(marked.contains("no rule"));
    QVERIFY2(summary.contains("5 foods without data"), qPrintable(summary));

    const fs::path built = fs::path(inst_->m.gResiduePath) / "built.R98";
    QVERIFY(fs::exists(built));
    QVERIFY(fs::exists(built.string() + ".build.txt.manifest.json"));
    QVERIFY2(
        P().messages.back().text.find("was built from 3 samples by 1 rules") != std::string::npos,
        P().messages.back().text.c_str());
    // Opened in place of the file that was open.
    QCOMPARE(fs::path(inst_->m.gResidueFileName), built);
    QCOMPARE(inst_->m.gChemicalName, std::string("Testazole"));
    QCOMPARE(inst_->m.gFoodResidue.at(1), 0.155f);
    QVERIFY(w_->mnuExportResults->isEnabled());
  }
};

}  // namespace ormid::test

QTEST_MAIN(ormid::test::ResidueTableTest)
#include "residue_table_test.moc"
