// The desktop program driven through its real widgets on the offscreen
// platform. Message boxes and file dialogs are answered by the scripted
// platform; modal forms are driven through their own buttons.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QtTest>
#include <ctime>
#include <deque>
#include <functional>
#include <sstream>

#include "app/frm_ormid.h"
#include "app/frm_pad.h"
#include "app/modal_runner.h"
#include "cli/cli_run.h"
#include "core/mod_ormid.h"
#include "delivery/frm_report2.h"
#include "delivery/frm_spd.h"
#include "tests/installation_fixture.h"

namespace ormid::test {

namespace fs = std::filesystem;
namespace td = testdata;

// Modal forms are shown, handed to the next script, and closed by their
// close box when the script leaves them open.
class ScriptedRunner : public ModalRunner {
 public:
  void RunModal(QDialog& dialog) override {
    ++shown;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    if (!scripts.empty()) {
      auto script = scripts.front();
      scripts.pop_front();
      script(dialog);
    }
    if (dialog.isVisible()) dialog.reject();
  }
  bool ConfigurePrinter(QPrinter& printer) override {
    if (pdf.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  }
  std::deque<std::function<void(QDialog&)>> scripts;
  QString pdf;
  int shown = 0;
};

// A destination dialog script pressing one button.
std::function<void(QDialog&)> Press(QPushButton* FrmSPD::*button) {
  return [button](QDialog& d) { (qobject_cast<FrmSPD*>(&d)->*button)->click(); };
}

class FrmOrmidTest : public QObject {
  Q_OBJECT

 private:
  void Start(int base = 0) {
    auto installation = SmallInstallation(base);
    installation.setup.pageLength = 40;
    inst_ = std::make_unique<StartedInstallation>(installation);
    QVERIFY(inst_->started);
    runner_ = std::make_unique<ScriptedRunner>();
    w_ = std::make_unique<FrmOrmid>(inst_->m, inst_->platform, *runner_);
    w_->show();
    w_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
  }
  std::string WriteResidue(const char* name = "gui.R98") {
    auto path = inst_->dir.path() / "residues" / name;
    td::WriteResidueFile(SmallResidueFile(inst_->m.gSurveyBase), path);
    return path.string();
  }
  void Open(const std::string& path) {
    inst_->platform.openAnswers.push_back(path);
    w_->mnuOpenRes->trigger();
  }
  std::vector<RecordedMessage>& Messages() { return inst_->platform.messages; }
  std::string LastMessage() {
    return Messages().empty() ? "" : Messages().back().title + ": " + Messages().back().text;
  }
  QWidget* Focus() { return QApplication::focusWidget(); }
  // The same run through the command line, in the same folder and at the
  // same instant as the scripted clock.
  std::string CommandLineReport(std::vector<std::string> args, const char* report) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 5;
    tm.tm_hour = 14;
    tm.tm_min = 3;
    tm.tm_sec = 9;
    ::setenv("SOURCE_DATE_EPOCH", std::to_string(timegm(&tm)).c_str(), 1);
    args.insert(args.begin(), {"-C", inst_->dir.str()});
    std::ostringstream out, err;
    int status = cli::RunCli(args, out, err);
    ::unsetenv("SOURCE_DATE_EPOCH");
    fs::current_path(inst_->dir.path());
    if (status != 0) qWarning("ormid-cli: %s", err.str().c_str());
    return status == 0 ? ReadFileBytes(inst_->dir.path() / report) : "";
  }

  std::unique_ptr<StartedInstallation> inst_;
  std::unique_ptr<ScriptedRunner> runner_;
  std::unique_ptr<FrmOrmid> w_;

 private slots:
  void cleanup() {
    w_.reset();
    runner_.reset();
    inst_.reset();
  }

  void startState() {
    Start();
    QCOMPARE(w_->windowTitle(),
             QString("Kavri-FCID Ormid Analysis for CSFII 1994-96, 1998 (ver. 4.01, 94-98-test) "));
    QCOMPARE(w_->lblDefault->text(), QString("residues/"));
    QVERIFY(!w_->mnuStart->isEnabled());
    QVERIFY(!w_->mnuCommodity->isEnabled());
    for (QWidget* hidden : std::initializer_list<QWidget*>{
             w_->fraResFile, w_->cmdPrintResFl, w_->cmdPAD, w_->frmSubPop, w_->txtCrit1,
             w_->lblCrit3, w_->lineCrit2, w_->txtRptFile, w_->lblPrinterMsg})
      QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
    QVERIFY(!w_->lblStart->isHidden());
    QVERIFY(!w_->cmdPrintOrmidAnalysis->isHidden());
    QCOMPARE(w_->txtMOE2->text(), QString(" "));
    // 33 subgroups: elements 0 to 15 in the first column, 16 to 32 in the second.
    QCOMPARE(static_cast<int>(w_->chkStandard.size()), 33);
    QCOMPARE(w_->chkStandard[0]->text(), QString("Subgroup 1"));
    w_->chkComplete->setChecked(true);
    QApplication::processEvents();
    QCOMPARE(w_->chkStandard[15]->x(), w_->chkStandard[0]->x());
    QCOMPARE(w_->chkStandard[16]->y(), w_->chkStandard[0]->y());
    QVERIFY(w_->chkStandard[16]->x() > w_->chkStandard[15]->x());
    QVERIFY(w_->chkStandard[15]->y() > w_->chkStandard[14]->y());
  }

  void endpointInterlocks() {
    Start();
    w_->chkMOE3->setChecked(true);
    w_->chkMOE4->setChecked(true);  // PAD while Q*: RfD and PAD, the PAD button focused
    QVERIFY(!w_->chkMOE3->isChecked());
    QVERIFY(w_->chkMOE2->isChecked());
    QVERIFY(!w_->cmdPAD->isHidden());
    QCOMPARE(Focus(), w_->cmdPAD);
    w_->chkMOE1->setChecked(true);
    QCOMPARE(Focus(), w_->txtMOE1);
    w_->chkMOE3->setChecked(true);  // Q* alone
    QVERIFY(!w_->chkMOE1->isChecked() && !w_->chkMOE2->isChecked() && !w_->chkMOE4->isChecked());
    QVERIFY(w_->cmdPAD->isHidden());
    QCOMPARE(Focus(), w_->txtMOE3);
    w_->chkMOE4->setChecked(true);
    w_->chkMOE2->setChecked(false);  // unchecking RfD unchecks PAD
    QVERIFY(!w_->chkMOE4->isChecked());
    QVERIFY(w_->cmdPAD->isHidden());
    QVERIFY(Messages().empty());
  }

  void commodityOptionsFollowTheResidueFile() {
    Start();
    w_->chkCritical->setChecked(true);
    QVERIFY(!w_->frmSubPop->isHidden());
    QVERIFY(!w_->txtCrit2->isHidden());
    QVERIFY(!w_->mnuCommodity->isEnabled());
    Open(WriteResidue());
    QVERIFY(w_->mnuCommodity->isEnabled());
    w_->chkComplete->setChecked(true);
    w_->chkCritical->setChecked(false);
    QVERIFY(w_->txtCrit2->isHidden());
    QVERIFY(!w_->frmSubPop->isHidden());
    QVERIFY(w_->mnuCommodity->isEnabled());
    w_->chkComplete->setChecked(false);
    QVERIFY(w_->frmSubPop->isHidden());
    QVERIFY(!w_->mnuCommodity->isEnabled());
  }

  void valueAndFileNameChecks() {
    Start();
    w_->txtMOE1->setFocus();
    w_->txtMOE1->setText("abc");
    QTest::keyClick(w_->txtMOE1, Qt::Key_Return);
    QCOMPARE(LastMessage(), std::string("Ormid Analysis: Invalid NOEL value."));
    QCOMPARE(Focus(), w_->txtMOE1);
    w_->txtMOE2->setFocus();  // leaving the box checks it again and puts the focus back
    QCOMPARE(Messages().size(), std::size_t{2});
    QCOMPARE(Focus(), w_->txtMOE1);
    Messages().clear();
    for (const char* good : {"1e-3", " 2.5 ", "", "   "}) {
      w_->txtMOE1->setText(good);
      QTest::keyClick(w_->txtMOE1, Qt::Key_Return);
    }
    QVERIFY(Messages().empty());
    w_->txtMOE3->setFocus();
    w_->txtMOE3->setText("x");
    QTest::keyClick(w_->txtMOE3, Qt::Key_Return);  // Enter does not check the Q* box
    QVERIFY(Messages().empty());
    w_->txtMOE1->setFocus();
    QCOMPARE(LastMessage(), std::string("Ormid Analysis: Invalid Q* value."));
    QCOMPARE(Focus(), w_->txtMOE3);
    w_->txtMOE3->setText("");

    Open(WriteResidue());
    w_->chkSaveRpt->setChecked(true);
    QCOMPARE(Focus(), w_->txtRptFile);
    struct Case {
      const char* name;
      std::string message;
    } cases[] = {
        {"week/1",
         "Illegal filename: Illegal character in filename week/1  Do not use the "
         "following characters: ?*/<>|\""},
        {"c:week1",
         "KAVRI Quenna Module: Do not include a path with the report filename (or do "
         "not use the characters \\ or : in the filename)."},
        {"a\\b?",
         "KAVRI Quenna Module: Do not include a path with the report filename (or do "
         "not use the characters \\ or : in the filename)."},
        {"week.1", ""},
    };
    for (const Case& c : cases) {
      Messages().clear();
      w_->txtRptFile->setText(c.name);
      QTest::keyClick(w_->txtRptFile, Qt::Key_Enter);
      QCOMPARE(LastMessage(), c.message);
      QCOMPARE(w_->txtRptFile->text(), QString(c.name));
      QCOMPARE(Focus(), w_->txtRptFile);
    }
  }

  void openCloseOpenAgain() {
    Start();
    std::string path = WriteResidue();
    Open(path);
    QVERIFY(Messages().empty());
    QVERIFY(!w_->fraResFile->isHidden());
    QVERIFY(w_->lblStart->isHidden());
    QCOMPARE(w_->lblResfl2->text(), QString("gui.R98"));
    QCOMPARE(w_->lblChemName2->text(), QString("Testazole"));
    QCOMPARE(w_->txtMOE1->text(), QString("0.5"));
    QCOMPARE(w_->txtMOE2->text(), QString("0.005"));
    QCOMPARE(w_->txtComment->toPlainText(), QString("Tolerance residues"));
    QCOMPARE(w_->frmParam->title(), QString("Ormid Analysis Parameters"));
    QVERIFY(w_->mnuStart->isEnabled());
    QVERIFY(!w_->cmdPrintResFl->isHidden());
    QCOMPARE(w_->lblDefault->text().toStdString(), (inst_->dir.path() / "residues/").string());

    Open(path);  // a second file needs the first one closed
    QCOMPARE(LastMessage(), std::string("Warning: Can't open new residue file before you close the "
                                        "current residue file."));
    QCOMPARE(inst_->platform.openAnswers.size(), std::size_t{1});  // no dialog was shown
    inst_->platform.openAnswers.clear();
    w_->mnuClose->trigger();
    QVERIFY(w_->fraResFile->isHidden());
    QVERIFY(!w_->mnuStart->isEnabled());
    QVERIFY(w_->cmdPrintResFl->isHidden());
    QVERIFY(!w_->cmdPrintOrmidAnalysis->isHidden());
    QCOMPARE(w_->txtComment->toPlainText(), QString(""));
    QCOMPARE(w_->txtMOE1->text(), QString("0.5"));  // endpoint values remain

    // A cancelled dialog leaves the window as it was.
    w_->mnuOpenRes->trigger();
    QVERIFY(w_->fraResFile->isHidden());
    Open(path);
    QVERIFY(!w_->fraResFile->isHidden());
    QCOMPARE(inst_->platform.openRequests.back().filter,
             std::string("Residue files (*.R98)|*.R98;*.r98"));
  }

  void longTermRunMatchesCommandLine() {
    Start();
    std::string path = WriteResidue();
    Open(path);
    w_->chkMOE1->setChecked(true);
    w_->chkMOE2->setChecked(true);
    w_->chkSecondAdj->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdScreen));
    w_->mnuStart->trigger();
    QVERIFY2(Messages().empty(), LastMessage().c_str());
    QCOMPARE(runner_->shown, 1);
    std::string report = ReadFileBytes(inst_->dir.path() / "ormdtemp.txt");
    QVERIFY(w_->frmReport2 && w_->frmReport2->isVisible());
    QCOMPARE(w_->frmReport2->windowTitle(), QString("Last Ormid Report"));
    QCOMPARE(w_->frmReport2->rtbreport->toPlainText(),
             QString::fromLatin1(report.c_str()).replace("\r\n", "\n"));
    QCOMPARE(CommandLineReport({"longterm", path, "--noel", "--rfd", "--adj2"}, "ormdtemp.txt"),
             report);
    // Esc hides the viewer.
    QTest::keyClick(w_->frmReport2, Qt::Key_Escape);
    QVERIFY(w_->frmReport2->isHidden());
  }

  void commodityRunMatchesCommandLine() {
    Start();
    std::string path = WriteResidue();
    Open(path);
    w_->chkMOE2->setChecked(true);
    w_->chkComplete->setChecked(true);
    w_->chkCritical->setChecked(true);
    w_->txtCrit1->setText("5");
    w_->txtCrit2->setText("10");
    w_->chkStandard[0]->setChecked(true);
    w_->chkStandard[16]->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuCommodity->trigger();
    QVERIFY2(Messages().empty(), LastMessage().c_str());
    QCOMPARE(runner_->shown, 1);
    std::string report = ReadFileBytes(inst_->dir.path() / "tempcomm.txt");
    QVERIFY(!w_->frmReport2);
    QCOMPARE(CommandLineReport({"commodity", path, "--rfd", "--complete", "--critical",
                                "--food-pct", "5", "--crop-pct", "10", "--subgroups", "1,17"},
                               "tempcomm.txt"),
             report);
  }

  void padFormRoundTrip() {
    Start();
    Open(WriteResidue());
    w_->chkMOE4->setChecked(true);
    runner_->scripts.push_back([](QDialog& d) {
      auto& pad = static_cast<FrmPAD&>(d);
      QCOMPARE(static_cast<int>(pad.txtPAD.size()), 20);
      QCOMPARE(pad.lblPop[0]->text(), QString("Subgroup 14"));
      QCOMPARE(pad.windowTitle(), QString("Ormid PAD Values"));
      for (QLineEdit* box : pad.txtPAD) QCOMPARE(box->text(), QString(""));
      pad.txtPAD[0]->setFocus();
      pad.txtPAD[0]->setText("abc");
      QTest::keyClick(pad.txtPAD[0], Qt::Key_Return);
      QCOMPARE(pad.txtPAD[0]->text(), QString(""));
      QCOMPARE(QApplication::focusWidget(), pad.txtPAD[0]);
      QTest::keyClick(pad.txtPAD[0], Qt::Key_Up);  // wraps to the last row
      QCOMPARE(QApplication::focusWidget(), pad.txtPAD[19]);
      QTest::keyClicks(pad.txtPAD[19], "0.25");
      QTest::keyClick(pad.txtPAD[19], Qt::Key_Down);
      QCOMPARE(QApplication::focusWidget(), pad.txtPAD[0]);
      pad.txtPAD[3]->setText("1,5");
      pad.cmdExit->click();
    });
    w_->cmdPAD->click();
    QCOMPARE(inst_->m.gPAD[33], 0.25f);
    QCOMPARE(inst_->m.gPAD[17], 1.0f);
    // Reopened, the form shows the stored values; its close box stores too.
    runner_->scripts.push_back([](QDialog& d) {
      auto& pad = static_cast<FrmPAD&>(d);
      QCOMPARE(pad.txtPAD[19]->text(), QString("0.25"));
      pad.txtPAD[1]->setText("0.002");
    });
    w_->cmdPAD->click();
    QCOMPARE(inst_->m.gPAD[15], 0.002f);
    // Clear form keeps the PADs.
    inst_->platform.answers.push_back(MsgAnswer::Yes);
    w_->cmdClear->click();
    QVERIFY(!w_->chkMOE4->isChecked() && !w_->chkMOE2->isChecked());
    QVERIFY(w_->cmdPAD->isHidden());
    QCOMPARE(inst_->m.gPAD[33], 0.25f);
  }

  void printerPrintsOnePagePerFormFeed() {
    Start();
    std::string path = WriteResidue();
    Open(path);
    w_->chkMOE2->setChecked(true);
    w_->chkComplete->setChecked(true);
    w_->chkStandard[0]->setChecked(true);
    w_->chkStandard[1]->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuCommodity->trigger();
    std::string report = ReadFileBytes(inst_->dir.path() / "tempcomm.txt");
    int formFeeds = static_cast<int>(std::count(report.begin(), report.end(), '\f'));
    QVERIFY(formFeeds >= 2);
    runner_->pdf = QString::fromStdString((inst_->dir.path() / "report.pdf").string());
    runner_->scripts.push_back(Press(&FrmSPD::cmdPrinter));
    w_->cmdCommodity->click();
    QCOMPARE(LastMessage(),
             std::string("Action completed: Commodity Contribution Report sent to Printer"));
    QVERIFY(w_->lblPrinterMsg->isHidden());
    std::string pdf = ReadFileBytes(runner_->pdf.toStdString());
    int pages = 0;
    for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos;
         at = pdf.find("/Type /Page", at + 1))
      if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
    QCOMPARE(pages, formFeeds + 1);
  }

  void diskFileDestinationAndOverwrite() {
    Start();
    Open(WriteResidue());
    w_->chkMOE2->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuStart->trigger();
    std::string target = (inst_->dir.path() / "saved.OR10").string();
    WriteFileBytes(target, "old");
    auto& p = inst_->platform;
    // Cancel in the save dialog keeps the destination dialog open; then the
    // name of an existing file: No reopens the save dialog, Yes saves.
    p.saveAnswers = {std::nullopt, target, target};
    p.answers = {MsgAnswer::No, MsgAnswer::Yes};
    runner_->scripts.push_back([](QDialog& d) {
      auto& spd = static_cast<FrmSPD&>(d);
      QCOMPARE(spd.windowTitle(), QString("Send Ormid Report to:"));
      spd.cmdDiskFile->click();
      QVERIFY(spd.isVisible());
      spd.cmdDiskFile->click();
    });
    p.messages.clear();
    w_->cmdPrintOrmidAnalysis->click();
    QCOMPARE(p.saveRequests.size(), std::size_t{3});
    QCOMPARE(p.saveRequests[0].title, std::string("Save Ormid Analysis report as:"));
    QCOMPARE(p.saveRequests[0].filter, std::string("Ormid Analysis reports (*.OR10)|*.OR10"));
    QCOMPARE(p.messages.size(), std::size_t{3});
    QCOMPARE(p.messages[0].text, "File " + target + " already exists. Write over?");
    QCOMPARE(p.messages[0].title, std::string("Warning!"));
    QCOMPARE(p.messages[2].text.rfind(
                 "Report saved as file " + target + "\r\nNote that this file is dated ", 0),
             std::size_t{0});
    QCOMPARE(ReadFileBytes(target), ReadFileBytes(inst_->dir.path() / "ormdtemp.txt"));
    // The saved name is proposed again for the same kind only.
    p.saveAnswers = {std::nullopt};
    runner_->scripts.push_back([](QDialog& d) { static_cast<FrmSPD&>(d).cmdDiskFile->click(); });
    w_->cmdPrintOrmidAnalysis->click();
    QCOMPARE(p.saveRequests.back().fileName, target);
  }

  void closingTheDestinationDialog() {
    Start();
    // No report yet: the Show Last messages.
    w_->cmdPrintOrmidAnalysis->click();
    QCOMPARE(LastMessage(), std::string("Show last  Ormid Analysis: There is no 'last' Ormid "
                                        "analysis in the current KAVRI directory to display."));
    w_->cmdCommodity->click();
    QCOMPARE(LastMessage(), std::string("Show last Ormid Analysis: There is no 'last' Commodity "
                                        "Contribution report in the current KAVRI directory to "
                                        "display."));
    // A report left by an earlier run: the close box shows a long-term
    // report on screen and delivers a commodity report nowhere.
    WriteFileBytes(inst_->dir.path() / "ormdtemp.txt", "earlier report\r\n");
    WriteFileBytes(inst_->dir.path() / "tempcomm.txt", "earlier commodity report\r\n");
    w_->cmdCommodity->click();
    QVERIFY(!w_->frmReport2);
    w_->cmdPrintOrmidAnalysis->click();
    QVERIFY(w_->frmReport2 && w_->frmReport2->isVisible());
    QCOMPARE(w_->frmReport2->rtbreport->toPlainText(), QString("earlier report\n"));
  }

  void runRefusalsMoveTheFocus() {
    Start();
    Open(WriteResidue());
    w_->chkMOE1->setChecked(true);
    w_->txtMOE1->setText("0");
    w_->mnuStart->trigger();
    QCOMPARE(LastMessage(),
             std::string("Ormid Analysis: NOEL is checked but value is not specified."));
    QCOMPARE(Focus(), w_->txtMOE1);
    w_->txtMOE1->setText("5");
    w_->chkComplete->setChecked(true);
    w_->mnuCommodity->trigger();
    QCOMPARE(LastMessage(), std::string("Ormid Analysis: You must check at least one population "
                                        "before you perform a commodity analysis"));
    QCOMPARE(Focus(), w_->chkStandard[1]);
    QVERIFY(!QApplication::overrideCursor());
  }

  void residueListingButton() {
    Start();
    Open(WriteResidue());
    w_->cmdPrintResFl->click();
    QCOMPARE(Focus(), w_->chkMOE1);
    w_->chkMOE1->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdScreen));
    Messages().clear();
    w_->cmdPrintResFl->click();
    QVERIFY(Messages().empty());
    QCOMPARE(w_->frmReport2->windowTitle(), QString("Current Residue File"));
    QVERIFY(w_->frmReport2->rtbreport->toPlainText().contains(
        "Reference dose (NOEL) = 0.5 mg/kg bw/day"));
  }

  void helpSequence() {
    Start();
    inst_->platform.answers = {MsgAnswer::Yes, MsgAnswer::No};
    w_->mnuHelp->trigger();
    QCOMPARE(Messages().size(), std::size_t{2});
    QCOMPARE(Messages()[0].title, std::string("KAVRI-FCID Ormid Module -- Help"));
    QVERIFY(Messages()[1].text.find("\r\n\r\n                        Do you want to see more help "
                                    "messages?") != std::string::npos);
    Messages().clear();
    w_->mnuHelp->trigger();  // Yes, Yes (the fake's default), then the last box
    QCOMPARE(Messages().size(), std::size_t{3});
    QCOMPARE(Messages()[2].buttons, MsgButtons::OK);
  }
};

}  // namespace ormid::test

QTEST_MAIN(ormid::test::FrmOrmidTest)
#include "frm_ormid_test.moc"
