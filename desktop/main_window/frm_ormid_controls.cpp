// The main window's controls acting on one another: Clear, the check
// boxes' interlocks, and the checks of values and file names as they are
// typed.
#include "desktop/main_window/frm_ormid.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
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

// --- Clear form ---

void FrmOrmid::cmdClear_Click() {
  auto answer = p_.MessageBox(
      "Are you sure you want to clear this form? Note: Use File/Close to clear residue file name "
      "and information.",
      "Confirmation", MsgIcon::Question, MsgButtons::YesNo);
  if (answer == MsgAnswer::No) return;
  for (QCheckBox* box : chkStandard) box->setCheckState(Qt::Unchecked);
  chkMOE1->setChecked(false);
  chkMOE2->setChecked(false);
  chkMOE3->setChecked(false);
  for (QLineEdit* box : {txtMOE1, txtMOE2, txtMOE3, txtRptFile}) box->setText("");
  txtComment->setPlainText("");
  chkSecondAdj->setChecked(false);
  chkCritical->setChecked(false);
  chkComplete->setChecked(false);
  chkSaveRpt->setChecked(false);
}

// --- Interlocks ---

void FrmOrmid::chkMOE1_Click(bool checked) {
  if (!checked) return;
  chkMOE3->setChecked(false);
  txtMOE1->setFocus();
}

void FrmOrmid::chkMOE2_Click(bool checked) {
  if (checked) {
    chkMOE3->setChecked(false);
    txtMOE2->setFocus();
  } else {
    chkMOE4->setChecked(false);
  }
}

void FrmOrmid::chkMOE3_Click(bool checked) {
  if (!checked) return;
  chkMOE1->setChecked(false);
  chkMOE2->setChecked(false);
  chkMOE4->setChecked(false);
  txtMOE3->setFocus();
}

void FrmOrmid::chkMOE4_Click(bool checked) {
  if (checked) {
    chkMOE3->setChecked(false);
    chkMOE2->setChecked(true);
    cmdPAD->show();
    cmdPAD->setFocus();
  } else {
    cmdPAD->hide();
  }
}

void FrmOrmid::chkComplete_Click(bool checked) {
  if (checked) {
    if (!m_.gResidueFileName.empty()) mnuCommodity->setEnabled(true);
    frmSubPop->show();
  } else if (!chkCritical->isChecked()) {
    mnuCommodity->setEnabled(false);
    frmSubPop->hide();
  }
}

void FrmOrmid::chkCritical_Click(bool checked) {
  QWidget* critical[] = {lblCrit1, lblCrit2,  lblCrit3,  txtCrit1,
                         txtCrit2, lineCrit1, lineCrit2, lineCrit3};
  if (checked) {
    if (!m_.gResidueFileName.empty()) mnuCommodity->setEnabled(true);
    frmSubPop->show();
    for (QWidget* w : critical) w->show();
  } else {
    if (!chkComplete->isChecked()) {
      mnuCommodity->setEnabled(false);
      frmSubPop->hide();
    }
    for (QWidget* w : critical) w->hide();
  }
}

void FrmOrmid::chkSaveRpt_Click(bool checked) {
  lblRptFile->setVisible(checked);
  txtRptFile->setVisible(checked);
  if (checked) txtRptFile->setFocus();
}

// --- Value and file name checks ---

void FrmOrmid::CheckBox(QLineEdit* box, bool ok) {
  if (ok) return;
  box->setFocus();
}

void FrmOrmid::txtMOE1_LostFocus() {
  CheckBox(txtMOE1, CheckEndpointValue(p_, "NOEL", ToBytes(txtMOE1->text())));
}
void FrmOrmid::txtMOE2_LostFocus() {
  CheckBox(txtMOE2, CheckEndpointValue(p_, "RfD", ToBytes(txtMOE2->text())));
}
void FrmOrmid::txtMOE3_LostFocus() {
  CheckBox(txtMOE3, CheckEndpointValue(p_, "Q*", ToBytes(txtMOE3->text())));
}
void FrmOrmid::txtRptFile_LostFocus() {
  CheckBox(txtRptFile, CheckReportFileNameBox(p_, ToBytes(txtRptFile->text())));
}

bool FrmOrmid::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    QLabel* names[] = {lblTox1, lblTox2, lblTox3, lblTox4};
    QCheckBox* checks[] = {chkMOE1, chkMOE2, chkMOE3, chkMOE4};
    for (int r = 0; r < 4; ++r)
      if (watched == names[r] && checks[r]->isEnabled()) {
        checks[r]->setFocus(Qt::MouseFocusReason);
        checks[r]->click();
        return true;
      }
  }
  auto run = [this, watched]() {
    // A check that puts the focus back must not set off the check of the
    // box that loses it then.
    if (checking_) return;
    checking_ = true;
    if (watched == txtMOE1) txtMOE1_LostFocus();
    if (watched == txtMOE2) txtMOE2_LostFocus();
    if (watched == txtMOE3) txtMOE3_LostFocus();
    if (watched == txtRptFile) txtRptFile_LostFocus();
    checking_ = false;
  };
  if (event->type() == QEvent::FocusOut) {
    auto reason = static_cast<QFocusEvent*>(event)->reason();
    // Focus that leaves for another window (a message box) or a menu is not lost.
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
        reason != Qt::MenuBarFocusReason)
      run();
  } else if (event->type() == QEvent::KeyPress) {
    int key = static_cast<QKeyEvent*>(event)->key();
    // Enter checks the box in place; the key goes on as usual.
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && watched != txtMOE3) run();
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace ormid
