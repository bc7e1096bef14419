// The main window's Show Last buttons and the delivery of a report: the
// destination dialog, the viewer, the printer.
#include "desktop/main_window/frm_ormid.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <filesystem>

#include "core/mod_ormid.h"
#include "core/paths.h"
#include "delivery/export_dialog.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/frm_spd.h"
#include "desktop/delivery/qt_printer.h"
#include "desktop/delivery/work_progress.h"
#include "desktop/history/frm_history.h"
#include "desktop/main_window/frm_pad.h"
#include "desktop/main_window/frm_problems.h"
#include "desktop/main_window/modal_runner.h"
#include "desktop/main_window/qt_platform.h"
#include "desktop/main_window/window_layout.h"
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

// --- Show last reports and delivery ---

void FrmOrmid::cmdPrintOrmidAnalysis_Click() {
  if (p_.FileExists(kLongTermReportFile)) {
    mReportSource = kLongTermReportFile;
    m_.gReportKind = static_cast<Int16>(ReportCodeOf(RunKind::LongTerm));
    ShowOrmidReport();
  } else {
    p_.MessageBox("There is no 'last' Ormid analysis in the current KAVRI directory to display.",
                  "Show last  Ormid Analysis", MsgIcon::Information, MsgButtons::OK);
  }
}

void FrmOrmid::cmdCommodity_Click() {
  if (p_.FileExists(kCommodityReportFile)) {
    m_.gReportKind = static_cast<Int16>(ReportCodeOf(RunKind::Commodity));
    showCCCreport();
  } else {
    p_.MessageBox(
        "There is no 'last' Commodity Contribution report in the current KAVRI directory to "
        "display.",
        "Show last Ormid Analysis", MsgIcon::Information, MsgButtons::OK);
  }
}

void FrmOrmid::ShowOrmidReport() {
  DeliverReport(m_, p_, *this, RunKind::LongTerm, mReportSource, 1);
}

void FrmOrmid::showCCCreport() {
  DeliverReport(m_, p_, *this, RunKind::Commodity, kCommodityReportFile, 0);
}

void FrmOrmid::cmdPrintResFl_Click() {
  Control focus = Control::None;
  if (!RunResidueListing(m_, p_, *this, Settings(), focus)) SetFocus(focus);
}

void FrmOrmid::ChooseDestination(const std::string& caption) {
  EndBusyNote();
  FrmSPD dialog(m_, p_, this, [this] { ReadSetupFile(m_, p_); });
  dialog.setWindowTitle(FromBytes(caption));
  frmSPD_ = &dialog;
  runner_.RunModal(dialog);
  frmSPD_ = nullptr;
}

void FrmOrmid::ShowViewer(const std::string& caption, const std::string& file, RunKind kind) {
  FrmReport2*& viewer = viewers[caption];
  if (!viewer) {
    viewer = new FrmReport2();
    // The buttons act on their own viewer's report.
    FrmReport2* own = viewer;
    connect(own, &FrmReport2::printRequested, this, [this, own] {
      // Its questions and messages stay with the viewer.
      DialogOwnerScope owner(own);
      frmReport2 = own;
      ViewerPrint();
    });
    connect(own, &FrmReport2::saveRequested, this, [this, own] {
      // Its questions and messages stay with the viewer.
      DialogOwnerScope owner(own);
      frmReport2 = own;
      ViewerSave();
    });
    connect(own, &FrmReport2::pdfRequested, this, [this, own] {
      // Its questions and messages stay with the viewer.
      DialogOwnerScope owner(own);
      frmReport2 = own;
      ViewerSavePdf();
    });
  }
  frmReport2 = viewer;
  frmReport2->setWindowTitle(FromBytes(caption));
  // A large report (a commodity report runs to hundreds of megabytes) shows
  // its first page from its opening lines while the rest is read.
  constexpr std::uintmax_t kOpening = 1 << 20;
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  const bool large = !ec && size > 4 * kOpening;
  auto cannotRead = [&] {
    p_.MessageBox("The report " + file + " cannot be read.", "Show report", MsgIcon::Exclamation,
                  MsgButtons::OK);
  };
  if (!(large ? frmReport2->LoadOpening(file, kind, kOpening) : frmReport2->LoadFile(file, kind))) {
    cannotRead();
    return;
  }
  // Where the user left it in an earlier session, else beside this window.
  if (!frmReport2->Placed() && RestoreWindowLayout("viewer/" + FromBytes(caption), *frmReport2))
    frmReport2->MarkPlaced();
  frmReport2->PlaceBeside(*this);
  frmReport2->show();
  frmReport2->raise();
  frmReport2->activateWindow();
  // The report's first page comes first: painted now, with the window
  // system's events taken, before the rest of a fresh run (its manifest,
  // its Results window) is made.
  frmReport2->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  if (large) {
    // The whole report, before the user can scroll, find or save it.
    if (!frmReport2->LoadFile(file, kind)) {
      frmReport2->hide();
      cannotRead();
      return;
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
}

PrintOutcome FrmOrmid::PrintFile(const std::string& text, std::string& error) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName("Ormid report");
  // The note is about the job, not the print dialog: it waits until the
  // dialog has been answered.
  const bool note = lblPrinterMsg->isVisible();
  lblPrinterMsg->hide();
  if (!runner_.ConfigurePrinter(printer)) return PrintOutcome::Cancelled;
  SetPrinterNote(note);
  const bool fromViewer = frmReport2 && printingShown_;
  const RunKind kind = fromViewer
                           ? frmReport2->Kind()
                           : RunKindFromReportCode(m_.gReportKind).value_or(RunKind::LongTerm);
  PageProgress progress(fromViewer ? static_cast<QWidget*>(frmReport2) : this, tr("Printing"),
                        progressDelayMs_);
  const PrintOutcome printed =
      PrintReportOn(printer, text, ReportColumns(text, kind), error, progress.Step());
  // The print dialog may send the job to a PDF file instead of a printer:
  // the window says where the file is.
  if (printed == PrintOutcome::Printed && printer.outputFormat() == QPrinter::PdfFormat &&
      !printer.outputFileName().isEmpty())
    statusBar()->showMessage(tr("The report was printed to the PDF file %1.")
                                 .arg(QDir::toNativeSeparators(printer.outputFileName())));
  return printed;
}

void FrmOrmid::ViewerPrint() {
  if (!frmReport2) return;
  m_.gReportDest = kDestPrinter;
  printingShown_ = true;
  DeliverShownText(m_, p_, *this, frmReport2->Kind(), frmReport2->ShownText());
  printingShown_ = false;
}

void FrmOrmid::ViewerSave() {
  if (!frmReport2) return;
  m_.gReportKind = static_cast<Int16>(ReportCodeOf(frmReport2->Kind()));
  if (!ChooseSaveFile(m_, p_, [this] { ReadSetupFile(m_, p_); })) return;
  DeliverShownText(m_, p_, *this, frmReport2->Kind(), frmReport2->ShownText());
}

void FrmOrmid::ViewerSavePdf() {
  if (!frmReport2) return;
  const std::string& text = frmReport2->ShownText();
  const RunKind kind = frmReport2->Kind();
  SaveReportPdf(m_, p_, kind, [this, &text, kind](std::string& pdf, std::string& error) {
    PageProgress progress(frmReport2, tr("Save as PDF"), progressDelayMs_);
    return ReportPdf(text, kind, pdf, error, progress.Step());
  });
}

void FrmOrmid::SetPrinterNote(bool visible) {
  lblPrinterMsg->setVisible(visible);
  if (visible) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void FrmOrmid::SetFocus(Control control) {
  QWidget* target = nullptr;
  switch (control) {
    case Control::None:
      return;
    case Control::txtMOE1:
      target = txtMOE1;
      break;
    case Control::txtMOE2:
      target = txtMOE2;
      break;
    case Control::txtMOE3:
      target = txtMOE3;
      break;
    case Control::chkMOE1:
      target = chkMOE1;
      break;
    case Control::cmdPAD:
      target = cmdPAD;
      break;
    case Control::txtRptFile:
      target = txtRptFile;
      break;
    case Control::txtCrit1:
      target = txtCrit1;
      break;
    case Control::txtCrit2:
      target = txtCrit2;
      break;
    case Control::chkStandard1:
      if (!chkStandard.empty()) target = chkStandard[chkStandard.size() > 1 ? 1 : 0];
      break;
    case Control::cmdPrintOrmidAnalysis:
      target = cmdPrintOrmidAnalysis;
      break;
    case Control::cmdCommodity:
      target = cmdCommodity;
      break;
  }
  if (target) target->setFocus();
}

}  // namespace ormid
