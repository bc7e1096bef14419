#include "app/frm_ormid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/frm_pad.h"
#include "app/modal_runner.h"
#include "app/qt_platform.h"
#include "app/startup.h"
#include "app/window_checks.h"
#include "core/mod_ormid.h"
#include "report/frm_report2.h"
#include "report/frm_spd.h"
#include "report/number_format.h"
#include "report/qt_printer.h"
#include "residue/residue_listing.h"
#include "residue/residue_reader.h"

namespace ormid {

namespace {

QLabel* NewLabel(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

QCheckBox* NewCheck(const QString& text, const char* name, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(name);
  return box;
}

QLineEdit* NewEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

QPushButton* NewButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QFrame* NewLine(const char* name, QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setObjectName(name);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

const char* const kPrinterNote =
    "  If printer error message is displayed with              'parameter is incorrect' the "
    "printer is probably       off line.    Please correct and try again.              Ignore "
    "'Report sent to printer' message.           ";

}  // namespace

FrmOrmid::FrmOrmid(ModOrmid& m, Platform& p, ModalRunner& runner, QWidget* parent)
    : QMainWindow(parent), m_(m), p_(p), runner_(runner) {
  setObjectName("frmOrmid");
  BuildControls();
  Form_Load();
}

FrmOrmid::~FrmOrmid() = default;

void FrmOrmid::BuildControls() {
  setWindowTitle("Kavri-FCID Ormid Analysis for CSFII 1994-96, 1998");

  mnuFile = menuBar()->addMenu(tr("&File"));
  mnuOpenRes = mnuFile->addAction(tr("&Open Residue File..."), this, &FrmOrmid::mnuOpenRes_Click);
  mnuClose = mnuFile->addAction(tr("&Close Residue File"), this, &FrmOrmid::mnuClose_Click);
  mnuExit = mnuFile->addAction(tr("E&xit"), this, &FrmOrmid::mnuExit_Click);
  mnuAnalysis = menuBar()->addMenu(tr("Run &Analysis"));
  mnuStart = mnuAnalysis->addAction(tr("&Ormid Analysis"), this, &FrmOrmid::mnuStart_Click);
  mnuCommodity =
      mnuAnalysis->addAction(tr("Co&mmodity Analysis"), this, &FrmOrmid::mnuCommodity_Click);
  mnuHlp = menuBar()->addMenu(tr("&Help"));
  mnuHelp = mnuHlp->addAction(tr("&Ormid Help"), this, &FrmOrmid::mnuHelp_Click);

  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto* outer = new QVBoxLayout(central);

  // Residue file information, or the invitation to open one.
  fraResFile = new QGroupBox(tr("Residue File:"), central);
  fraResFile->setObjectName("fraResFile");
  auto* fileGrid = new QGridLayout(fraResFile);
  lblResfl1 = NewLabel(tr("Residue File:"), "lblResfl1", fraResFile);
  lblResfl2 = NewLabel("", "lblResfl2", fraResFile);
  lblDate1 = NewLabel(tr("Date last saved:"), "lblDate1", fraResFile);
  lblDate2 = NewLabel("", "lblDate2", fraResFile);
  lblChemName = NewLabel(tr("Chemical Name:"), "lblChemName", fraResFile);
  lblChemName2 = NewLabel("", "lblChemName2", fraResFile);
  lblWorkingFile = NewLabel(tr("Working Folder:"), "lblWorkingFile", fraResFile);
  lblDefault = NewLabel("", "lblDefault", fraResFile);
  QLabel* pairs[][2] = {{lblResfl1, lblResfl2},
                        {lblDate1, lblDate2},
                        {lblChemName, lblChemName2},
                        {lblWorkingFile, lblDefault}};
  for (int r = 0; r < 4; ++r) {
    fileGrid->addWidget(pairs[r][0], r, 0);
    fileGrid->addWidget(pairs[r][1], r, 1);
    pairs[r][1]->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  fileGrid->setColumnStretch(1, 1);
  outer->addWidget(fraResFile);
  lblStart = NewLabel(tr("  Start by opening a residue file.  "), "lblStart", central);
  lblStart->setStyleSheet("QLabel { background-color: yellow; color: black; padding: 6px; }");
  lblStart->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  outer->addWidget(lblStart, 0, Qt::AlignHCenter);

  auto* columns = new QHBoxLayout();
  outer->addLayout(columns, 1);

  // Analysis parameters.
  frmParam = new QGroupBox(tr("Analysis Parameters:"), central);
  frmParam->setObjectName("frmParam");
  auto* param = new QGridLayout(frmParam);
  lblTox0 = NewLabel(tr("Toxicology endpoints (ormid):"), "lblTox0", frmParam);
  Label1 = NewLabel(tr("Use:"), "Label1", frmParam);
  Label2 = NewLabel(tr("Value:"), "Label2", frmParam);
  param->addWidget(lblTox0, 0, 0, 1, 4);
  param->addWidget(Label1, 1, 0);
  param->addWidget(Label2, 1, 2);
  chkMOE1 = NewCheck("", "chkMOE1", frmParam);
  chkMOE2 = NewCheck("", "chkMOE2", frmParam);
  chkMOE3 = NewCheck("", "chkMOE3", frmParam);
  chkMOE4 = NewCheck("", "chkMOE4", frmParam);
  lblTox1 = NewLabel(tr("NOEL"), "lblTox1", frmParam);
  lblTox2 = NewLabel(tr("RfD"), "lblTox2", frmParam);
  lblTox3 = NewLabel(tr("Q*"), "lblTox3", frmParam);
  lblTox4 = NewLabel(tr("PAD"), "lblTox4", frmParam);
  txtMOE1 = NewEdit("txtMOE1", frmParam);
  txtMOE2 = NewEdit("txtMOE2", frmParam);
  txtMOE3 = NewEdit("txtMOE3", frmParam);
  txtMOE2->setText(" ");
  cmdPAD = NewButton(tr("Edit &PADs"), "cmdPAD", frmParam);
  lblUnits = NewLabel(tr("mg/kg bw/day"), "lblUnits", frmParam);
  lblUnits2 = NewLabel(tr("mg/kg bw/day"), "lblUnits2", frmParam);
  QCheckBox* checks[] = {chkMOE1, chkMOE2, chkMOE3, chkMOE4};
  QLabel* names[] = {lblTox1, lblTox2, lblTox3, lblTox4};
  QWidget* values[] = {txtMOE1, txtMOE2, txtMOE3, cmdPAD};
  for (int r = 0; r < 4; ++r) {
    param->addWidget(checks[r], r + 2, 0);
    param->addWidget(names[r], r + 2, 1);
    param->addWidget(values[r], r + 2, 2);
    names[r]->setBuddy(checks[r]);
  }
  param->addWidget(lblUnits, 3, 3);
  param->addWidget(lblUnits2, 4, 3);
  chkSecondAdj = NewCheck(tr("Use second adjustment factor"), "chkSecondAdj", frmParam);
  chkSaveRpt = NewCheck(tr("Save Reports to File"), "chkSaveRpt", frmParam);
  lblRptFile = NewLabel(tr("Report File Name (w/o extension)"), "lblRptFile", frmParam);
  txtRptFile = NewEdit("txtRptFile", frmParam);
  lblComment = NewLabel(tr("Run Comment:"), "lblComment", frmParam);
  txtComment = new QPlainTextEdit(" ", frmParam);
  txtComment->setObjectName("txtComment");
  txtComment->setTabChangesFocus(true);
  txtComment->setMaximumHeight(70);
  param->addWidget(chkSecondAdj, 6, 0, 1, 4);
  param->addWidget(chkSaveRpt, 7, 0, 1, 4);
  param->addWidget(lblRptFile, 8, 0, 1, 2);
  param->addWidget(txtRptFile, 8, 2, 1, 2);
  param->addWidget(lblComment, 9, 0, 1, 4);
  param->addWidget(txtComment, 10, 0, 1, 4);
  param->setRowStretch(11, 1);
  columns->addWidget(frmParam);

  // Commodity options and the subgroups.
  auto* right = new QVBoxLayout();
  columns->addLayout(right, 1);
  Frame1 = new QGroupBox(tr("Commodity Analysis"), central);
  Frame1->setObjectName("Frame1");
  auto* commodity = new QGridLayout(Frame1);
  chkComplete = NewCheck(tr("Complete Commodity Contribution Analysis"), "chkComplete", Frame1);
  chkCritical = NewCheck(tr("Critical Commodity Contribution Analysis"), "chkCritical", Frame1);
  lblCrit1 = NewLabel(tr("Critical value for Foods/Foodforms"), "lblCrit1", Frame1);
  lblCrit2 = NewLabel(tr("Critical value for Crop Groups"), "lblCrit2", Frame1);
  lblCrit3 = NewLabel(tr("% of total exposure (.1 to 99)"), "lblCrit3", Frame1);
  txtCrit1 = NewEdit("txtCrit1", Frame1);
  txtCrit2 = NewEdit("txtCrit2", Frame1);
  txtCrit1->setMaximumWidth(80);
  txtCrit2->setMaximumWidth(80);
  lineCrit1 = NewLine("lineCrit1", Frame1);
  lineCrit2 = NewLine("lineCrit2", Frame1);
  lineCrit3 = NewLine("lineCrit3", Frame1);
  commodity->addWidget(chkComplete, 0, 0, 1, 3);
  commodity->addWidget(chkCritical, 1, 0, 1, 3);
  commodity->addWidget(lineCrit1, 2, 0, 1, 3);
  commodity->addWidget(lblCrit1, 3, 0);
  commodity->addWidget(txtCrit1, 3, 1);
  commodity->addWidget(lblCrit2, 4, 0);
  commodity->addWidget(txtCrit2, 4, 1);
  commodity->addWidget(lineCrit2, 5, 0, 1, 3);
  commodity->addWidget(lblCrit3, 6, 0, 1, 3);
  commodity->addWidget(lineCrit3, 7, 0, 1, 3);
  right->addWidget(Frame1);
  frmSubPop = new QGroupBox(tr("Standard Subpopulations for Commodity Analysis"), central);
  frmSubPop->setObjectName("frmSubPop");
  right->addWidget(frmSubPop, 1);
  right->addStretch();

  // Buttons and notes.
  auto* buttons = new QHBoxLayout();
  cmdPrintResFl = NewButton(tr("Show &Res File"), "cmdPrintResFl", central);
  cmdPrintOrmidAnalysis = NewButton(tr("Show Last O&rmid Rpt"), "cmdPrintOrmidAnalysis", central);
  cmdCommodity = NewButton(tr("Show Last Co&mmodity Rpt"), "cmdCommodity", central);
  cmdClear = NewButton(tr("&Clear Form"), "cmdClear", central);
  for (QPushButton* b : {cmdPrintResFl, cmdPrintOrmidAnalysis, cmdCommodity, cmdClear})
    buttons->addWidget(b);
  buttons->addStretch();
  outer->addLayout(buttons);
  lblPrinterMsg = NewLabel(kPrinterNote, "lblPrinterMsg", central);
  lblPrinterMsg->setWordWrap(true);
  lblPrinterMsg->setStyleSheet("QLabel { color: darkred; }");
  outer->addWidget(lblPrinterMsg);

  connect(chkMOE1, &QCheckBox::toggled, this, &FrmOrmid::chkMOE1_Click);
  connect(chkMOE2, &QCheckBox::toggled, this, &FrmOrmid::chkMOE2_Click);
  connect(chkMOE3, &QCheckBox::toggled, this, &FrmOrmid::chkMOE3_Click);
  connect(chkMOE4, &QCheckBox::toggled, this, &FrmOrmid::chkMOE4_Click);
  connect(chkComplete, &QCheckBox::toggled, this, &FrmOrmid::chkComplete_Click);
  connect(chkCritical, &QCheckBox::toggled, this, &FrmOrmid::chkCritical_Click);
  connect(chkSaveRpt, &QCheckBox::toggled, this, &FrmOrmid::chkSaveRpt_Click);
  connect(cmdPAD, &QPushButton::clicked, this, &FrmOrmid::cmdPAD_Click);
  connect(cmdPrintOrmidAnalysis, &QPushButton::clicked, this,
          &FrmOrmid::cmdPrintOrmidAnalysis_Click);
  connect(cmdCommodity, &QPushButton::clicked, this, &FrmOrmid::cmdCommodity_Click);
  connect(cmdPrintResFl, &QPushButton::clicked, this, &FrmOrmid::cmdPrintResFl_Click);
  connect(cmdClear, &QPushButton::clicked, this, &FrmOrmid::cmdClear_Click);
  for (QLineEdit* box : {txtMOE1, txtMOE2, txtMOE3, txtRptFile}) box->installEventFilter(this);
  statusBar();
}

void FrmOrmid::Form_Load() {
  std::string caption = WindowCaption(m_);
  setWindowTitle(FromBytes(caption));
  lblDefault->setText(FromBytes(m_.gResiduePath));

  // One check box per subgroup: elements 0 to 15 in the first column, the
  // rest in the second, each at 280 twips below the one before.
  auto* grid = new QGridLayout(frmSubPop);
  grid->setVerticalSpacing(2);
  for (int k = 0; k < m_.gPopCount; ++k) {
    auto* box = new QCheckBox(FromBytes(m_.gPopNames[static_cast<std::size_t>(k) + 1]), frmSubPop);
    box->setObjectName(QString("chkStandard%1").arg(k));
    grid->addWidget(box, k > 15 ? k - 16 : k, k > 15 ? 1 : 0);
    chkStandard.push_back(box);
  }

  mnuStart->setEnabled(false);
  mnuCommodity->setEnabled(false);
  for (QWidget* w : std::initializer_list<QWidget*>{
           frmSubPop, lblCrit1, lblCrit2, lblCrit3, txtCrit1, txtCrit2, lineCrit1, lineCrit2,
           lineCrit3, fraResFile, cmdPAD, lblRptFile, txtRptFile, cmdPrintResFl, lblPrinterMsg})
    w->hide();
}

// --- Residue file ---

void FrmOrmid::mnuOpenRes_Click() {
  if (m_.gResidueLoaded != 0) {
    p_.MessageBox("Can't open new residue file before you close the current residue file.",
                  "Warning", MsgIcon::Information, MsgButtons::OK);
    return;
  }
  int cancelled = 0;
  OpenResidueFile(m_, p_, cancelled);
  if (cancelled != 0) return;
  ShowResidueFile();
  cmdPrintOrmidAnalysis->show();
  cmdPrintResFl->show();
  mnuStart->setEnabled(true);
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
}

void FrmOrmid::mnuExit_Click() {
  if (exiting_) return;
  exiting_ = true;
  if (frmReport2) frmReport2->close();
  if (frmSPD_) frmSPD_->close();
  close();
  QApplication::quit();
}

void FrmOrmid::closeEvent(QCloseEvent* event) {
  // Closing the window by any means ends the program.
  event->accept();
  mnuExit_Click();
}

// --- Runs ---

void FrmOrmid::RunRequest(int report) {
  // One thread: the run blocks the window, so show that it is busy.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  statusBar()->showMessage(report == kRunLongTerm ? tr("Running the Ormid analysis...")
                                                  : tr("Running the commodity analysis..."));
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  checkstart(m_, p_, *this, Settings(), report);
  delete progress_;
  progress_ = nullptr;
  statusBar()->clearMessage();
  QApplication::restoreOverrideCursor();
}

void FrmOrmid::Progress(int done, int total) {
  // The dialog appears only when the run lasts longer than half a second.
  if (!progress_) {
    progress_ = new QProgressDialog(tr("Writing the commodity contribution reports..."), QString(),
                                    0, total, this);
    progress_->setWindowTitle(tr("Commodity Analysis"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(500);
  }
  progress_->setValue(done);
}

void FrmOrmid::mnuStart_Click() {
  RunRequest(kRunLongTerm);
}
void FrmOrmid::mnuCommodity_Click() {
  RunRequest(kRunCommodity);
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
  s.txtComment = ToBytes(txtComment->toPlainText());
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

// --- Show last reports and delivery ---

void FrmOrmid::cmdPrintOrmidAnalysis_Click() {
  if (p_.FileExists(kLongTermReportFile)) {
    mReportSource = kLongTermReportFile;
    m_.gReportKind = kReportLongTerm;
    ShowOrmidReport();
  } else {
    p_.MessageBox("There is no 'last' Ormid analysis in the current KAVRI directory to display.",
                  "Show last  Ormid Analysis", MsgIcon::Information, MsgButtons::OK);
  }
}

void FrmOrmid::cmdCommodity_Click() {
  if (p_.FileExists(kCommodityReportFile)) {
    m_.gReportKind = kReportCommodity;
    showCCCreport();
  } else {
    p_.MessageBox(
        "There is no 'last' Commodity Contribution report in the current KAVRI directory to "
        "display.",
        "Show last Ormid Analysis", MsgIcon::Information, MsgButtons::OK);
  }
}

void FrmOrmid::ShowOrmidReport() {
  DeliverReport(m_, p_, *this, kReportLongTerm, mReportSource, 1);
}

void FrmOrmid::showCCCreport() {
  DeliverReport(m_, p_, *this, kReportCommodity, kCommodityReportFile, 0);
}

void FrmOrmid::cmdPrintResFl_Click() {
  RunResidueListing(m_, p_, *this, *this, Settings());
}

void FrmOrmid::ChooseDestination(const std::string& caption) {
  FrmSPD dialog(m_, p_, this);
  dialog.setWindowTitle(FromBytes(caption));
  frmSPD_ = &dialog;
  runner_.RunModal(dialog);
  frmSPD_ = nullptr;
}

void FrmOrmid::ShowViewer(const std::string& caption, const std::string& file) {
  if (!frmReport2) frmReport2 = new FrmReport2(this);
  frmReport2->setWindowTitle(FromBytes(caption));
  if (!frmReport2->LoadFile(file)) {
    p_.MessageBox("The report " + file + " cannot be read.", "Show report", MsgIcon::Exclamation,
                  MsgButtons::OK);
    return;
  }
  frmReport2->show();
  frmReport2->raise();
  frmReport2->activateWindow();
}

bool FrmOrmid::PrintFile(const std::string& text, std::string& error) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName("Ormid report");
  if (!runner_.ConfigurePrinter(printer)) {
    error = "no printer was chosen";
    return false;
  }
  return PrintReportOn(printer, text, error);
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
