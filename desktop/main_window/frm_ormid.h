// frmOrmid: the main window. It carries the residue file information, the
// analysis parameters, the commodity options with the subgroup check boxes,
// the Show Last buttons and the menus, and it is the window that runs and
// delivers every report.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/run_host.h"
#include "delivery/report_delivery.h"
#include "desktop/main_window/platform_relay.h"
#include "exposure/exposure_terms.h"
#include "results/run_figures.h"
#include "setup/run_request.h"

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;

namespace ormid {

struct ModOrmid;
class Platform;
class ModalRunner;
class FrmReport2;
class FrmSPD;
class FrmResults;
class FrmCommodityResults;
class FrmCumulativeResults;
class FrmAggregateResults;
class ResultsFrame;
class FrmHistory;
class RunSession;
struct FinishedRun;
struct RecordedRun;

class FrmOrmid : public QMainWindow, public RunHost, public DeliveryUi {
  Q_OBJECT

 public:
  // Start-up has succeeded before the window is built.
  FrmOrmid(ModOrmid& m, Platform& p, ModalRunner& runner, QWidget* parent = nullptr);
  ~FrmOrmid() override;

  // --- Controls ---
  QMenu* mnuFile = nullptr;
  QAction* mnuOpenRes = nullptr;
  QAction* mnuClose = nullptr;
  QAction* mnuExportResults = nullptr;
  QAction* mnuBatchRun = nullptr;
  // File > Cumulative Assessment...: an assessment group file's cumulative
  // long-term run, its report shown in the viewer.
  QAction* mnuCumulative = nullptr;
  // File > Aggregate Assessment...: the open residue file's aggregate
  // assessment with a toxicology and a residential file.
  QAction* mnuAggregate = nullptr;
  QAction* mnuImportResidueTable = nullptr;
  QAction* mnuExportResidueTable = nullptr;
  QAction* mnuBuildResidue = nullptr;
  QAction* mnuExit = nullptr;
  QMenu* mnuAnalysis = nullptr;
  QAction* mnuStart = nullptr;
  QAction* mnuCommodity = nullptr;
  QMenu* mnuView = nullptr;
  QAction* mnuRunHistory = nullptr;
  // Shows the Results window of the last run again after it was closed;
  // enabled once a run has shown one.
  QAction* mnuLastResults = nullptr;
  QAction* mnuRecordHistory = nullptr;  // checked: finished runs go into the run history
  // Every window back where it opens the first time, the kept layout
  // forgotten.
  QAction* mnuResetLayout = nullptr;
  FrmHistory* frmHistory = nullptr;
  QMenu* mnuHlp = nullptr;
  QAction* mnuHelp = nullptr;
  QAction* mnuGuide = nullptr;  // the guide window (F1)
  QAction* mnuAbout = nullptr;

  QGroupBox* fraResFile = nullptr;
  QLabel *lblResfl1 = nullptr, *lblResfl2 = nullptr;
  QLabel *lblDate1 = nullptr, *lblDate2 = nullptr;
  QLabel *lblChemName = nullptr, *lblChemName2 = nullptr;
  QLabel *lblWorkingFile = nullptr, *lblDefault = nullptr;

  QGroupBox* frmParam = nullptr;
  QLabel *lblTox0 = nullptr, *Label1 = nullptr, *Label2 = nullptr;
  QCheckBox *chkMOE1 = nullptr, *chkMOE2 = nullptr, *chkMOE3 = nullptr, *chkMOE4 = nullptr;
  QLabel *lblTox1 = nullptr, *lblTox2 = nullptr, *lblTox3 = nullptr, *lblTox4 = nullptr;
  QLineEdit *txtMOE1 = nullptr, *txtMOE2 = nullptr, *txtMOE3 = nullptr;
  QPushButton* cmdPAD = nullptr;
  QLabel *lblUnits = nullptr, *lblUnits2 = nullptr;
  QCheckBox* chkSecondAdj = nullptr;
  QCheckBox* chkSaveRpt = nullptr;
  QLabel* lblRptFile = nullptr;
  QLineEdit* txtRptFile = nullptr;
  QLabel* lblComment = nullptr;
  QPlainTextEdit* txtComment = nullptr;

  QGroupBox* Frame1 = nullptr;
  QCheckBox *chkComplete = nullptr, *chkCritical = nullptr;
  QLabel *lblCrit1 = nullptr, *lblCrit2 = nullptr, *lblCrit3 = nullptr;
  QLineEdit *txtCrit1 = nullptr, *txtCrit2 = nullptr;
  QFrame *lineCrit1 = nullptr, *lineCrit2 = nullptr, *lineCrit3 = nullptr;

  QGroupBox* frmSubPop = nullptr;
  std::vector<QCheckBox*> chkStandard;
  QPushButton* cmdSubgroupsAll = nullptr;   // ticks every subgroup
  QPushButton* cmdSubgroupsNone = nullptr;  // unticks every subgroup

  QPushButton* cmdPrintResFl = nullptr;
  QPushButton* cmdPrintOrmidAnalysis = nullptr;
  QPushButton* cmdCommodity = nullptr;
  QPushButton* cmdClear = nullptr;
  QLabel* lblStart = nullptr;
  QLabel* lblPrinterMsg = nullptr;

  // The viewer, created on first use: a window of its own, owned here.
  // The viewer shown last (or whose button was pressed); each report kind
  // (the long-term and commodity reports, the residue listing, the
  // cumulative report) has a viewer of its own, so that showing one does
  // not replace another on the screen.
  FrmReport2* frmReport2 = nullptr;
  std::map<std::string, FrmReport2*> viewers;
  // The Results windows of the last long-term, commodity and cumulative
  // runs, likewise.
  FrmResults* frmResults = nullptr;
  FrmCommodityResults* frmCommodityResults = nullptr;
  FrmCumulativeResults* frmCumulativeResults = nullptr;
  FrmAggregateResults* frmAggregateResults = nullptr;
  // A past run's Results windows, opened from the Run History's Run window.
  FrmResults* frmPastResults = nullptr;
  FrmCumulativeResults* frmPastCumulative = nullptr;

  // --- Handlers ---
  void mnuOpenRes_Click();
  void mnuClose_Click();
  void mnuExportResults_Click();
  void mnuImportResidueTable_Click();
  void mnuExportResidueTable_Click();
  void mnuBuildResidue_Click();
  void mnuBatchRun_Click();
  void mnuCumulative_Click();
  void mnuAggregate_Click();
  void mnuExit_Click();
  void mnuResetLayout_Click();
  // Keeps the windows' places and sizes for the next session.
  void SaveLayout();
  void mnuStart_Click();
  void mnuCommodity_Click();
  void mnuHelp_Click();
  void cmdPAD_Click();
  void cmdPrintOrmidAnalysis_Click();
  void cmdCommodity_Click();
  void cmdPrintResFl_Click();
  void cmdClear_Click();
  void chkMOE1_Click(bool checked);
  void chkMOE2_Click(bool checked);
  void chkMOE3_Click(bool checked);
  void chkMOE4_Click(bool checked);
  void chkComplete_Click(bool checked);
  void chkCritical_Click(bool checked);
  void chkSaveRpt_Click(bool checked);
  void txtMOE1_LostFocus();
  void txtMOE2_LostFocus();
  void txtMOE3_LostFocus();
  void txtRptFile_LostFocus();

  void ShowOrmidReport();
  void showCCCreport();

  // The window's current settings as a run request reads them.
  WindowSettings Settings() const;

  // Gives the keyboard to a control a run or a check named.
  void SetFocus(Control control);

  // How long a run, a print or a PDF goes before its progress dialog shows.
  void SetProgressDelay(int ms) { progressDelayMs_ = ms; }

  // --- RunHost ---
  void Progress(int done, int total) override;
  bool StopRequested() override;
  void Computing() override;
  // The run under way keeps the terms of its totals for what-if and
  // headroom.
  ExposureTerms* Terms() override { return &runTerms_; }

  // --- DeliveryUi ---
  void ChooseDestination(const std::string& caption) override;
  void ShowViewer(const std::string& caption, const std::string& file, RunKind kind) override;
  PrintOutcome PrintFile(const std::string& text, std::string& error) override;
  void SetPrinterNote(bool visible) override;
  // A saved report of a run made here gets that run's manifest beside it.
  void ReportSaved(RunKind kind, const std::string& path) override;

  // The viewer's buttons: the report it shows to the printer, to a file
  // (as the destination dialog's Disk File), or to a PDF file.
  void ViewerPrint();
  void ViewerSave();
  void ViewerSavePdf();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void SetTabOrder();
  void EndBusyNote();
  void Form_Load();
  void ShowResidueFile();
  // Opens a residue file through p's open dialog and shows it.
  void OpenResidue(Platform& p);
  // Shows lines in the problems window.
  void ShowProblems(const std::string& title, const std::string& heading,
                    const std::vector<std::string>& lines);
  void RunRequest(RunKind kind);
  void mnuRunHistory_Click();
  // Runs a box check unless another check is already putting the focus back.
  void CheckBox(QLineEdit* box, bool ok);
  // Finishes the run the session has made: it becomes the last finished run
  // of its kind.
  void FinishRun(RunSession& session);
  // Opens the Results window of a long-term or commodity run that has just
  // finished, with its own figures.
  void ShowResults(const FinishedRun& run);
  // Opens the Results window of a cumulative run that has just finished,
  // with its own figures.
  void ShowCumulativeResults(const FinishedRun& run);
  // Opens the Results window of an aggregate run that has just finished.
  void ShowAggregateResults(const FinishedRun& run);
  // Opens the Results window of a run read back from the run history.
  void ShowRecordedResults(const RecordedRun& recorded);
  // Shows a Results window just filled; View > Last Run's Results brings it
  // back.
  void OpenResultsWindow(ResultsFrame* window);
  // Lets the window system paint between the steps after a run.
  void TakeEvents();
  std::vector<ResultsFrame*> ResultsWindows() const;

  ModOrmid& m_;
  Platform& p_;
  ModalRunner& runner_;
  // The platform the analyses run through: it ends the busy note before
  // any question of the run.
  PlatformRelay relay_;
  std::string mReportSource;
  FrmSPD* frmSPD_ = nullptr;
  std::unique_ptr<QProgressDialog> progress_;
  // How long a run goes before its progress dialog shows; tests show it at once.
  int progressDelayMs_ = 500;
  bool stopRequested_ = false;
  bool checking_ = false;
  std::optional<RunKind> running_;  // the kind of the run request under way
  bool busy_ = false;
  bool printingShown_ = false;
  bool exiting_ = false;
  // The session of the run under way, and the last finished run of each
  // kind since the program started (lastRun_: the latest of them).
  RunSession* session_ = nullptr;
  QWidget* lastResults_ = nullptr;  // the Results window the last run showed
  std::map<RunKind, std::shared_ptr<const FinishedRun>> lastOfKind_;
  std::shared_ptr<const FinishedRun> lastRun_;
  int exportType_ = 1;  // the type Export Results offers first
  // The terms of the run under way, which its Results window keeps.
  ExposureTerms runTerms_;
};

}  // namespace ormid
