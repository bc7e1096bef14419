// The main window's runs: the run request through the run session, the
// report or closing message after, the Results window, the run history, a
// batch, and the settings a run reads from the window.
#include "desktop/main_window/frm_ormid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QStatusBar>
#include <filesystem>
#include <functional>

#include "core/mod_ormid.h"
#include "core/paths.h"
#include "cumulative/cumulative_figures.h"
#include "delivery/export_dialog.h"
#include "desktop/batch/frm_batch.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/frm_spd.h"
#include "desktop/delivery/qt_printer.h"
#include "desktop/delivery/work_progress.h"
#include "desktop/history/frm_history.h"
#include "desktop/main_window/folder_dialog.h"
#include "desktop/main_window/frm_aggregate.h"
#include "desktop/main_window/frm_pad.h"
#include "desktop/main_window/frm_problems.h"
#include "desktop/main_window/modal_runner.h"
#include "desktop/main_window/qt_platform.h"
#include "desktop/main_window/window_layout.h"
#include "desktop/results/frm_aggregate_results.h"
#include "desktop/results/frm_cumulative_results.h"
#include "desktop/results/frm_results.h"
#include "desktop/results/results_widgets.h"
#include "history/recorded_run.h"
#include "history/run_history.h"
#include "manifest/run_manifest.h"
#include "report/number_format.h"
#include "residue/residue_listing.h"
#include "residue/residue_reader.h"
#include "residue_table/residue_table.h"
#include "residue_table/residue_table_command.h"
#include "session/finished_run.h"
#include "session/kind_figures.h"
#include "session/run_session.h"
#include "setup/run_request.h"
#include "setup/startup.h"
#include "setup/window_checks.h"

namespace ormid {

namespace {

// The run comment as the reports take it: its lines joined by CR LF, as a
// multi-line text box hands them over (and as --comment passes them on).
std::string CommentBytes(const QString& text) {
  QString lines = text;
  lines.remove('\r');
  lines.replace('\n', "\r\n");
  return ToBytes(lines);
}

// Hands the rows on to the Results window's copy, taking the window
// system's events every few tens of milliseconds: a large commodity run
// has millions of rows.
class PacedSink : public ResultsSink {
 public:
  PacedSink(ResultsSink& to, std::function<void()> takeEvents)
      : to_(to), takeEvents_(std::move(takeEvents)) {
    clock_.start();
  }
  void LongTerm(const ModOrmid& m, const LongTermResult& r) override {
    to_.LongTerm(m, r);
    Pace();
  }
  void Contribution(const ModOrmid& m, const ContributionResult& r) override {
    to_.Contribution(m, r);
    Pace();
  }
  bool TotalsOnly() const override { return to_.TotalsOnly(); }
  void Sent() override { to_.Sent(); }

 private:
  void Pace() {
    if (++rows_ % 1024 != 0 || clock_.elapsed() < 30) return;
    takeEvents_();
    clock_.restart();
  }

  ResultsSink& to_;
  std::function<void()> takeEvents_;
  QElapsedTimer clock_;
  std::size_t rows_ = 0;
};

}  // namespace

// --- Runs ---

void FrmOrmid::RunRequest(RunKind kind) {
  running_ = kind;
  ormid::RunRequest request;
  request.kind = kind;
  request.settings = Settings();
  // The Results window and File > Export Results... read the run's rows.
  request.keepFigures = true;
  if (mnuRecordHistory->isChecked()) request.history = ormid::RunRequest::History::Record;
  relay_.FreezeClock(p_.Now());
  stopRequested_ = false;
  RunSession session(m_, relay_);
  session_ = &session;
  const RunOutcome run = session.Run(request, *this);
  relay_.ThawClock();
  EndBusyNote();
  progress_.reset();
  if (stopRequested_ && run.status != RunStatus::Done)
    statusBar()->showMessage(
        tr("Commodity analysis cancelled: the last commodity report is unchanged."));
  const bool done = run.status == RunStatus::Done;
  if (run.notice && !done) ShowNotice(relay_, *run.notice);
  SetFocus(run.focus);
  if (done) {
    // A run that did not save its report shows it; a copy the destination
    // dialog's Disk File saves is the run's (ReportSaved). Its Results
    // window follows the destination dialog and opens beside the viewer.
    if (run.showReport) {
      if (kind == RunKind::LongTerm)
        cmdPrintOrmidAnalysis_Click();
      else
        cmdCommodity_Click();
    }
    // The saved report gets its manifest, as on the command line, and the
    // run goes into the run history; a refused or stopped one leaves
    // nothing there.
    // The report is on the screen by now; the window system's events are
    // taken between the steps that follow (the manifest, the Results
    // window's figures, its first layout), so that the screen stays live.
    TakeEvents();
    FinishRun(session);
    TakeEvents();
    // The closing message says where the report is saved: its manifest is
    // beside it by now.
    if (run.notice) ShowNotice(relay_, *run.notice);
    if (lastRun_) ShowResults(*lastRun_);
  }
  session_ = nullptr;
  running_.reset();
}

void FrmOrmid::TakeEvents() {
  // Paints and timers, not the user's clicks and keys: the run is not over.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void FrmOrmid::FinishRun(RunSession& session) {
  auto finished = session.Finish([this](const OutputFailure& f) {
    p_.MessageBox("The manifest " + f.path + " could not be written: " + f.reason + ".",
                  "Action not completed", MsgIcon::Exclamation, MsgButtons::OK);
  });
  if (!finished) return;
  lastOfKind_[finished->kind] = finished;
  lastRun_ = finished;
  mnuExportResults->setEnabled(true);
  if (mnuRecordHistory->isChecked() && frmHistory) frmHistory->Refresh();
}

void FrmOrmid::mnuRunHistory_Click() {
  if (!frmHistory) {
    frmHistory = new FrmHistory(relay_, kHistoryFile, this);
    frmHistory->onResults = [this](const RecordedRun& run) { ShowRecordedResults(run); };
  }
  frmHistory->Refresh();
  frmHistory->show();
  frmHistory->raise();
  frmHistory->activateWindow();
}

void FrmOrmid::ReportSaved(RunKind kind, const std::string& path) {
  std::string error;
  bool written = true;
  if (session_ && running_ == kind) {
    // The report of the run under way, saved by its own delivery.
    written = session_->AddSavedCopy(path, error);
  } else {
    // Only the very report of the last run of its kind: not one left by an
    // earlier session, nor one a stopped run has replaced since.
    auto it = lastOfKind_.find(kind);
    if (it == lastOfKind_.end() || !it->second->IsReport(path)) return;
    written = WriteSavedReportManifest(p_, *it->second, path, error);
  }
  if (!written)
    p_.MessageBox("The manifest " + ManifestPathFor(path) + " could not be written: " + error + ".",
                  "Action not completed", MsgIcon::Exclamation, MsgButtons::OK);
}

void FrmOrmid::mnuExportResults_Click() {
  if (!lastRun_) return;
  const FinishedRun& run = *lastRun_;
  auto path = ChooseExportFile(p_, m_.gResiduePath, ProposedExportName(run.manifest, exportType_),
                               exportType_);
  if (!path) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto failures = ExportFinishedRun(p_, run, *path);
  QApplication::restoreOverrideCursor();
  for (const ExportFailure& f : failures)
    p_.MessageBox("The export file " + f.path + " could not be written: " + f.reason + ".",
                  "Export Results", MsgIcon::Exclamation, MsgButtons::OK);
  const char* what = run.kind == RunKind::LongTerm    ? "Results of the Ormid analysis"
                     : run.kind == RunKind::Commodity ? "Results of the commodity analysis"
                     : run.kind == RunKind::Aggregate ? "Results of the aggregate analysis"
                                                      : "Results of the cumulative analysis";
  if (failures.empty())
    p_.MessageBox(std::string(what) + " exported to file " + *path, "Action completed",
                  MsgIcon::Information, MsgButtons::OK);
}

void FrmOrmid::ShowResults(const FinishedRun& run) {
  const auto* rows = dynamic_cast<const RowFigures*>(run.figures.get());
  if (!rows) return;
  // The window's own copy of the run's rows, with the foods of the residue
  // table the run read.
  RunFigures figures;
  PacedSink paced(figures, [this] { TakeEvents(); });
  rows->SendTo(m_, paced);
  TakeEvents();
  ResultsFrame* window = nullptr;
  if (run.kind == RunKind::LongTerm) {
    if (figures.longTerm.empty()) return;
    // Results windows belong to the main window: they stay in front of it.
    if (!frmResults) frmResults = new FrmResults(p_, this);
    frmResults->ShowLongTerm(std::move(figures.longTerm),
                             std::make_unique<LongTermRun>(LongTermRun{m_, std::move(runTerms_)}));
    runTerms_ = ExposureTerms{};
    window = frmResults;
  } else {
    if (figures.rows.empty()) return;
    if (!frmCommodityResults) frmCommodityResults = new FrmCommodityResults(p_, this);
    // The window keeps the run's state, terms and rows: what-if reads no file
    // and does not change with the next run.
    frmCommodityResults->ShowRun(
        std::make_unique<CommodityWhatIf>(m_, std::move(runTerms_), std::move(figures)),
        m_.gChemicalName);
    runTerms_ = ExposureTerms{};
    window = frmCommodityResults;
  }
  TakeEvents();
  OpenResultsWindow(window);
}

void FrmOrmid::ShowRecordedResults(const RecordedRun& recorded) {
  // A window of its own, apart from the last run's: the figures as
  // recorded and their chart, without what-if or headroom.
  const FinishedRun run = FinishedRunOf(recorded);
  const QString title = tr(" - Run %1").arg(recorded.summary.id);
  ResultsFrame* window = nullptr;
  if (const auto* rows = dynamic_cast<const RowFigures*>(run.figures.get());
      rows && run.kind == RunKind::LongTerm) {
    RunFigures figures;
    rows->SendTo(ModOrmid(), figures);
    if (figures.longTerm.empty()) return;
    Endpoint endpoint = Endpoint::RfD;
    if (const auto& s = run.manifest["settings"];
        s.is_object() && s.contains("endpoint") && s["endpoint"].is_string())
      endpoint = EndpointFromCode(s["endpoint"].get<std::string>()).value_or(Endpoint::RfD);
    if (!frmPastResults) frmPastResults = new FrmResults(p_, this);
    frmPastResults->ShowRecorded(std::move(figures.longTerm), endpoint, recorded.summary.chemical);
    frmPastResults->setWindowTitle(tr("Ormid Analysis Results") + title);
    window = frmPastResults;
  } else if (const auto* cumulative =
                 dynamic_cast<const CumulativeRunFigures*>(run.figures.get())) {
    if (!frmPastCumulative) frmPastCumulative = new FrmCumulativeResults(p_, this);
    frmPastCumulative->ShowRecorded(cumulative->run, recorded.summary.residueFile);
    frmPastCumulative->setWindowTitle(tr("Cumulative Assessment Results") + title);
    window = frmPastCumulative;
  }
  if (!window) return;
  if (!window->property("placed").toBool()) {
    PlaceResultsWindow(*window, *this,
                       frmHistory && frmHistory->isVisible() ? frmHistory : nullptr);
    window->setProperty("placed", true);
  }
  window->show();
  window->raise();
  window->activateWindow();
}

void FrmOrmid::OpenResultsWindow(ResultsFrame* window) {
  lastResults_ = window;
  mnuLastResults->setEnabled(true);
  // The first time, where the user left it in an earlier session, else
  // beside the report's viewer where it shows; after, where the user left
  // it.
  QWidget* report = frmReport2 && frmReport2->isVisible() ? frmReport2 : nullptr;
  if (!window->property("placed").toBool()) {
    QByteArray splitter;
    if (RestoreWindowLayout("results/" + window->objectName(), *window, &splitter))
      window->RestoreSplitterState(splitter);
    else
      PlaceResultsWindow(*window, *this, report);
    window->setProperty("placed", true);
  }
  // The window opens without taking the keyboard from the report just shown,
  // or else from the window that has it.
  QWidget* active = report ? report : QApplication::activeWindow();
  window->show();
  if (active && active != window) {
    active->raise();
    active->activateWindow();
  }
}

void FrmOrmid::Computing() {
  // One thread: the run blocks the window while it computes, so say so.
  if (busy_) return;
  busy_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  statusBar()->showMessage(running_ == RunKind::Commodity ? tr("Running the commodity analysis...")
                                                          : tr("Running the Ormid analysis..."));
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void FrmOrmid::EndBusyNote() {
  if (!busy_) return;
  busy_ = false;
  statusBar()->clearMessage();
  QApplication::restoreOverrideCursor();
}

void FrmOrmid::Progress(int done, int total) {
  // The dialog appears only when the run lasts longer than half a second.
  // Cancel stops the run after the subgroup it is writing; the last
  // commodity report stays as it was.
  if (!progress_)
    progress_ = NewWorkProgress(this, tr("Commodity Analysis"),
                                tr("Writing the commodity contribution reports..."), total,
                                progressDelayMs_, [this] { stopRequested_ = true; });
  progress_->setValue(done);
}

bool FrmOrmid::StopRequested() {
  return stopRequested_;
}

// File > Batch Run...: residue files chosen together, run with the
// window's current settings into a folder, in the background.
void FrmOrmid::mnuBatchRun_Click() {
  // The residue files of the installation's kind only.
  QFileDialog chooser(this, tr("Batch Run: Residue Files"), QString::fromStdString(m_.gResiduePath),
                      QtNameFilter(ResidueFileFilter(m_.gSurveyBase)));
  chooser.setFileMode(QFileDialog::ExistingFiles);
  runner_.RunModal(chooser);
  if (chooser.result() != QDialog::Accepted) return;
  const QStringList files = chooser.selectedFiles();
  if (files.isEmpty()) return;
  FolderDialog folder(this, tr("Batch Run: Output Folder"), QString::fromStdString(m_.gWorkingDir));
  runner_.RunModal(folder);
  const QString out = folder.Folder();
  if (out.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& f : files) paths.push_back(f.toStdString());
  auto* dialog = new FrmBatch(m_, Settings(), p_, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->SetFiles(paths, out.toStdString());
  // The batch's runs go into the run history as the window's do.
  dialog->SetRecordHistory(mnuRecordHistory->isChecked());
  connect(mnuRecordHistory, &QAction::toggled, dialog, &FrmBatch::SetRecordHistory);
  connect(dialog, &FrmBatch::finished, this, [this] {
    if (frmHistory) frmHistory->Refresh();
  });
  dialog->show();
}

void FrmOrmid::mnuStart_Click() {
  RunRequest(RunKind::LongTerm);
}
void FrmOrmid::mnuCommodity_Click() {
  RunRequest(RunKind::Commodity);
}
void FrmOrmid::mnuHelp_Click() {
  ShowHelpSequence(p_);
}

void FrmOrmid::cmdPAD_Click() {
  FrmPAD form(m_, p_, this);
  runner_.RunModal(form);
}

WindowSettings FrmOrmid::Settings() const {
  WindowSettings s;
  s.chkMOE1 = chkMOE1->isChecked();
  s.chkMOE2 = chkMOE2->isChecked();
  s.chkMOE3 = chkMOE3->isChecked();
  s.chkMOE4 = chkMOE4->isChecked();
  s.txtMOE1 = ToBytes(txtMOE1->text());
  s.txtMOE2 = ToBytes(txtMOE2->text());
  s.txtMOE3 = ToBytes(txtMOE3->text());
  s.chkSecondAdj = chkSecondAdj->isChecked();
  s.chkSaveRpt = chkSaveRpt->isChecked();
  s.txtRptFile = ToBytes(txtRptFile->text());
  s.txtComment = CommentBytes(txtComment->toPlainText());
  s.chkComplete = chkComplete->isChecked();
  s.chkCritical = chkCritical->isChecked();
  s.txtCrit1 = ToBytes(txtCrit1->text());
  s.txtCrit2 = ToBytes(txtCrit2->text());
  for (QCheckBox* box : chkStandard)
    s.chkStandard.push_back(box->checkState() == Qt::Unchecked ? 0
                            : box->checkState() == Qt::Checked ? 1
                                                               : 2);
  return s;
}

void FrmOrmid::mnuCumulative_Click() {
  FileDialogRequest dialog;
  dialog.title = "Cumulative Assessment: the assessment group file";
  dialog.filter = "Assessment group files (CSV)|*.csv;*.CSV";
  dialog.initialDir = m_.gWorkingDir;
  auto group = p_.OpenFileDialog(dialog);
  if (!group || group->empty()) return;

  // Every subgroup, with the window's choice of the second adjustment
  // factor, broken down by crop group for the Results window; recorded as
  // the window's runs are.
  ormid::RunRequest request;
  request.kind = RunKind::Cumulative;
  CumulativeSettings& c = request.cumulative;
  c.group = std::filesystem::absolute(*group).lexically_normal().string();
  c.shownName = FileNameOnly(*group);
  c.adj2 = chkSecondAdj->isChecked();
  c.by = HeadroomBy::CropGroup;
  request.keepFigures = true;
  if (mnuRecordHistory->isChecked()) request.history = ormid::RunRequest::History::Record;
  RunSession session(m_, relay_);
  const RunOutcome run = session.Run(request, *this);
  EndBusyNote();
  if (!run.problems.empty()) {
    std::vector<std::string> lines = run.problems;
    lines.insert(lines.end(), run.warnings.begin(), run.warnings.end());
    ShowProblems("Cumulative Assessment",
                 "The group " + *group + " was not run: " + std::to_string(run.problems.size()) +
                     (run.problems.size() == 1 ? " problem." : " problems."),
                 lines);
    return;
  }
  if (run.status != RunStatus::Done) {
    if (run.notice)
      p_.MessageBox(run.notice->text, "Cumulative Assessment", MsgIcon::Exclamation,
                    MsgButtons::OK);
    return;
  }
  if (!run.warnings.empty()) {
    // Notices, not problems: the run has gone on. One line per notice.
    std::vector<std::string> lines;
    for (std::string line : run.warnings) {
      for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
      lines.push_back(line);
    }
    ShowProblems("Cumulative Assessment",
                 "The assessment was run with every chemical of the group. Opening its residue "
                 "files gave these notices, as opening each file on its own does; none of them "
                 "stopped the run:",
                 lines);
  }
  FinishRun(session);
  if (!lastRun_ || lastRun_->kind != RunKind::Cumulative) return;
  // The Results window first, so that the report's viewer comes up in front
  // of it.
  ShowCumulativeResults(*lastRun_);
  ShowViewer("Cumulative Analysis", lastRun_->report, RunKind::Cumulative);
}

void FrmOrmid::ShowCumulativeResults(const FinishedRun& run) {
  const auto* figures = dynamic_cast<const CumulativeRunFigures*>(run.figures.get());
  if (!figures) return;
  // The window keeps the installation as the run started it, the group and
  // the settings: a what-if is worked out from them, whatever the main
  // window opens next. It shows the run's own figures.
  auto inputs = std::make_unique<CumulativeRunInputs>();
  inputs->started = m_;
  inputs->group = figures->read;
  inputs->shownName = figures->settings.shownName;
  inputs->adj2 = figures->settings.adj2;
  inputs->rows = figures->settings.rows;
  if (!frmCumulativeResults) frmCumulativeResults = new FrmCumulativeResults(p_, this);
  frmCumulativeResults->ShowRun(std::move(inputs), figures->run);
  OpenResultsWindow(frmCumulativeResults);
}

void FrmOrmid::mnuAggregate_Click() {
  if (m_.gResidueFileName.empty()) return;
  FrmAggregate dialog(p_, m_.gWorkingDir, this);
  runner_.RunModal(dialog);
  if (dialog.result() != QDialog::Accepted) return;

  // The open residue file, the window's subgroups (every one when none is
  // ticked) and its choice of the second adjustment factor; recorded as the
  // window's runs are.
  ormid::RunRequest request;
  request.kind = RunKind::Aggregate;
  request.aggregate = dialog.Settings();
  request.aggregate.adj2 = chkSecondAdj->isChecked();
  for (int k = 0; k < m_.gPopCount && k < static_cast<int>(chkStandard.size()); ++k)
    if (chkStandard[static_cast<std::size_t>(k)]->checkState() != Qt::Unchecked)
      request.aggregate.rows.push_back(k + 1);
  request.keepFigures = true;
  if (mnuRecordHistory->isChecked()) request.history = ormid::RunRequest::History::Record;
  RunSession session(m_, relay_);
  const RunOutcome run = session.Run(request, *this);
  EndBusyNote();
  if (!run.problems.empty()) {
    ShowProblems("Aggregate Assessment",
                 "The aggregate assessment was not run: " + std::to_string(run.problems.size()) +
                     (run.problems.size() == 1 ? " problem." : " problems."),
                 run.problems);
    return;
  }
  if (run.status != RunStatus::Done) {
    if (run.notice)
      p_.MessageBox(run.notice->text, "Aggregate Assessment", MsgIcon::Exclamation, MsgButtons::OK);
    return;
  }
  FinishRun(session);
  if (!lastRun_ || lastRun_->kind != RunKind::Aggregate) return;
  ShowAggregateResults(*lastRun_);
  ShowViewer("Aggregate Analysis", lastRun_->report, RunKind::Aggregate);
}

void FrmOrmid::ShowAggregateResults(const FinishedRun& run) {
  const auto* figures = dynamic_cast<const AggregateRunFigures*>(run.figures.get());
  if (!figures) return;
  if (!frmAggregateResults) frmAggregateResults = new FrmAggregateResults(p_, this);
  frmAggregateResults->ShowRun(figures->run);
  OpenResultsWindow(frmAggregateResults);
}

}  // namespace ormid
