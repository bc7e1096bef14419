// Results as data in the desktop program, through its real widgets on the
// offscreen platform: File > Export Results... writes the last finished
// run's figures as the command line's --export does, and every long-term or
// commodity report saved from the window gets a manifest that
// `ormid-cli verify` and `ormid-cli rerun` accept.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QtTest>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_platform.h"
#include "cli/cli_run.h"
#include "core/mod_ormid.h"
#include "delivery/export_dialog.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/qt_platform.h"
#include "desktop/results/frm_cumulative_results.h"
#include "manifest/run_manifest.h"
#include "manifest/sha256.h"
#include "tests/gui/gui_support.h"
#include "tests/installation_fixture.h"

namespace ormid::test {

namespace fs = std::filesystem;
namespace td = testdata;
using nlohmann::json;

struct CliResult {
  int status = -1;
  std::string out, err;
};

class ResultsTest : public QObject, public DesktopFixture {
  Q_OBJECT

 private:
  void Start() {
    auto installation = SmallInstallation(0);
    installation.setup.pageLength = 40;
    runner_ = std::make_unique<ScriptedRunner>();
    QVERIFY(StartDesktop(*runner_, installation));
  }
  std::string OpenResidue() {
    auto path = inst_->dir.path() / "residues" / "gui.R98";
    td::WriteResidueFile(SmallResidueFile(0), path);
    inst_->platform.openAnswers.push_back(path.string());
    w_->mnuOpenRes->trigger();
    return path.string();
  }
  FakePlatform& P() { return inst_->platform; }
  std::string LastMessage() {
    auto& m = P().messages;
    return m.empty() ? "" : m.back().title + ": " + m.back().text;
  }
  fs::path Dir() { return inst_->dir.path(); }

  // File > Export Results... answered with a name and the picked type.
  void Export(const std::string& name, int type) {
    P().saveAnswers.push_back(name);
    P().saveTypeAnswers.push_back(type);
    w_->mnuExportResults->trigger();
  }

  // The command line in the installation's folder, its clock at the
  // scripted clock's instant as local time (as the desktop's clock is).
  CliResult Cli(std::vector<std::string> args, bool inFolder = true) {
    if (inFolder) args.insert(args.begin(), {"-C", inst_->dir.str()});
    cli::OverrideClock(P().now, false);
    std::ostringstream out, err;
    CliResult r;
    r.status = cli::RunCli(args, out, err);
    cli::OverrideClock(std::nullopt, false);
    fs::current_path(Dir());
    r.out = out.str();
    r.err = err.str();
    return r;
  }

  static json ReadJson(const fs::path& path) {
    return json::parse(ReadFileBytes(path), nullptr, false);
  }

  // A manifest's outputs by role, each checked against the file it names.
  static std::map<std::string, std::string> OutputsOf(const json& manifest) {
    std::map<std::string, std::string> outputs;
    const std::string folder = manifest["installation"]["working_folder"].get<std::string>();
    for (const json& o : manifest["outputs"]) {
      const std::string path = ResolveManifestPath(o["path"].get<std::string>(), folder);
      auto d = DigestFile(path);
      if (!d || json(d->sha256) != o["sha256"] || json(d->size) != o["size"])
        qWarning("output %s does not match its digest", path.c_str());
      else
        outputs[o["role"].get<std::string>()] = path;
    }
    return outputs;
  }

  // verify and rerun of a manifest: every input unchanged, every output
  // made again byte for byte.
  void VerifyAndRerun(const fs::path& manifest, int outputs) {
    CliResult verify = Cli({"verify", manifest.string()}, false);
    QVERIFY2(verify.status == 0, (verify.out + verify.err).c_str());
    CliResult rerun = Cli({"rerun", manifest.string()}, false);
    QVERIFY2(rerun.status == 0, (rerun.out + rerun.err).c_str());
    int identical = 0;
    for (std::size_t at = rerun.out.find("  identical  "); at != std::string::npos;
         at = rerun.out.find("  identical  ", at + 1))
      ++identical;
    QCOMPARE(identical, outputs);
  }

  std::unique_ptr<ScriptedRunner> runner_;

 private slots:
  // An item view that loses track of an editor warns: that fails the test.
  void init() {
    QTest::failOnWarning(QRegularExpression("commitData|editor that does not belong"));
  }
  void cleanup() {
    StopDesktop();
    runner_.reset();
  }

  void exportFollowsFinishedRuns() {
    Start();
    QVERIFY(!w_->mnuExportResults->isEnabled());
    OpenResidue();
    w_->mnuStart->trigger();  // refused: no endpoint checked
    QVERIFY(!w_->mnuExportResults->isEnabled());
    // A run that stops on a message does not count.
    w_->chkMOE2->setChecked(true);
    w_->chkSaveRpt->setChecked(true);
    w_->txtRptFile->setText("week1");
    fs::create_directory(Dir() / "residues" / "week1.OR10");  // the copy cannot be written
    w_->mnuStart->trigger();
    QCOMPARE(P().messages.back().title, std::string("KAVRI-FCID Ormid"));
    QVERIFY(!w_->mnuExportResults->isEnabled());
    // Neither does the residue file listing.
    w_->chkSaveRpt->setChecked(false);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->cmdPrintResFl->click();
    QVERIFY(!w_->mnuExportResults->isEnabled());
    // A finished run does, even when its report goes nowhere, and it stays
    // so after the residue file is closed.
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuStart->trigger();
    QVERIFY(w_->mnuExportResults->isEnabled());
    w_->mnuClose->trigger();
    QVERIFY(w_->mnuExportResults->isEnabled());
    P().messages.clear();
    Export((Dir() / "after-close").string(), 1);
    QCOMPARE(LastMessage(), "Action completed: Results of the Ormid analysis exported to file " +
                                (Dir() / "after-close.csv").string());
  }

  // Each run's three formats, exported after the window's settings have
  // changed, are byte for byte the command line's export of the run.
  void exportsAreTheCommandLines() {
    Start();
    const std::string residue = OpenResidue();
    struct Case {
      const char* name;
      std::function<void()> setUp;    // the window for the run
      std::function<void()> changes;  // made after the run
      QAction* FrmOrmid::*menu;
      std::vector<std::string> cli;
    } cases[] = {
        {"longterm",
         [this] {
           w_->chkMOE1->setChecked(true);
           w_->chkMOE2->setChecked(true);
           w_->chkSecondAdj->setChecked(true);
         },
         [this] {
           w_->chkSecondAdj->setChecked(false);
           w_->txtMOE2->setText("0.5");
           w_->txtComment->setPlainText("another comment");
         },
         &FrmOrmid::mnuStart,
         {"longterm", residue, "--noel", "--rfd", "--adj2"}},
        {"commodity",
         [this] {
           w_->chkMOE1->setChecked(false);
           w_->txtMOE2->setText("0.005");
           w_->txtComment->setPlainText("Tolerance residues");
           w_->chkComplete->setChecked(true);
           w_->chkCritical->setChecked(true);
           w_->txtCrit1->setText("5");
           w_->txtCrit2->setText("10");
           w_->chkStandard[0]->setChecked(true);
           w_->chkStandard[16]->setChecked(true);
         },
         [this] {
           w_->chkStandard[16]->setChecked(false);
           w_->txtCrit1->setText("50");
         },
         &FrmOrmid::mnuCommodity,
         {"commodity", residue, "--rfd", "--complete", "--critical", "--food-pct", "5",
          "--crop-pct", "10", "--subgroups", "1,17"}},
    };
    fs::create_directory(Dir() / "cli");
    for (const Case& c : cases) {
      c.setUp();
      runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
      (w_.get()->*c.menu)->trigger();
      const std::string report = ReadFileBytes(
          Dir() / (c.name == std::string("longterm") ? kLongTermReportFile : kCommodityReportFile));
      c.changes();
      // Names typed without an extension get the picked type's.
      P().messages.clear();
      for (int type = 1; type <= 3; ++type)
        Export((Dir() / (std::string("gui-") + c.name)).string(), type);
      QCOMPARE(P().saveRequests.back().title, std::string("Export Results"));
      QCOMPARE(P().saveRequests.back().filter, std::string(kExportTypes));
      // The first proposal: the residue file's name, the command, the type
      // of the last export.
      QCOMPARE(P().saveRequests[P().saveRequests.size() - 3].fileName,
               "gui-" + std::string(c.name) + (c.menu == &FrmOrmid::mnuStart ? ".csv" : ".xlsx"));
      QCOMPARE(P().messages.size(), std::size_t{3});

      std::vector<std::string> args = c.cli;
      for (const char* ext : {".csv", ".json", ".xlsx"})
        args.insert(args.end(), {"--export", (Dir() / "cli" / c.name).string() + ext});
      CliResult r = Cli(args);
      QVERIFY2(r.status == 0, r.err.c_str());
      // The same run: the command line's report is the window's.
      QCOMPARE(ReadFileBytes(Dir() / (c.name == std::string("longterm") ? kLongTermReportFile
                                                                        : kCommodityReportFile)),
               report);
      for (const char* ext : {".csv", ".json", ".xlsx"}) {
        const std::string gui = ReadFileBytes((Dir() / "gui-").string() + c.name + ext);
        QVERIFY2(!gui.empty(), ext);
        QVERIFY2(gui == ReadFileBytes((Dir() / "cli" / c.name).string() + ext),
                 (std::string(c.name) + ext).c_str());
      }
      // The CSV file's manifest beside it lists the report and the export,
      // and repeats the run.
      const fs::path manifest = (Dir() / "gui-").string() + c.name + ".csv.manifest.json";
      auto outputs = OutputsOf(ReadJson(manifest));
      QCOMPARE(outputs["export"], (Dir() / "gui-").string() + c.name + ".csv");
      QCOMPARE(outputs.count("report"), std::size_t{1});
      VerifyAndRerun(manifest, 2);
    }
  }

  void exportTypesAndOverwrite() {
    Start();
    OpenResidue();
    w_->chkMOE2->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuStart->trigger();
    // The extension decides over the picked type; other names get the
    // type's extension.
    struct Named {
      const char* typed;
      int type;
      const char* written;
      const char* starts;
    } names[] = {
        {"typed.json", 1, "typed.json", "{"},  {"typed.XLSX", 2, "typed.XLSX", "PK"},
        {"typed.v2", 2, "typed.v2.json", "{"}, {"typed", 1, "typed.csv", "row,subgroup,"},
        {"typed", 3, "typed.xlsx", "PK"},
    };
    for (const Named& n : names) {
      Export((Dir() / n.typed).string(), n.type);
      const std::string bytes = ReadFileBytes(Dir() / n.written);
      QVERIFY2(bytes.rfind(n.starts, 0) == 0, n.written);
    }
    // The type of the last export is the one offered first next time.
    P().saveAnswers = {std::nullopt};
    w_->mnuExportResults->trigger();
    QCOMPARE(P().saveRequests.back().filterIndex, 3);
    QCOMPARE(P().saveRequests.back().fileName, std::string("gui-longterm.xlsx"));

    // An existing file: No asks for another name, Cancel gives up and
    // leaves it, Yes replaces it whole.
    const fs::path target = Dir() / "old.csv";
    WriteFileBytes(target, "old figures\r\n");
    P().messages.clear();
    P().saveAnswers = {target.string(), target.string()};
    P().answers = {MsgAnswer::No, MsgAnswer::Cancel};
    w_->mnuExportResults->trigger();
    QCOMPARE(P().messages.size(), std::size_t{2});
    QCOMPARE(P().messages[0].text, "Export file " + target.string() +
                                       " already exists. Do you want to write over this file?");
    QCOMPARE(P().messages[0].title, std::string("KAVRI-FCID Ormid Module"));
    QCOMPARE(P().messages[0].buttons, MsgButtons::YesNoCancel);
    QCOMPARE(P().saveRequests.back().fileName, target.string());
    QCOMPARE(ReadFileBytes(target), std::string("old figures\r\n"));
    P().saveAnswers = {target.string()};
    P().answers = {MsgAnswer::Yes};
    w_->mnuExportResults->trigger();
    QCOMPARE(ReadFileBytes(target), ReadFileBytes(Dir() / "typed.csv"));
    for (const auto& entry : fs::directory_iterator(Dir()))
      QVERIFY2(entry.path().filename().string().find("-tmp") == std::string::npos,
               entry.path().c_str());
  }

  void exportFailuresNameTheFile() {
    Start();
    OpenResidue();
    w_->chkMOE2->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuStart->trigger();
    struct Case {
      const char* name;
      std::function<fs::path()> target;
    } cases[] = {
        {"no such folder", [this] { return Dir() / "missing" / "figures.csv"; }},
        {"a folder in its place",
         [this] {
           fs::create_directories(Dir() / "taken.xlsx" / "inside");
           return Dir() / "taken.xlsx";
         }},
    };
    for (const Case& c : cases) {
      const fs::path target = c.target();
      P().messages.clear();
      P().saveAnswers = {target.string()};
      P().answers = {MsgAnswer::Yes};
      w_->mnuExportResults->trigger();
      const RecordedMessage& m = P().messages.back();
      QVERIFY2(m.title == "Export Results", c.name);
      QVERIFY2(m.icon == MsgIcon::Exclamation, c.name);
      const std::string head = "The export file " + target.string() + " could not be written: ";
      QVERIFY2(m.text.rfind(head, 0) == 0 && m.text.size() > head.size() + 1, m.text.c_str());
    }
    QVERIFY(fs::is_directory(Dir() / "taken.xlsx" / "inside"));
    QVERIFY(!QApplication::overrideCursor());
  }

  void savedReportsGetManifests() {
    Start();
    OpenResidue();
    w_->chkMOE2->setChecked(true);
    // Save Reports to File.
    w_->chkSaveRpt->setChecked(true);
    w_->txtRptFile->setText("week1");
    const fs::path week1 = Dir() / "residues" / "week1.OR10";
    const fs::path manifest = week1.string() + ".manifest.json";
    // The message that says the report is saved comes once its manifest is
    // there too.
    std::vector<bool> manifestAtMessage;
    fs::path expected = manifest;
    P().onMessage = [&](const RecordedMessage& m) {
      if (m.text.find("saved as file") != std::string::npos)
        manifestAtMessage.push_back(fs::exists(expected));
    };
    w_->mnuStart->trigger();
    QCOMPARE(manifestAtMessage, std::vector<bool>{true});
    QVERIFY(fs::exists(manifest));
    json j = ReadJson(manifest);
    QCOMPARE(j["run"]["command"], json("longterm"));
    QCOMPARE(j["run"]["date"], json("2026-12-05T14:03:09"));
    auto outputs = OutputsOf(j);
    QCOMPARE(outputs["saved report"], week1.string());
    QCOMPARE(outputs["report"], (Dir() / kLongTermReportFile).string());
    QVERIFY(j["settings"]["arguments"].dump().find("--line-count") == std::string::npos);
    VerifyAndRerun(manifest, 2);

    // The destination dialog's Disk File, under a name of the user's own.
    w_->chkSaveRpt->setChecked(false);
    w_->chkComplete->setChecked(true);
    w_->chkStandard[2]->setChecked(true);
    const fs::path kept = Dir() / "kept.txt";
    P().saveAnswers = {kept.string()};
    expected = kept.string() + ".manifest.json";
    manifestAtMessage.clear();
    runner_->scripts.push_back([](QDialog& d) { static_cast<FrmSPD&>(d).cmdDiskFile->click(); });
    w_->mnuCommodity->trigger();
    QCOMPARE(manifestAtMessage, std::vector<bool>{true});
    QCOMPARE(ReadFileBytes(kept), ReadFileBytes(Dir() / kCommodityReportFile));
    j = ReadJson(kept.string() + ".manifest.json");
    QCOMPARE(j["run"]["command"], json("commodity"));
    QCOMPARE(OutputsOf(j)["saved report"], kept.string());
    VerifyAndRerun(kept.string() + ".manifest.json", 2);

    // The viewer's Save a Copy, after the window's settings have changed.
    runner_->scripts.push_back(Press(&FrmSPD::cmdScreen));
    w_->mnuStart->trigger();
    w_->chkMOE2->setChecked(false);
    w_->chkMOE1->setChecked(true);
    const fs::path viewed = Dir() / "viewed";
    P().saveAnswers = {viewed.string()};
    w_->frmReport2->cmdSave->click();
    j = ReadJson(viewed.string() + ".OR10.manifest.json");
    QCOMPARE(j["settings"]["endpoint"], json("R"));
    // A second long-term report of the session starts from the line count
    // the commodity report left; the re-run starts from it too.
    const std::string last = j["settings"]["arguments"].back().get<std::string>();
    QVERIFY2(last.rfind("--line-count=", 0) == 0 && last != "--line-count=0", last.c_str());
    QCOMPARE(OutputsOf(j)["saved report"], viewed.string() + ".OR10");
    VerifyAndRerun(viewed.string() + ".OR10.manifest.json", 2);

    // A report this program did not make here, and the residue file
    // listing, get none.
    WriteFileBytes(Dir() / kLongTermReportFile, "an earlier report\r\n");
    P().saveAnswers = {(Dir() / "earlier.OR10").string()};
    runner_->scripts.push_back([](QDialog& d) { static_cast<FrmSPD&>(d).cmdDiskFile->click(); });
    w_->cmdPrintOrmidAnalysis->click();
    QVERIFY(fs::exists(Dir() / "earlier.OR10"));
    QVERIFY(!fs::exists(Dir() / "earlier.OR10.manifest.json"));
    P().saveAnswers = {(Dir() / "listing.OR1").string()};
    runner_->scripts.push_back([](QDialog& d) { static_cast<FrmSPD&>(d).cmdDiskFile->click(); });
    w_->cmdPrintResFl->click();
    QVERIFY(fs::exists(Dir() / "listing.OR1"));
    QVERIFY(!fs::exists(Dir() / "listing.OR1.manifest.json"));
  }

  // A cumulative run is finished as every run is: it becomes the last run,
  // whose figures File > Export Results... writes as the command line
  // writes them, and whose report the viewer saves with the run's manifest.
  void cumulativeRunIsFinishedAsEveryRun() {
    Start();
    const std::string residue = OpenResidue();
    fs::copy_file(residue, Dir() / "residues" / "gui2.R98");
    WriteFileBytes(Dir() / "group.csv",
                   "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,rpf\n"
                   "Alpha,residues/gui.R98,0.5,100,yes,\n"
                   "Beta,residues/gui2.R98,0.1,100,,\n");
    // A long-term run first: the cumulative run must replace it as the last.
    w_->chkMOE2->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuStart->trigger();
    P().messages.clear();
    P().openAnswers.push_back((Dir() / "group.csv").string());
    w_->mnuCumulative->trigger();
    QVERIFY(w_->frmReport2 && w_->frmReport2->isVisible());
    QCOMPARE(w_->frmReport2->Kind(), RunKind::Cumulative);
    QVERIFY(w_->frmCumulativeResults && w_->frmCumulativeResults->isVisible());
    QCOMPARE(w_->frmCumulativeResults->Figures().subgroups.size(),
             static_cast<std::size_t>(inst_->m.gPopCount));

    Export((Dir() / "cum").string(), 2);
    QCOMPARE(LastMessage(),
             "Action completed: Results of the cumulative analysis exported to file " +
                 (Dir() / "cum.json").string());
    Export((Dir() / "cum").string(), 1);
    CliResult r =
        Cli({"cumulative", (Dir() / "group.csv").string(), "--by", "cropgroup", "--no-history",
             "--export", (Dir() / "cli.json").string(), "--export", (Dir() / "cli.csv").string()});
    QVERIFY2(r.status == 0, r.err.c_str());
    for (const char* ext : {".json", ".csv"})
      QVERIFY2(ReadFileBytes((Dir() / "cum").string() + ext) ==
                   ReadFileBytes((Dir() / "cli").string() + ext),
               ext);
    auto outputs = OutputsOf(ReadJson(Dir() / "cum.csv.manifest.json"));
    QCOMPARE(outputs["report"], (Dir() / kCumulativeReportFile).string());
    QCOMPARE(outputs["export"], (Dir() / "cum.csv").string());
    VerifyAndRerun(Dir() / "cum.csv.manifest.json", 2);

    // The viewer's Save a Copy: a cumulative report with the run's manifest.
    P().saveAnswers = {(Dir() / "copy").string()};
    w_->frmReport2->cmdSave->click();
    QCOMPARE(ReadFileBytes(Dir() / "copy.CU10"), ReadFileBytes(Dir() / kCumulativeReportFile));
    const json j = ReadJson(Dir() / "copy.CU10.manifest.json");
    QCOMPARE(j["run"]["command"], json("cumulative"));
    QCOMPARE(OutputsOf(j)["saved report"], (Dir() / "copy.CU10").string());
    VerifyAndRerun(Dir() / "copy.CU10.manifest.json", 2);
  }

  void runsKeepOneDate() {
    // Every page of a commodity report carries the instant its run started,
    // however long it runs.
    Start();
    OpenResidue();
    P().now = {2026, 12, 5, 14, 3, 9};
    w_->chkMOE2->setChecked(true);
    w_->chkComplete->setChecked(true);
    for (int k = 0; k < 6; ++k) w_->chkStandard[static_cast<std::size_t>(k)]->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    // The clock moves on a second as soon as the window lets events through
    // (the busy note does, before the run computes).
    QTimer::singleShot(0, [this] { P().now.second = 10; });
    w_->mnuCommodity->trigger();
    QCOMPARE(P().now.second, 10);
    const std::string report = ReadFileBytes(Dir() / kCommodityReportFile);
    QVERIFY(report.find("14:03:09") != std::string::npos);
    QVERIFY(report.find("14:03:10") == std::string::npos);
  }

  void nameFiltersListEveryType() {
    QCOMPARE(
        QtNameFilters(kExportTypes),
        QStringList({"CSV table (*.csv)", "JSON document (*.json)", "Excel workbook (*.xlsx)"}));
    QCOMPARE(QtNameFilter("Residue files (*.R98)|*.R98;*.r98"),
             QString("Residue files (*.R98) (*.R98 *.r98)"));
  }
};

}  // namespace ormid::test

QTEST_MAIN(ormid::test::ResultsTest)
#include "results_test.moc"
