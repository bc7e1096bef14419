// The desktop program driven through its real widgets on the offscreen
// platform. Message boxes and file dialogs are answered by the scripted
// platform; modal forms are driven through their own buttons.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <ctime>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>

#include "cli/cli_run.h"
#include "core/mod_ormid.h"
#include "desktop/batch/frm_batch.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/frm_spd.h"
#include "desktop/delivery/qt_printer.h"
#include "desktop/delivery/report_view.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/frm_pad.h"
#include "desktop/main_window/frm_problems.h"
#include "desktop/main_window/modal_runner.h"
#include "desktop/main_window/qt_platform.h"
#include "history/run_history.h"
#include "residue/residue_listing.h"
#include "tests/gui/gui_support.h"
#include "tests/installation_fixture.h"

namespace ormid::test {

namespace {

// What the viewer shows: its lines, joined by LF.
QString Shown(const ReportView& view) {
  QString text;
  for (std::size_t i = 0; i < view.LineCount(); ++i) {
    if (i > 0) text += '\n';
    const std::string_view line = view.Line(i);
    text += QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
  }
  return text;
}

}  // namespace

namespace fs = std::filesystem;
namespace td = testdata;

// What poppler's pdftotext -bbox reads back from a PDF: the page size, the
// box around every word, and the advance of one character of the longest word.
struct PdfLayout {
  double pageWidth = 0, pageHeight = 0;
  double minX = 1e9, minY = 1e9, maxX = 0, maxY = 0;
  double advance = 0;
  int words = 0;
};

PdfLayout ReadPdfLayout(const QString& pdf) {
  PdfLayout layout;
  QProcess tool;
  tool.start("pdftotext", {"-bbox", pdf, "-"});
  if (!tool.waitForFinished(30000)) return layout;
  QString html = QString::fromUtf8(tool.readAllStandardOutput());
  QRegularExpression page(R"re(<page width="([\d.]+)" height="([\d.]+)")re");
  auto pm = page.match(html);
  if (pm.hasMatch()) {
    layout.pageWidth = pm.captured(1).toDouble();
    layout.pageHeight = pm.captured(2).toDouble();
  }
  QRegularExpression word(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  int longest = 0;
  for (auto it = word.globalMatch(html); it.hasNext();) {
    auto m = it.next();
    double x0 = m.captured(1).toDouble(), y0 = m.captured(2).toDouble();
    double x1 = m.captured(3).toDouble(), y1 = m.captured(4).toDouble();
    layout.minX = std::min(layout.minX, x0);
    layout.minY = std::min(layout.minY, y0);
    layout.maxX = std::max(layout.maxX, x1);
    layout.maxY = std::max(layout.maxY, y1);
    int length = static_cast<int>(m.captured(5).size());
    if (length > longest) {
      longest = length;
      layout.advance = (x1 - x0) / length;
    }
    ++layout.words;
  }
  return layout;
}

class FrmOrmidTest : public QObject, public DesktopFixture {
  Q_OBJECT

 private:
  void Start(int base = 0, const std::function<void(td::Installation&)>& edit = {}) {
    auto installation = SmallInstallation(base);
    installation.setup.pageLength = 40;
    if (edit) edit(installation);
    runner_ = std::make_unique<ScriptedRunner>();
    QVERIFY(StartDesktop(*runner_, installation));
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
  // Starts, opens a residue file and runs the complete commodity analysis of
  // the first two subgroups with the RfD, its destination dialog cancelled;
  // the commodity report it leaves.
  std::string CommodityReportOfTwoSubgroups() {
    Start();
    Open(WriteResidue());
    w_->chkMOE2->setChecked(true);
    w_->chkComplete->setChecked(true);
    w_->chkStandard[0]->setChecked(true);
    w_->chkStandard[1]->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuCommodity->trigger();
    return ReadFileBytes(inst_->dir.path() / "tempcomm.txt");
  }
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
    QCOMPARE(Shown(*w_->frmReport2->rtbreport),
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
    std::string report = CommodityReportOfTwoSubgroups();
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
    QCOMPARE(Shown(*w_->frmReport2->rtbreport), QString("earlier report\n"));
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
    QVERIFY(Shown(*w_->frmReport2->rtbreport).contains("Reference dose (NOEL) = 0.5 mg/kg bw/day"));
    // The long-term report in a viewer of its own: the listing stays shown.
    FrmReport2* listing = w_->frmReport2;
    WriteFileBytes(inst_->dir.path() / "ormdtemp.txt", "long-term report\r\n");
    w_->cmdPrintOrmidAnalysis->click();
    QVERIFY(w_->frmReport2 != listing);
    QCOMPARE(w_->frmReport2->windowTitle(), QString("Last Ormid Report"));
    QVERIFY(listing->isVisible());
    QCOMPARE(listing->windowTitle(), QString("Current Residue File"));
    QVERIFY(Shown(*listing->rtbreport).contains("Reference dose (NOEL)"));
    QCOMPARE(w_->viewers.size(), std::size_t{2});
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

  // --- Windows, layout and keyboard ---

  void viewerIsAWindowOfItsOwn() {
    Start();
    WriteFileBytes(inst_->dir.path() / "ormdtemp.txt", "earlier report\r\n");
    w_->cmdPrintOrmidAnalysis->click();
    FrmReport2* viewer = w_->frmReport2;
    QVERIFY(viewer && viewer->isVisible());
    // Top-level, modeless and not tied to the main window, so the window
    // manager lets it go behind it.
    QVERIFY(viewer->isWindow());
    QVERIFY(!viewer->parentWidget());
    QCOMPARE(viewer->windowType(), Qt::Window);
    QCOMPARE(viewer->windowModality(), Qt::NonModal);
    QVERIFY(viewer->windowHandle() && !viewer->windowHandle()->transientParent());
    // Beside a window when the screen has room to its right, then to its left.
    QWidget narrow;
    narrow.setGeometry(QRect(narrow.screen()->availableGeometry().topLeft(), QSize(150, 200)));
    narrow.show();
    FrmReport2 fresh;
    fresh.PlaceBeside(narrow);
    fresh.show();
    QCOMPARE(fresh.x(), narrow.frameGeometry().right() + 1);
    QCOMPARE(fresh.y(), narrow.frameGeometry().top());
    QRect room = narrow.screen()->availableGeometry();
    narrow.move(room.right() - narrow.frameGeometry().width() + 1, room.top());
    FrmReport2 leftOf;
    leftOf.PlaceBeside(narrow);
    leftOf.show();
    QCOMPARE(leftOf.frameGeometry().right(), narrow.frameGeometry().left() - 1);
  }

  void padFormShowsWholeNames() {
    const char* names[] = {"Females 13-19 (not preg or nursing)",
                           "Females 20+ (not preg or nursing)", "Non-hisp/non-white/non-black",
                           "Females 13+ (preg/not nursing)"};
    Start(0, [&](td::Installation& inst) {
      for (std::size_t k = 13; k < inst.subgroups.size(); ++k) inst.subgroups[k] = names[k % 4];
    });
    Open(WriteResidue());
    w_->chkMOE4->setChecked(true);
    runner_->scripts.push_back([](QDialog& d) {
      auto& pad = static_cast<FrmPAD&>(d);
      QVERIFY(pad.minimumSize() != pad.maximumSize());  // resizable
      for (QLabel* label : pad.lblPop) {
        int needed = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(label->width() >= needed, qPrintable(label->text()));
        QVERIFY(label->x() + label->width() <= pad.txtPAD[0]->x());
      }
      // The whole help text, then the buttons right under it.
      QVERIFY(pad.lblHelp->height() >= pad.lblHelp->heightForWidth(pad.lblHelp->width()));
      int below = pad.cmdExit->y() - (pad.lblHelp->y() + pad.lblHelp->height());
      QVERIFY2(below >= 0 && below < 20, qPrintable(QString::number(below)));
      // Rows at an even pitch, with a gap before the fourteenth.
      int pitch = pad.txtPAD[1]->y() - pad.txtPAD[0]->y();
      QCOMPARE(pad.txtPAD[12]->y() - pad.txtPAD[11]->y(), pitch);
      QVERIFY(pad.txtPAD[13]->y() - pad.txtPAD[12]->y() > pitch);
      QCOMPARE(pad.txtPAD[14]->y() - pad.txtPAD[13]->y(), pitch);
      // Larger font: still nothing cut.
      QFont big = pad.font();
      big.setPointSizeF(big.pointSizeF() * 1.5);
      pad.setFont(big);
      pad.adjustSize();
      QApplication::processEvents();
      for (QLabel* label : pad.lblPop)
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
      pad.cmdExit->click();
    });
    w_->cmdPAD->click();
    QCOMPARE(runner_->shown, 1);
  }

  void mainWindowKeepsOneSize() {
    Start();
    QApplication::processEvents();
    const QSize size = w_->size();
    // Fits a 1366x768 screen with a window manager's frame and a panel.
    QVERIFY2(size.width() <= 1366 && size.height() <= 768 - 70,
             qPrintable(QString("%1x%2").arg(size.width()).arg(size.height())));
    auto gap = [](QWidget* box, QWidget* label) { return label->x() - (box->x() + box->width()); };
    const int noelGap = gap(w_->chkMOE1, w_->lblTox1);
    QVERIFY2(noelGap >= 0 && noelGap <= 12, qPrintable(QString::number(noelGap)));
    const int padGap = gap(w_->chkMOE4, w_->lblTox4);
    const QPoint subgroups = w_->frmSubPop->pos();
    Open(WriteResidue());
    w_->chkMOE4->setChecked(true);
    w_->chkComplete->setChecked(true);
    w_->chkCritical->setChecked(true);
    w_->chkSaveRpt->setChecked(true);
    w_->txtRptFile->setText("a rather long report file name for this window");
    QApplication::processEvents();
    QCOMPARE(w_->size(), size);
    QCOMPARE(w_->sizeHint().height() <= size.height(), true);
    QCOMPARE(gap(w_->chkMOE1, w_->lblTox1), noelGap);
    QCOMPARE(gap(w_->chkMOE4, w_->lblTox4), padGap);
    QCOMPARE(w_->frmSubPop->pos(), subgroups);
    inst_->platform.answers.push_back(MsgAnswer::Yes);
    w_->cmdClear->click();
    w_->mnuClose->trigger();
    QApplication::processEvents();
    QCOMPARE(w_->size(), size);
  }

  void clickingAnEndpointNameTicksItsBox() {
    Start();
    QTest::mouseClick(w_->lblTox1, Qt::LeftButton);
    QVERIFY(w_->chkMOE1->isChecked());
    QTest::mouseClick(w_->lblTox3, Qt::LeftButton);  // Q* alone, through the interlocks
    QVERIFY(w_->chkMOE3->isChecked() && !w_->chkMOE1->isChecked());
    QTest::mouseClick(w_->lblTox4, Qt::LeftButton);
    QVERIFY(w_->chkMOE4->isChecked() && w_->chkMOE2->isChecked() && !w_->chkMOE3->isChecked());
    QTest::mouseClick(w_->lblTox2, Qt::LeftButton);
    QVERIFY(!w_->chkMOE2->isChecked() && !w_->chkMOE4->isChecked());
  }

  void tabGoesRowByRow() {
    Start();
    Open(WriteResidue());
    w_->chkMOE4->setChecked(true);
    w_->chkCritical->setChecked(true);
    w_->chkSaveRpt->setChecked(true);
    std::vector<QWidget*> expected = {
        w_->chkMOE1,      w_->txtMOE1,     w_->chkMOE2,    w_->txtMOE2,
        w_->chkMOE3,      w_->txtMOE3,     w_->chkMOE4,    w_->cmdPAD,
        w_->chkSecondAdj, w_->chkSaveRpt,  w_->txtRptFile, w_->txtComment,
        w_->chkComplete,  w_->chkCritical, w_->txtCrit1,   w_->txtCrit2};
    expected.insert(expected.end(), w_->chkStandard.begin(), w_->chkStandard.end());
    expected.insert(expected.end(), {w_->cmdSubgroupsAll, w_->cmdSubgroupsNone, w_->cmdPrintResFl,
                                     w_->cmdPrintOrmidAnalysis, w_->cmdCommodity, w_->cmdClear});
    // Tab by Tab from the first endpoint box.
    w_->chkMOE1->setFocus();
    std::vector<QWidget*> visited = {Focus()};
    for (std::size_t i = 1; i < expected.size(); ++i) {
      QTest::keyClick(Focus(), Qt::Key_Tab);
      visited.push_back(Focus());
    }
    for (std::size_t i = 0; i < expected.size(); ++i)
      QVERIFY2(visited[i] == expected[i],
               qPrintable(QString("step %1: %2 instead of %3")
                              .arg(i)
                              .arg(visited[i] ? visited[i]->objectName() : "nothing")
                              .arg(expected[i]->objectName())));
  }

  // File > Cumulative Assessment...: the group file chosen, its report in
  // the viewer and the run in the history; a group with problems lists them
  // in the problems window and runs nothing.
  void cumulativeAssessmentFromTheFileMenu() {
    Start();
    const std::string residue = WriteResidue();
    const fs::path group = inst_->dir.path() / "group.csv";
    WriteFileBytes(
        group, "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\nA," + residue +
                   ",0.5,100,yes\n");
    inst_->platform.openAnswers.push_back(group.string());
    w_->mnuCumulative->trigger();
    QVERIFY(w_->frmReport2 && w_->frmReport2->isVisible());
    const std::string report = ReadFileBytes(inst_->dir.path() / "tempcum.txt");
    QVERIFY2(report.find("KAVRI-FCID Ormid cumulative analysis for GROUP") != std::string::npos,
             report.c_str());
    QVERIFY(
        Shown(*w_->frmReport2->rtbreport).contains("Cumulative exposure by population subgroup"));
    std::string error;
    const auto runs = ListRuns((inst_->dir.path() / kHistoryFile).string(), {}, error);
    QVERIFY2(runs && runs->size() == 1, error.c_str());
    QCOMPARE(runs->front().command, std::string("cumulative"));

    QString shown;
    runner_->scripts.push_back([&](QDialog& d) {
      auto& window = static_cast<FrmProblems&>(d);
      shown = window.txtProblems->toPlainText();
      window.cmdClose->click();
    });
    fs::remove(inst_->dir.path() / "tempcum.txt");
    WriteFileBytes(group, "chemical,residue_file\n");
    inst_->platform.openAnswers.push_back(group.string());
    w_->mnuCumulative->trigger();
    QCOMPARE(runner_->shown, 1);
    QVERIFY2(shown.contains("group.csv:1: the column pod_mg_per_kg_bw_day is missing"),
             shown.toUtf8());
    QVERIFY(!fs::exists(inst_->dir.path() / "tempcum.txt"));
  }

  void shortcuts() {
    Start();
    struct Case {
      QAction* action;
      QKeySequence keys;
    } cases[] = {{w_->mnuOpenRes, QKeySequence(Qt::CTRL | Qt::Key_O)},
                 {w_->mnuClose, QKeySequence(Qt::CTRL | Qt::Key_W)},
                 {w_->mnuExportResults, QKeySequence(Qt::CTRL | Qt::Key_E)},
                 {w_->mnuExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
                 {w_->mnuGuide, QKeySequence(Qt::Key_F1)}};
    for (const Case& c : cases) QCOMPARE(c.action->shortcut(), c.keys);
    // Pressed on the window: Ctrl+O opens, Ctrl+W closes, F1 opens the guide.
    inst_->platform.openAnswers.push_back(WriteResidue());
    QTest::keyClick(w_.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(inst_->m.gResidueLoaded, Int16{1});
    QTest::keyClick(w_.get(), Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(inst_->m.gResidueLoaded, Int16{0});
    Messages().clear();
    QTest::keyClick(w_.get(), Qt::Key_F1);
    QVERIFY(Messages().empty());
    QVERIFY(w_->findChild<QObject*>("ormidGuideHolder"));

    // The viewer: find bar, Ctrl+End / Ctrl+Home.
    std::string report;
    for (int i = 1; i <= 300; ++i) report += "item " + std::to_string(i % 100) + ".\r\n";
    WriteFileBytes(inst_->dir.path() / "ormdtemp.txt", report);
    w_->cmdPrintOrmidAnalysis->click();
    FrmReport2* v = w_->frmReport2;
    QVERIFY(QTest::qWaitForWindowActive(v));
    v->rtbreport->setFocus();
    QTest::keyClick(v->rtbreport, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(v->rtbreport->Cursor(), (ReportView::Pos{300, 0}));  // after the last line end
    QVERIFY(v->rtbreport->viewport()->rect().contains(v->rtbreport->CursorRect()));
    QVERIFY(v->rtbreport->verticalScrollBar()->value() > 0);
    QTest::keyClick(v->rtbreport, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(v->rtbreport->Cursor(), ReportView::Pos{});
    QCOMPARE(v->rtbreport->verticalScrollBar()->value(), 0);
    // Shift+Down selects a whole line; Ctrl+C copies it.
    QTest::keyClick(v->rtbreport, Qt::Key_Down);
    QTest::keyClick(v->rtbreport, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(v->rtbreport, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString("item 2.\n"));
    QTest::keyClick(v->rtbreport, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(v->fraFind->isVisible());
    QCOMPARE(QApplication::focusWidget(), v->txtFind);
    QTest::keyClicks(v->txtFind, "item 25.");  // lines 25, 125 and 225
    QTest::keyClick(v->txtFind, Qt::Key_Return);
    QCOMPARE(v->rtbreport->SelectedText(), QString("item 25."));
    std::vector<ReportView::Pos> found = {v->rtbreport->Anchor()};
    for (int i = 0; i < 3; ++i) {
      v->cmdFindNext->click();
      found.push_back(v->rtbreport->Anchor());
    }
    QCOMPARE(found[0], (ReportView::Pos{24, 0}));
    QCOMPARE(found[1], (ReportView::Pos{124, 0}));
    QCOMPARE(found[2], (ReportView::Pos{224, 0}));
    QCOMPARE(found[3], found[0]);                                // once around
    QTest::keyClick(v->txtFind, Qt::Key_F3, Qt::ShiftModifier);  // backwards, around again
    QCOMPARE(v->rtbreport->Anchor(), found[2]);
    QTest::keyClick(v->txtFind, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(v->rtbreport->Anchor(), found[1]);
    QVERIFY(v->rtbreport->viewport()->rect().contains(v->rtbreport->CursorRect()));
    v->txtFind->setText("ITEM 99.");  // without letter case
    QVERIFY(v->FindNext());
    QCOMPARE(v->rtbreport->SelectedText(), QString("item 99."));
    v->txtFind->setText("no such text");
    QVERIFY(!v->FindNext());
    QCOMPARE(v->lblFindStatus->text(), QString("Not found"));
    QTest::keyClick(v->txtFind, Qt::Key_Escape);  // Esc closes the find bar first
    QVERIFY(!v->fraFind->isVisible());
    QVERIFY(v->isVisible());
    // Ctrl+Q in the viewer ends the program, as in the main window.
    QTest::keyClick(v->rtbreport, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!v->isVisible());
    QVERIFY(!w_->isVisible());
  }

  // --- Printing, saving and PDF ---

  void viewerPrintsSavesAndMakesPdf() {
    Start();
    Open(WriteResidue());
    w_->chkMOE1->setChecked(true);
    w_->chkMOE2->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdScreen));
    w_->mnuStart->trigger();
    FrmReport2* v = w_->frmReport2;
    QVERIFY(v && v->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(v));
    std::string report = ReadFileBytes(inst_->dir.path() / "ormdtemp.txt");
    // A later run replaces the temporary report; the viewer keeps what it shows.
    WriteFileBytes(inst_->dir.path() / "ormdtemp.txt", "another report\r\n");
    auto& p = inst_->platform;
    std::string base = (inst_->dir.path() / "week1").string();
    p.saveAnswers = {base};
    QTest::keyClick(v, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!p.saveRequests.empty());
    QCOMPARE(p.saveRequests.back().filter, std::string("Ormid Analysis reports (*.OR10)|*.OR10"));
    QCOMPARE(LastMessage().rfind("Action completed: Report saved as file " + base + ".OR10", 0),
             std::size_t{0});
    QCOMPARE(ReadFileBytes(base + ".OR10"), report);
    QCOMPARE(inst_->m.gSaveFileName, base + ".OR10");

    runner_->pdf = QString::fromStdString((inst_->dir.path() / "printed.pdf").string());
    QTest::keyClick(v, Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(LastMessage(), std::string("Action completed: Report sent to Printer"));
    QVERIFY(QFile::exists(runner_->pdf));

    p.saveAnswers = {base};
    v->cmdPdf->click();
    QCOMPARE(p.saveRequests.back().fileName, std::string("week1.pdf"));
    QCOMPARE(LastMessage(), "Action completed: Report saved as PDF file " + base + ".pdf");
    QVERIFY(ReadFileBytes(base + ".pdf").rfind("%PDF", 0) == 0);
    // An existing PDF: No asks again, Cancel gives up and leaves it.
    std::string before = ReadFileBytes(base + ".pdf");
    p.saveAnswers = {base + ".pdf", base + ".pdf"};
    p.answers = {MsgAnswer::No, MsgAnswer::Cancel};
    v->cmdPdf->click();
    QCOMPARE(p.saveRequests.back().fileName, base + ".pdf");
    QCOMPARE(Messages()[Messages().size() - 2].title, std::string("Warning!"));
    QCOMPARE(ReadFileBytes(base + ".pdf"), before);
  }

  void pagesHaveMarginsAndTheReportFits() {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
      QSKIP("pdftotext (poppler-utils) is not installed");
    Start();
    Open(WriteResidue());
    w_->chkMOE1->setChecked(true);
    w_->chkMOE2->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuStart->trigger();
    // The listing button sets the endpoint code the listing prints.
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->cmdPrintResFl->click();
    std::string listing = ListResidueFile(inst_->m, w_->Settings(), inst_->platform.now);
    std::string longTerm = ReadFileBytes(inst_->dir.path() / "ormdtemp.txt");
    std::string wide = longTerm + std::string(150, 'W') + "\r\n";
    struct Case {
      const char* name;
      const std::string& text;
      RunKind kind;
      int columns;
      QLocale locale;
      double pageWidth, pageHeight;  // points
    } cases[] = {
        {"longterm-a4", longTerm, RunKind::LongTerm, 80, QLocale::c(), 595.3, 841.9},
        {"listing-a4", listing, RunKind::Listing, 103, QLocale::c(), 595.3, 841.9},
        {"listing-letter", listing, RunKind::Listing, 103,
         QLocale(QLocale::English, QLocale::UnitedStates), 612, 792},
        {"wide-line", wide, RunKind::LongTerm, 150, QLocale::c(), 595.3, 841.9},
    };
    const QLocale original;
    for (const Case& c : cases) {
      QLocale::setDefault(c.locale);
      std::string pdf, error;
      bool made = ReportPdf(c.text, c.kind, pdf, error) == PrintOutcome::Printed;
      QLocale::setDefault(original);
      QVERIFY2(made, error.c_str());
      QString path = QString::fromStdString((inst_->dir.path() / c.name).string() + ".pdf");
      WriteFileBytes(path.toStdString(), pdf);
      PdfLayout layout = ReadPdfLayout(path);
      QVERIFY2(layout.words > 0, c.name);
      QVERIFY2(
          qAbs(layout.pageWidth - c.pageWidth) < 1 && qAbs(layout.pageHeight - c.pageHeight) < 1,
          c.name);
      // 15 mm = 42.5 pt on every side.
      const double margin = 42.5 - 0.5;
      QVERIFY2(layout.minX >= margin, c.name);
      QVERIFY2(layout.minY >= margin, c.name);
      QVERIFY2(layout.maxX <= layout.pageWidth - margin, c.name);
      QVERIFY2(layout.maxY <= layout.pageHeight - margin, c.name);
      // The report's columns fit across the page between the margins, at
      // 8 point (4.8 pt a character) or below.
      QVERIFY2(layout.advance > 0 && layout.advance <= 4.8 + 0.1, c.name);
      QVERIFY2(layout.advance * c.columns <= layout.pageWidth - 2 * 42.5 + 0.5, c.name);
    }
  }

  void printingNotesAndCancel() {
    Start();
    Open(WriteResidue());
    w_->chkMOE2->setChecked(true);
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuStart->trigger();
    // The printer note stays up until the printed message has been shown.
    std::vector<bool> noteShown;
    inst_->platform.onMessage = [&](const RecordedMessage&) {
      noteShown.push_back(!w_->lblPrinterMsg->isHidden());
    };
    runner_->pdf = QString::fromStdString((inst_->dir.path() / "p.pdf").string());
    runner_->scripts.push_back(Press(&FrmSPD::cmdPrinter));
    // The note waits until the print dialog has been answered.
    std::vector<bool> noteAtDialog;
    runner_->atPrintDialog = [&] { noteAtDialog.push_back(!w_->lblPrinterMsg->isHidden()); };
    w_->cmdPrintOrmidAnalysis->click();
    QCOMPARE(LastMessage(), std::string("Action completed: Report sent to Printer"));
    QCOMPARE(noteShown, std::vector<bool>{true});
    QCOMPARE(noteAtDialog, std::vector<bool>{false});
    // A print that went to a PDF file says where the file is.
    QVERIFY2(w_->statusBar()->currentMessage().contains(QDir::toNativeSeparators(runner_->pdf)),
             qPrintable(w_->statusBar()->currentMessage()));
    QVERIFY(w_->lblPrinterMsg->isHidden());
#ifndef _WIN32
    QVERIFY(!w_->lblPrinterMsg->text().contains("parameter is incorrect"));
#endif
    // Cancelling the print dialog is no failure: no box at all.
    Messages().clear();
    runner_->pdf.clear();
    runner_->scripts.push_back(Press(&FrmSPD::cmdPrinter));
    w_->cmdPrintOrmidAnalysis->click();
    QVERIFY2(Messages().empty(), LastMessage().c_str());
    QVERIFY(w_->lblPrinterMsg->isHidden());
  }

  // Long work shows its progress at once here and is cancelled from its
  // progress dialog's button: a commodity run leaves the last report as it
  // was, a PDF is not written, and neither says anything in a box.
  void longWorkIsCancelledFromItsProgress() {
    const std::string before = CommodityReportOfTwoSubgroups();
    const fs::path report = inst_->dir.path() / "tempcomm.txt";
    QVERIFY(!before.empty());

    w_->SetProgressDelay(0);
    int cancelled = 0;
    QTimer pressCancel;
    connect(&pressCancel, &QTimer::timeout, [&] {
      for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* progress = qobject_cast<QProgressDialog*>(top);
            progress && progress->isVisible() && !progress->wasCanceled()) {
          progress->findChild<QPushButton*>()->click();
          ++cancelled;
        }
    });
    pressCancel.start(0);
    // A comment that would change the report, had the run gone on.
    w_->txtComment->setPlainText("cancelled run");
    Messages().clear();
    w_->mnuCommodity->trigger();
    QCOMPARE(cancelled, 1);
    QCOMPARE(runner_->shown, 1);  // no destination dialog after a cancelled run
    QVERIFY2(Messages().empty(), LastMessage().c_str());
    QCOMPARE(ReadFileBytes(report), before);
    QVERIFY(w_->statusBar()->currentMessage().contains("cancelled"));
    // The run without Cancel writes the changed report.
    pressCancel.stop();
    runner_->scripts.push_back(Press(&FrmSPD::cmdScreen));
    w_->mnuCommodity->trigger();
    QVERIFY(ReadFileBytes(report) != before);

    // Save as PDF of that report, from its viewer.
    FrmReport2* v = w_->frmReport2;
    QVERIFY(v && v->isVisible());
    QVERIFY(std::count(before.begin(), before.end(), '\f') >= 3);
    const std::string pdf = (inst_->dir.path() / "cancelled.pdf").string();
    inst_->platform.saveAnswers = {pdf};
    cancelled = 0;
    pressCancel.start(0);
    v->cmdPdf->click();
    pressCancel.stop();
    QCOMPARE(cancelled, 1);
    QVERIFY(!fs::exists(pdf));
    QVERIFY2(Messages().empty(), LastMessage().c_str());
    // Not cancelled, the same PDF is written.
    inst_->platform.saveAnswers = {pdf};
    v->cmdPdf->click();
    QVERIFY(ReadFileBytes(pdf).rfind("%PDF", 0) == 0);
  }

  // Batch Run's output folder may be a name typed for a folder that is not
  // there yet: it is made (with the folders above it), and the batch window
  // takes it. A name that is a file is refused in the dialog.
  void batchOutputFolderMayBeNew() {
    Start();
    const std::string a = WriteResidue("a.R98"), b = WriteResidue("b.R98");
    const fs::path made = inst_->dir.path() / "out" / "week 1";
    const fs::path file = inst_->dir.path() / "a-file";
    WriteFileBytes(file.string(), "x");
    auto chooseFiles = [&](QDialog& d) {
      auto& files = static_cast<QFileDialog&>(d);
      QCOMPARE(files.fileMode(), QFileDialog::ExistingFiles);
      files.setDirectory(QString::fromStdString((inst_->dir.path() / "residues").string()));
      auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
      QVERIFY(edit);
      edit->setText("\"a.R98\" \"b.R98\"");
      d.accept();
      QCOMPARE(d.result(), int(QDialog::Accepted));
    };
    auto typeFolder = [](const fs::path& name, bool accepted) {
      return [name, accepted](QDialog& d) {
        auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(edit);
        edit->setText(QString::fromStdString(name.string()));
        QTimer::singleShot(0, [] {
          // The refusal's message box, when there is one.
          if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
        });
        d.accept();
        QCOMPARE(d.result() == QDialog::Accepted, accepted);
      };
    };
    runner_->scripts = {chooseFiles, typeFolder(file, false)};
    w_->mnuBatchRun->trigger();
    QVERIFY(!w_->findChild<FrmBatch*>());
    runner_->scripts = {chooseFiles, typeFolder(made, true)};
    w_->mnuBatchRun->trigger();
    QVERIFY(fs::is_directory(made));
    auto* batch = w_->findChild<FrmBatch*>();
    QVERIFY(batch);
    QCOMPARE(batch->OutputFolder(), made.string());
    QCOMPARE(batch->Files(), (std::vector<std::string>{a, b}));
    batch->close();
  }

  void busyNoteOnlyWhileComputing() {
    Start();
    Open(WriteResidue());
    QStringList notes;
    connect(w_->statusBar(), &QStatusBar::messageChanged, [&](const QString& m) { notes << m; });
    std::vector<QString> atMessages;
    inst_->platform.onMessage = [&](const RecordedMessage&) {
      atMessages.push_back(w_->statusBar()->currentMessage());
    };
    w_->mnuStart->trigger();  // refused: no endpoint
    QCOMPARE(Messages().size(), std::size_t{1});
    QVERIFY(notes.isEmpty());
    w_->chkMOE2->setChecked(true);
    QString atDialog = "not shown";
    runner_->scripts.push_back([&](QDialog& d) {
      atDialog = w_->statusBar()->currentMessage();
      static_cast<FrmSPD&>(d).cmdCancel->click();
    });
    w_->mnuStart->trigger();
    QCOMPARE(notes.value(0), QString("Running the Ormid analysis..."));
    QCOMPARE(atDialog, QString());
    // With a report file: the closing message comes after the note is gone.
    w_->chkSaveRpt->setChecked(true);
    w_->txtRptFile->setText("week2");
    w_->mnuStart->trigger();
    QVERIFY(Messages().back().title == "Ormid Analysis");
    for (const QString& shown : atMessages) QCOMPARE(shown, QString());
    QCOMPARE(w_->statusBar()->currentMessage(), QString());
    QVERIFY(!QApplication::overrideCursor());
  }

  // --- Opening, comments, saving ---

  // The file dialogs start in a folder that is here: a Windows folder the
  // setup file names gives way to the working folder's residue folder (or
  // the working folder), and a name in it keeps only its file name.
  void dialogsStartInAFolderThatIsHere() {
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    const QString here = QDir::currentPath();
    FileDialogRequest r;
    r.initialDir = "C:\\KAVRI\\RES\\";
    QCOMPARE(StartPath(r), here);
    fs::create_directory(dir.path() / "residues");
    QCOMPARE(StartPath(r), here + "/residues");
    r.fileName = "C:\\KAVRI\\RES\\DEMOFOS.R98";
    QCOMPARE(StartPath(r), here + "/residues/DEMOFOS.R98");
    r.fileName = "/no/such/folder/CYCLOFOS.R98";
    QCOMPARE(StartPath(r), here + "/residues/CYCLOFOS.R98");
    // Folders and files that are here stay as they are.
    r.initialDir = (dir.path() / "residues").string() + "/";
    r.fileName = "X.R98";
    QCOMPARE(StartPath(r), here + "/residues/X.R98");
    r.fileName = (dir.path() / "Y.R98").string();
    QCOMPARE(StartPath(r), here + "/Y.R98");
  }

  // A large report's first page is painted from its opening lines, before
  // the whole report is read; the viewer holds the whole report once the
  // user can act on it.
  void aLargeReportsFirstPageComesFirst() {
    Start();
    std::string report;
    for (int i = 0; report.size() < (std::size_t{6} << 20); ++i)
      report += "line " + std::to_string(i) + std::string(60, '.') + "\r\n";
    WriteFileBytes(inst_->dir.path() / "ormdtemp.txt", report);
    // The size of the text the viewer holds at its first paint.
    struct FirstPaint : QObject {
      std::size_t shown = 0;
      bool seen = false;
      bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen)
          if (auto* view = qobject_cast<ReportView*>(watched->parent())) {
            seen = true;
            shown = view->Text().size();
          }
        return false;
      }
    } watch;
    qApp->installEventFilter(&watch);
    w_->cmdPrintOrmidAnalysis->click();
    qApp->removeEventFilter(&watch);
    FrmReport2* v = w_->frmReport2;
    QVERIFY(v && v->isVisible());
    QVERIFY(watch.seen);
    QVERIFY2(watch.shown > 0 && watch.shown < report.size(),
             qPrintable(QString::number(watch.shown)));
    QCOMPARE(report.substr(watch.shown - 2, 2), std::string("\r\n"));  // whole lines
    QCOMPARE(v->ShownText().size(), report.size());
    QVERIFY(v->ShownText() == report);
  }

  // Find's highlight lies on the found text: from the first dark pixel of
  // its first letter to past the last of its last letter, at a font size
  // whose characters are a fraction of a pixel wider than a whole number.
  void findHighlightsExactlyTheFoundText() {
    FrmReport2 viewer;
    ReportView& view = *viewer.rtbreport;
    QFont font = view.font();
    int size = 0;
    for (int px = 9; px <= 16 && !size; ++px) {
      font.setPixelSize(px);
      const qreal advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('M'));
      const qreal fraction = advance - std::floor(advance);
      if (fraction > 0.2 && fraction < 0.8) size = px;
    }
    if (!size) QSKIP("no font size here draws characters a fraction of a pixel wide");
    font.setPixelSize(size);
    view.setFont(font);
    TempDir dir;
    const fs::path report = dir.path() / "report.txt";
    // The word after 13 blanks and before 20: its letters are the line's
    // only ink.
    std::ofstream(report, std::ios::binary)
        << "first line\r\n"
        << std::string(13, ' ') << "Stone" << std::string(20, ' ') << "\r\n";
    QVERIFY(viewer.LoadFile(report.string(), RunKind::Commodity));
    viewer.resize(900, 300);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    const int top = QFontMetrics(font).lineSpacing();  // the second line's band
    auto inkColumns = [&](const QImage& image, const QColor& ink) {
      int first = -1, last = -1;
      for (int x = 0; x < image.width(); ++x)
        for (int y = top + 1; y < top + QFontMetrics(font).lineSpacing() - 1; ++y)
          if (image.pixelColor(x, y) == ink) {
            if (first < 0) first = x;
            last = x;
            break;
          }
      return std::pair(first, last);
    };
    view.MoveCursor({});
    QImage plain = view.viewport()->grab().toImage();
    // Ink: any pixel darker than the page.
    int inkLeft = -1, inkRight = -1;
    for (int x = 0; x < plain.width(); ++x)
      for (int y = top + 1; y < top + QFontMetrics(font).lineSpacing() - 1; ++y)
        if (qGray(plain.pixel(x, y)) < 160) {
          if (inkLeft < 0) inkLeft = x;
          inkRight = x;
          break;
        }
    QVERIFY(inkLeft > 0);
    viewer.txtFind->setText("stone");
    QVERIFY(viewer.FindNext());
    view.clearFocus();  // no cursor drawn over the highlight
    const QImage found = view.viewport()->grab().toImage();
    const auto [left, right] = inkColumns(found, view.palette().color(QPalette::Highlight));
    QVERIFY(left >= 0);
    const qreal cw = QFontMetricsF(font).horizontalAdvance(QLatin1Char('M'));
    QVERIFY2(left <= inkLeft && left > inkLeft - cw,
             qPrintable(QString("highlight from %1, the S from %2").arg(left).arg(inkLeft)));
    QVERIFY2(right >= inkRight && right < inkRight + cw,
             qPrintable(QString("highlight to %1, the e to %2").arg(right).arg(inkRight)));
  }

  // A file dialog gives the current folder back, whatever it did to it (a
  // native dialog may leave the folder it was in current): the temporary
  // reports and the run history stay in the working folder.
  void fileDialogsGiveTheFolderBack() {
    TempDir dir, elsewhere;
    ScopedCurrentDir cwd(dir.path());
    const QString here = QDir::currentPath();
    QtPlatform platform;
    FileDialogRequest r;
    r.initialDir = dir.str();
    const QString chosen = QString::fromStdString((dir.path() / "chosen.txt").string());
    std::ofstream(chosen.toStdString()) << "chosen";  // the open dialog takes existing files only
    auto answerAway = [&] {
      QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QDir::setCurrent(QString::fromStdString(elsewhere.str()));
        dialog->selectFile(chosen);
        static_cast<QDialog*>(dialog)->accept();
      });
    };
    answerAway();
    QCOMPARE(QString::fromStdString(platform.OpenFileDialog(r).value_or("")), chosen);
    QCOMPARE(QDir::currentPath(), here);
    answerAway();
    QCOMPARE(QString::fromStdString(platform.SaveFileDialog(r).value_or("")), chosen);
    QCOMPARE(QDir::currentPath(), here);
    r.filter = "CSV|*.csv|Text|*.txt";
    answerAway();
    const auto typed = platform.SaveFileDialogWithType(r);
    QVERIFY(typed);
    QCOMPARE(QDir::currentPath(), here);
  }

  // Dialogs belong to the window in use (the viewer, a Results window), so
  // that answering one never raises the main window over it; to the main
  // window when it is the one in use.
  void dialogsBelongToTheWindowInUse() {
    QtPlatform platform;
    QWidget main, viewer;
    platform.SetParentWindow(&main);
    main.show();
    viewer.show();
    viewer.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&viewer));
    QWidget* owner = nullptr;
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        owner = box->parentWidget();
        box->reject();
      }
    });
    platform.MessageBox("Report saved", "Save", MsgIcon::Information, MsgButtons::OK);
    QCOMPARE(owner, &viewer);
    // A progress dialog goes away by itself: its window owns the question.
    QProgressDialog progress("Running...", "Cancel", 0, 3, &viewer);
    progress.show();
    progress.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&progress));
    QCOMPARE(platform.DialogOwner(), &viewer);
    progress.close();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QCOMPARE(platform.DialogOwner(), &main);
  }

  void pathErrorLoop() {
    Start();
    std::string good = WriteResidue();
    std::string typo = (inst_->dir.path() / "residues" / "gu1.R98").string();
    auto& p = inst_->platform;
    p.openAnswers = {typo, good};
    p.answers = {MsgAnswer::OK};
    w_->mnuOpenRes->trigger();
    QCOMPARE(Messages().front().title, std::string("Path Error"));
    QCOMPARE(Messages().front().buttons, MsgButtons::OKCancel);
    QCOMPARE(p.openRequests.size(), std::size_t{2});
    QCOMPARE(p.openRequests[1].fileName, typo);  // the dialog again, with the name not found
    QCOMPARE(inst_->m.gResidueLoaded, Int16{1});
    // The program's dialog hands back a typed name that does not exist.
    FileDialogRequest request;
    request.initialDir = (inst_->dir.path() / "residues").string() + "/";
    request.filter = "Residue files (*.R98)|*.R98;*.r98";
    auto dialog = NewOpenFileDialog(nullptr, request);
    QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->selectFile("gu1.R98");
    static_cast<QDialog*>(dialog.get())->accept();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).fileName(), QString("gu1.R98"));
  }

  void multiLineCommentMatchesCommandLine() {
    Start();
    std::string path = WriteResidue();
    Open(path);
    w_->chkMOE2->setChecked(true);
    w_->txtComment->setPlainText("First line of the comment\nsecond line");
    runner_->scripts.push_back(Press(&FrmSPD::cmdCancel));
    w_->mnuStart->trigger();
    std::string report = ReadFileBytes(inst_->dir.path() / "ormdtemp.txt");
    QVERIFY(report.find("First line of the comment\r\nsecond line") != std::string::npos);
    QCOMPARE(CommandLineReport({"longterm", path, "--rfd", "--comment",
                                "First line of the comment\r\nsecond line"},
                               "ormdtemp.txt"),
             report);
  }

  void overwriteQuestionsDefaultToNo() {
    struct Case {
      MsgIcon icon;
      MsgButtons buttons;
      QMessageBox::StandardButton defaultButton;
    } cases[] = {
        {MsgIcon::None, MsgButtons::YesNoCancel, QMessageBox::No},         // a run's report file
        {MsgIcon::Question, MsgButtons::YesNoCancel, QMessageBox::No},     // a saved copy
        {MsgIcon::Question, MsgButtons::YesNoDefaultNo, QMessageBox::No},  // a batch's folder
        // "Are you sure you want to clear this form?" keeps the platform's
        // default, the first button.
        {MsgIcon::Question, MsgButtons::YesNo, QMessageBox::Yes},
    };
    for (const Case& c : cases) {
      auto box = NewMessageBox(nullptr, "File x already exists. Write over?", "Warning!", c.icon,
                               c.buttons);
      // Without a default of its own the box's first accepting button is
      // pressed by Enter.
      QAbstractButton* pressed = box->defaultButton();
      if (!pressed) pressed = box->button(QMessageBox::Yes);
      QVERIFY(pressed);
      QCOMPARE(box->standardButton(pressed), c.defaultButton);
    }
    // A short message is as wide as its title needs on the title bar.
    for (const char* title : {"Action completed", "KAVRI-FCID Ormid Module -- Help"}) {
      auto box = NewMessageBox(nullptr, "Saved.", title, MsgIcon::Information, MsgButtons::OK);
      QVERIFY2(box->sizeHint().width() >= box->fontMetrics().horizontalAdvance(title) + 100, title);
    }
  }
};

}  // namespace ormid::test

QTEST_MAIN(ormid::test::FrmOrmidTest)
#include "frm_ormid_test.moc"
