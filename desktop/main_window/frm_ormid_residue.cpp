// The main window's residue file and residue table actions: open, close,
// show the file; import and export a residue table; build a residue file
// from samples.
#include "desktop/main_window/frm_ormid.h"

#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/mod_ormid.h"
#include "core/paths.h"
#include "delivery/export_dialog.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/frm_spd.h"
#include "desktop/delivery/qt_printer.h"
#include "desktop/history/frm_history.h"
#include "desktop/main_window/frm_pad.h"
#include "desktop/main_window/frm_problems.h"
#include "desktop/main_window/frm_residue_build.h"
#include "desktop/main_window/modal_runner.h"
#include "desktop/main_window/qt_platform.h"
#include "desktop/results/frm_results.h"
#include "history/run_history.h"
#include "manifest/run_manifest.h"
#include "report/number_format.h"
#include "residue/residue_listing.h"
#include "residue/residue_reader.h"
#include "residue_table/residue_table.h"
#include "residue_table/residue_table_command.h"
#include "session/finished_run.h"
#include "session/run_session.h"
#include "setup/run_request.h"
#include "setup/startup.h"
#include "setup/window_checks.h"

namespace ormid {

// --- Residue file ---

void FrmOrmid::mnuOpenRes_Click() {
  if (m_.gResidueLoaded != 0) {
    p_.MessageBox("Can't open new residue file before you close the current residue file.",
                  "Warning", MsgIcon::Information, MsgButtons::OK);
    return;
  }
  OpenResidue(p_);
}

void FrmOrmid::OpenResidue(Platform& p) {
  int cancelled = 0;
  OpenResidueFile(m_, p, cancelled);
  if (cancelled != 0) return;
  ShowResidueFile();
  cmdPrintOrmidAnalysis->show();
  cmdPrintResFl->show();
  mnuStart->setEnabled(true);
  mnuAggregate->setEnabled(true);
  mnuExportResidueTable->setEnabled(true);
  if (chkComplete->isChecked() || chkCritical->isChecked()) mnuCommodity->setEnabled(true);
  lblStart->hide();
  chkSaveRpt->show();
  chkSaveRpt->setChecked(false);
  txtRptFile->setText("");
}

void FrmOrmid::ShowResidueFile() {
  fraResFile->show();
  lblResfl1->setText(tr("Residue file:"));
  lblResfl2->setText(FromBytes(ResidueFileLabel(m_.gResidueFileName)));
  auto modified = p_.FileModified(m_.gResidueFileName);
  lblDate2->setText(modified ? FromBytes(GeneralDateText(*modified)) : QString());
  lblChemName2->setText(FromBytes(m_.gChemicalName));
  txtComment->setPlainText(FromBytes(m_.gRunComment));
  frmParam->setTitle(tr("Ormid Analysis Parameters"));
  txtMOE1->setText(FromBytes(DefaultNumberText(m_.gNOEL)));
  txtMOE2->setText(FromBytes(DefaultNumberText(m_.gRefDose)));
  txtMOE3->setText(FromBytes(DefaultNumberText(m_.gQStar)));
  lblDefault->setText(FromBytes(m_.gResiduePath));
}

void FrmOrmid::mnuClose_Click() {
  fraResFile->hide();
  m_.gResidueLoaded = 0;
  m_.gResidueFileName.clear();
  lblResfl2->setText("");
  lblDate2->setText("");
  lblChemName2->setText("");
  lblStart->show();
  cmdPrintResFl->hide();
  txtComment->setPlainText("");
  chkSaveRpt->hide();
  txtRptFile->hide();
  lblRptFile->hide();
  mnuStart->setEnabled(false);
  mnuCommodity->setEnabled(false);
  mnuAggregate->setEnabled(false);
  mnuExportResidueTable->setEnabled(false);
}

// --- Residue tables ---

namespace {

// Answers the residue file open dialog with a file already chosen.
class ChosenResidueFile : public PlatformRelay {
 public:
  ChosenResidueFile(Platform& inner, std::string path)
      : PlatformRelay(inner, {}), path_(std::move(path)) {}
  std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override { return path_; }

 private:
  std::string path_;
};

constexpr const char* kTableTypes = "CSV table|*.csv|Excel workbook|*.xlsx";

// Residue tables live in the installation's tables folder (the samples
// have one); without it, beside the residue files.
std::string TablesFolder(const ModOrmid& m) {
  std::error_code ec;
  const std::filesystem::path tables = std::filesystem::path(m.gWorkingDir) / "tables";
  return std::filesystem::is_directory(tables, ec) ? tables.string() + "/" : m.gResiduePath;
}

// The name with the extension of the picked type when it has none of the two.
std::string WithTableExtension(const std::string& name, int type) {
  if (ExportUsageProblem(name).empty()) return name;
  return name + (type == 2 ? ".xlsx" : ".csv");
}

std::string StemOf(const std::string& path) {
  std::string name = FileNameOnly(path);
  if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

}  // namespace

void FrmOrmid::ShowProblems(const std::string& title, const std::string& heading,
                            const std::vector<std::string>& lines) {
  FrmProblems window(title, heading, lines, this);
  runner_.RunModal(window);
}

void FrmOrmid::mnuExportResidueTable_Click() {
  if (m_.gResidueLoaded == 0) return;
  FileDialogRequest request;
  request.title = "Export Residue Table";
  request.filter = kTableTypes;
  request.initialDir = TablesFolder(m_);
  request.fileName = StemOf(m_.gResidueFileName) + ".csv";
  auto chosen = p_.SaveFileDialogWithType(request);
  if (!chosen || chosen->path.empty()) return;
  const std::string table = WithTableExtension(chosen->path, chosen->filterIndex);
  // The export reads the residue file again: on a copy of the state, so that
  // the window's open file stays as it is.
  ModOrmid state = m_;
  const TableExportOutcome outcome =
      ExportResidueTable(state, p_, m_.gResidueFileName, FileNameOnly(table), table);
  if (!outcome.written) return;
  if (!outcome.warnings.empty()) {
    ShowProblems("Export Residue Table",
                 "The residue table was saved as file " + table +
                     ". An import of it would refuse these rows:",
                 outcome.warnings);
    return;
  }
  p_.MessageBox("Residue table saved as file " + table, "Action completed", MsgIcon::Information,
                MsgButtons::OK);
}

void FrmOrmid::mnuImportResidueTable_Click() {
  FileDialogRequest tableRequest;
  tableRequest.title = "Import Residue Table: the table";
  tableRequest.filter = "CSV tables|*.csv;*.CSV";
  tableRequest.initialDir = TablesFolder(m_);
  auto table = p_.OpenFileDialog(tableRequest);
  if (!table || table->empty()) return;

  // The table is checked before the residue file's name is asked for.
  auto refused = [&](const TableImportOutcome& outcome) {
    if (outcome.problems.empty()) return false;
    const std::size_t count = std::max(outcome.problemCount, outcome.problems.size());
    std::vector<std::string> lines = ProblemsToShow(outcome.problems, count);
    lines.insert(lines.end(), outcome.warnings.begin(), outcome.warnings.end());
    ShowProblems("Import Residue Table",
                 "The table " + *table + " was not imported: " + std::to_string(count) +
                     (count == 1 ? " problem." : " problems.") + " No residue file was written.",
                 lines);
    return true;
  };
  {
    ModOrmid state = m_;
    if (refused(ImportResidueTable(state, p_, FileNameOnly(*table), *table, ""))) return;
  }

  const std::string extension = ResidueExtension(m_);
  FileDialogRequest request;
  request.title = "Import Residue Table: the residue file to write";
  request.filter = ResidueFileFilter(m_.gSurveyBase);
  request.initialDir = m_.gResiduePath;
  request.fileName = StemOf(*table) + extension;
  auto output = p_.SaveFileDialog(request);
  if (!output || output->empty()) return;
  std::string residue = *output;
  if (FileNameOnly(residue).find('.') == std::string::npos) residue += extension;
  if (const std::string problem = ImportUsageProblem(m_, *table, residue); !problem.empty()) {
    p_.MessageBox("The table cannot be imported: " + problem + ".", "Import Residue Table",
                  MsgIcon::Exclamation, MsgButtons::OK);
    return;
  }
  ModOrmid state = m_;
  const TableImportOutcome outcome =
      ImportResidueTable(state, p_, FileNameOnly(*table), *table, residue);
  // The table changed between the check and the import.
  if (refused(outcome)) return;
  if (!outcome.written) return;
  if (!outcome.warnings.empty())
    ShowProblems("Import Residue Table",
                 "The residue file " + residue + " was written, with:", outcome.warnings);
  // The new file is opened in place of the open one.
  if (m_.gResidueLoaded != 0) mnuClose_Click();
  ChosenResidueFile chosen(p_, residue);
  OpenResidue(chosen);
}

// --- Residue files built from samples ---

void FrmOrmid::mnuBuildResidue_Click() {
  FrmResidueBuild dialog(m_, p_, this);
  runner_.RunModal(dialog);
  p_.ChangeDir(m_.gWorkingDir);
  if (dialog.result() != QDialog::Accepted) return;

  // The build previewed, through the run session as the command line's:
  // its report beside the residue file, its manifest and record.
  ormid::RunRequest request;
  request.kind = RunKind::ResidueBuild;
  request.residueBuild = dialog.Previewed();
  request.report = BuildReportFileFor(request.residueBuild.output);
  if (mnuRecordHistory->isChecked()) request.history = ormid::RunRequest::History::Record;
  RunSession session(m_, relay_);
  const RunOutcome run = session.Run(request, *this);
  EndBusyNote();
  if (!run.problems.empty()) {
    // The files changed since the preview.
    ShowProblems("Build Residue File",
                 "The residue file was not built: " + std::to_string(run.problems.size()) +
                     (run.problems.size() == 1 ? " problem." : " problems.") +
                     " No file was written.",
                 run.problems);
    return;
  }
  if (run.status != RunStatus::Done) {
    if (run.notice) ShowNotice(relay_, *run.notice);
    return;
  }
  FinishRun(session);
  if (run.notice) ShowNotice(relay_, *run.notice);
  // The file built (of three, the middle bound's) becomes the open residue
  // file.
  const ResidueBuildSettings& b = request.residueBuild;
  const Bound bound = b.bound == BoundChoice::All ? Bound::Middle : BoundsOf(b.bound).front();
  if (m_.gResidueLoaded != 0) mnuClose_Click();
  ChosenResidueFile chosen(p_, ResidueFileOfBound(b, bound));
  OpenResidue(chosen);
}

}  // namespace ormid
