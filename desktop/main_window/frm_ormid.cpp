#include "desktop/main_window/frm_ormid.h"

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
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/mod_ormid.h"
#include "core/paths.h"
#include "delivery/export_dialog.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/frm_spd.h"
#include "desktop/delivery/qt_printer.h"
#include "desktop/help/about_box.h"
#include "desktop/help/frm_help.h"
#include "desktop/history/frm_history.h"
#include "desktop/main_window/frm_pad.h"
#include "desktop/main_window/frm_problems.h"
#include "desktop/main_window/modal_runner.h"
#include "desktop/main_window/qt_platform.h"
#include "desktop/main_window/window_layout.h"
#include "desktop/results/frm_aggregate_results.h"
#include "desktop/results/frm_cumulative_results.h"
#include "desktop/results/frm_results.h"
#include "desktop/results/results_widgets.h"
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

QFrame* NewLine(const char* name, QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setObjectName(name);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

// The note shown on the main window while a report is printed.
#ifdef _WIN32
const char* const kPrinterNote =
    "  If printer error message is displayed with              'parameter is incorrect' the "
    "printer is probably       off line.    Please correct and try again.              Ignore "
    "'Report sent to printer' message.           ";
#else
// Here the print system takes the job into its queue: a printer that is off
// line keeps it waiting there, and a job the system refuses is reported.
const char* const kPrinterNote =
    "  The report goes to the print queue; while the printer is off line the job waits "
    "there.  ";
#endif

// Hidden controls keep their place, so that nothing moves when they appear.
void KeepPlace(std::initializer_list<QWidget*> widgets) {
  for (QWidget* w : widgets) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }
}

}  // namespace

FrmOrmid::FrmOrmid(ModOrmid& m, Platform& p, ModalRunner& runner, QWidget* parent)
    : QMainWindow(parent), m_(m), p_(p), runner_(runner), relay_(p, [this] { EndBusyNote(); }) {
  setObjectName("frmOrmid");
  BuildControls();
  Form_Load();
  SetTabOrder();
  // One size for every state of the window: the hidden controls already
  // hold their places. Where the user left it last time, it opens again.
  resize(sizeHint());
  RestoreWindowLayout("main", *this);
}

FrmOrmid::~FrmOrmid() {
  for (auto& [caption, viewer] : viewers) delete viewer;
  delete frmResults;
  delete frmCommodityResults;
  delete frmCumulativeResults;
  delete frmAggregateResults;
  delete frmPastResults;
  delete frmPastCumulative;
}

void FrmOrmid::BuildControls() {
  setWindowTitle("Kavri-FCID Ormid Analysis for CSFII 1994-96, 1998");

  mnuFile = menuBar()->addMenu(tr("&File"));
  mnuOpenRes = mnuFile->addAction(tr("&Open Residue File..."), this, &FrmOrmid::mnuOpenRes_Click);
  mnuClose = mnuFile->addAction(tr("&Close Residue File"), this, &FrmOrmid::mnuClose_Click);
  mnuFile->addSeparator();
  mnuImportResidueTable = mnuFile->addAction(tr("&Import Residue Table..."), this,
                                             &FrmOrmid::mnuImportResidueTable_Click);
  mnuExportResidueTable = mnuFile->addAction(tr("Export Residue &Table..."), this,
                                             &FrmOrmid::mnuExportResidueTable_Click);
  mnuBuildResidue = mnuFile->addAction(tr("&Build Residue File from Samples..."), this,
                                       &FrmOrmid::mnuBuildResidue_Click);
  mnuExportResults =
      mnuFile->addAction(tr("&Export Results..."), this, &FrmOrmid::mnuExportResults_Click);
  mnuBatchRun = mnuFile->addAction(tr("&Batch Run..."), this, &FrmOrmid::mnuBatchRun_Click);
  mnuCumulative =
      mnuFile->addAction(tr("C&umulative Assessment..."), this, &FrmOrmid::mnuCumulative_Click);
  mnuAggregate =
      mnuFile->addAction(tr("A&ggregate Assessment..."), this, &FrmOrmid::mnuAggregate_Click);
  mnuFile->addSeparator();
  mnuExit = mnuFile->addAction(tr("E&xit"), this, &FrmOrmid::mnuExit_Click);
  mnuAnalysis = menuBar()->addMenu(tr("Run &Analysis"));
  mnuStart = mnuAnalysis->addAction(tr("&Ormid Analysis"), this, &FrmOrmid::mnuStart_Click);
  mnuCommodity =
      mnuAnalysis->addAction(tr("Co&mmodity Analysis"), this, &FrmOrmid::mnuCommodity_Click);
  mnuView = menuBar()->addMenu(tr("&View"));
  mnuRunHistory = mnuView->addAction(tr("Run &History..."), this, &FrmOrmid::mnuRunHistory_Click);
  mnuLastResults = mnuView->addAction(tr("Last Run's &Results"), this, [this] {
    if (!lastResults_) return;
    lastResults_->show();
    lastResults_->raise();
    lastResults_->activateWindow();
  });
  mnuLastResults->setEnabled(false);
  mnuRecordHistory = mnuView->addAction(tr("&Record Runs in History"));
  mnuRecordHistory->setCheckable(true);
  mnuRecordHistory->setChecked(true);
  mnuView->addSeparator();
  mnuResetLayout =
      mnuView->addAction(tr("Reset &Window Layout"), this, &FrmOrmid::mnuResetLayout_Click);
  mnuHlp = menuBar()->addMenu(tr("&Help"));
  mnuHelp = mnuHlp->addAction(tr("&Ormid Help"), this, &FrmOrmid::mnuHelp_Click);
  mnuGuide = mnuHlp->addAction(tr("Ormid &Guide"), this, [this] { ShowHelpWindow(*this); });
  mnuHlp->addSeparator();
  mnuAbout = mnuHlp->addAction(tr("&About Ormid..."), this, [this] {
    auto box = NewAboutBox(this);
    runner_.RunModal(*box);
  });
  // The shortcuts a desktop user expects, beside the access keys.
  mnuOpenRes->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  mnuClose->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
  mnuExportResults->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  // Ctrl+Q ends the program from any of its windows (the viewer, Results,
  // the run history, a batch), not only from this one.
  mnuExit->setShortcutContext(Qt::ApplicationShortcut);
  mnuGuide->setShortcut(QKeySequence(Qt::Key_F1));

  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto* outer = new QVBoxLayout(central);
  auto* columns = new QHBoxLayout();
  outer->addLayout(columns, 1);
  auto* left = new QVBoxLayout();
  auto* right = new QVBoxLayout();
  columns->addLayout(left, 0);
  columns->addLayout(right, 1);

  // Residue file information, or in the same place the invitation to open one.
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
    // A long name or folder is cut off rather than widening the window.
    pairs[r][1]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    pairs[r][1]->setMinimumWidth(260);
  }
  fileGrid->setColumnStretch(1, 1);
  lblStart = NewLabel(tr("  Start by opening a residue file.  "), "lblStart", central);
  lblStart->setStyleSheet("QLabel { background-color: yellow; color: black; padding: 6px; }");
  lblStart->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  auto* fileCell = new QGridLayout();
  fileCell->addWidget(fraResFile, 0, 0);
  fileCell->addWidget(lblStart, 0, 0, Qt::AlignCenter);
  left->addLayout(fileCell);

  // Analysis parameters: the endpoints as rows of box, name, value, units.
  frmParam = new QGroupBox(tr("Analysis Parameters:"), central);
  frmParam->setObjectName("frmParam");
  auto* paramColumn = new QVBoxLayout(frmParam);
  lblTox0 = NewLabel(tr("Toxicology endpoints (ormid):"), "lblTox0", frmParam);
  paramColumn->addWidget(lblTox0);
  auto* param = new QGridLayout();
  param->setHorizontalSpacing(6);
  paramColumn->addLayout(param);
  Label1 = NewLabel(tr("Use:"), "Label1", frmParam);
  Label2 = NewLabel(tr("Value:"), "Label2", frmParam);
  param->addWidget(Label1, 0, 0, 1, 2);
  param->addWidget(Label2, 0, 2);
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
    param->addWidget(checks[r], r + 1, 0);
    param->addWidget(names[r], r + 1, 1);
    param->addWidget(values[r], r + 1, 2);
    names[r]->setBuddy(checks[r]);
    // A click on the name ticks the box, as on a check box's own text.
    names[r]->installEventFilter(this);
  }
  param->addWidget(lblUnits, 1, 3);
  param->addWidget(lblUnits2, 2, 3);
  param->setColumnStretch(2, 1);
  chkSecondAdj = NewCheck(tr("Use second adjustment factor"), "chkSecondAdj", frmParam);
  chkSaveRpt = NewCheck(tr("Save Reports to File"), "chkSaveRpt", frmParam);
  lblRptFile = NewLabel(tr("Report File Name (w/o extension)"), "lblRptFile", frmParam);
  txtRptFile = NewEdit("txtRptFile", frmParam);
  lblRptFile->setBuddy(txtRptFile);
  lblComment = NewLabel(tr("Run Comment:"), "lblComment", frmParam);
  txtComment = new QPlainTextEdit(" ", frmParam);
  txtComment->setObjectName("txtComment");
  txtComment->setTabChangesFocus(true);
  txtComment->setFixedHeight(QFontMetrics(txtComment->font()).lineSpacing() * 3 + 12);
  lblComment->setBuddy(txtComment);
  paramColumn->addWidget(chkSecondAdj);
  paramColumn->addWidget(chkSaveRpt);
  auto* rptRow = new QHBoxLayout();
  rptRow->addWidget(lblRptFile);
  rptRow->addWidget(txtRptFile, 1);
  paramColumn->addLayout(rptRow);
  paramColumn->addWidget(lblComment);
  paramColumn->addWidget(txtComment);
  paramColumn->addStretch(1);
  left->addWidget(frmParam, 1);

  // Commodity options and the subgroups.
  Frame1 = new QGroupBox(tr("Commodity Analysis"), central);
  Frame1->setObjectName("Frame1");
  auto* commodity = new QGridLayout(Frame1);
  commodity->setVerticalSpacing(3);
  chkComplete = NewCheck(tr("Complete Commodity Contribution Analysis"), "chkComplete", Frame1);
  chkCritical = NewCheck(tr("Critical Commodity Contribution Analysis"), "chkCritical", Frame1);
  lblCrit1 = NewLabel(tr("Critical value for Foods/Foodforms"), "lblCrit1", Frame1);
  lblCrit2 = NewLabel(tr("Critical value for Crop Groups"), "lblCrit2", Frame1);
  lblCrit3 = NewLabel(tr("% of total exposure (.1 to 99)"), "lblCrit3", Frame1);
  txtCrit1 = NewEdit("txtCrit1", Frame1);
  txtCrit2 = NewEdit("txtCrit2", Frame1);
  lblCrit1->setBuddy(txtCrit1);
  lblCrit2->setBuddy(txtCrit2);
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
  commodity->addWidget(lblCrit3, 3, 2, 2, 1);
  commodity->addWidget(lblCrit2, 4, 0);
  commodity->addWidget(txtCrit2, 4, 1);
  commodity->addWidget(lineCrit2, 5, 0, 1, 3);
  commodity->addWidget(lineCrit3, 6, 0, 1, 3);
  lblCrit3->setWordWrap(true);
  commodity->setColumnStretch(2, 1);
  right->addWidget(Frame1);
  frmSubPop = new QGroupBox(tr("Standard Subpopulations for Commodity Analysis"), central);
  frmSubPop->setObjectName("frmSubPop");
  right->addWidget(frmSubPop);
  right->addStretch(1);

  // Buttons, and beside them the printer note.
  auto* bottom = new QHBoxLayout();
  cmdPrintResFl = NewButton(tr("Show &Res File"), "cmdPrintResFl", central);
  cmdPrintOrmidAnalysis = NewButton(tr("Show Last O&rmid Rpt"), "cmdPrintOrmidAnalysis", central);
  cmdCommodity = NewButton(tr("Show Last Co&mmodity Rpt"), "cmdCommodity", central);
  cmdClear = NewButton(tr("&Clear Form"), "cmdClear", central);
  for (QPushButton* b : {cmdPrintResFl, cmdPrintOrmidAnalysis, cmdCommodity, cmdClear})
    bottom->addWidget(b, 0, Qt::AlignTop);
  lblPrinterMsg = NewLabel(kPrinterNote, "lblPrinterMsg", central);
  lblPrinterMsg->setWordWrap(true);
  lblPrinterMsg->setStyleSheet("QLabel { color: darkred; }");
  lblPrinterMsg->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  bottom->addWidget(lblPrinterMsg, 1);
  outer->addLayout(bottom);

  KeepPlace({fraResFile, lblStart, cmdPAD, chkSaveRpt, lblRptFile, txtRptFile, lblCrit1, lblCrit2,
             lblCrit3, txtCrit1, txtCrit2, lineCrit1, lineCrit2, lineCrit3, frmSubPop,
             cmdPrintResFl, cmdPrintOrmidAnalysis, lblPrinterMsg});

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

void FrmOrmid::SetTabOrder() {
  // Row by row: each endpoint's box, then its value; then the options, the
  // commodity choices, the subgroup grid, and the buttons at the bottom.
  std::vector<QWidget*> order = {chkMOE1,      txtMOE1,     chkMOE2,    txtMOE2,
                                 chkMOE3,      txtMOE3,     chkMOE4,    cmdPAD,
                                 chkSecondAdj, chkSaveRpt,  txtRptFile, txtComment,
                                 chkComplete,  chkCritical, txtCrit1,   txtCrit2};
  order.insert(order.end(), chkStandard.begin(), chkStandard.end());
  order.insert(order.end(), {cmdSubgroupsAll, cmdSubgroupsNone});
  order.insert(order.end(), {cmdPrintResFl, cmdPrintOrmidAnalysis, cmdCommodity, cmdClear});
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void FrmOrmid::Form_Load() {
  std::string caption = WindowCaption(m_);
  setWindowTitle(FromBytes(caption));
  lblDefault->setText(FromBytes(m_.gResiduePath));

  // One check box per subgroup: elements 0 to 15 in the first column, the
  // rest in the second, each at 280 twips below the one before.
  auto* grid = new QGridLayout(frmSubPop);
  grid->setVerticalSpacing(0);
  for (int k = 0; k < m_.gPopCount; ++k) {
    auto* box = new QCheckBox(FromBytes(m_.gPopNames[static_cast<std::size_t>(k) + 1]), frmSubPop);
    box->setObjectName(QString("chkStandard%1").arg(k));
    grid->addWidget(box, k > 15 ? k - 16 : k, k > 15 ? 1 : 0);
    chkStandard.push_back(box);
  }
  // Every subgroup ticked or none, in one press (Alt+L, Alt+N).
  auto* allNone = new QHBoxLayout();
  cmdSubgroupsAll = NewButton(tr("A&ll"), "cmdSubgroupsAll", frmSubPop);
  cmdSubgroupsNone = NewButton(tr("&None"), "cmdSubgroupsNone", frmSubPop);
  cmdSubgroupsAll->setToolTip(tr("Tick every subgroup"));
  cmdSubgroupsNone->setToolTip(tr("Untick every subgroup"));
  allNone->addWidget(cmdSubgroupsAll);
  allNone->addWidget(cmdSubgroupsNone);
  allNone->addStretch(1);
  grid->addLayout(allNone, grid->rowCount(), 0, 1, 2);
  auto tickAll = [this](Qt::CheckState state) {
    for (QCheckBox* box : chkStandard) box->setCheckState(state);
  };
  connect(cmdSubgroupsAll, &QPushButton::clicked, this, [tickAll] { tickAll(Qt::Checked); });
  connect(cmdSubgroupsNone, &QPushButton::clicked, this, [tickAll] { tickAll(Qt::Unchecked); });

  mnuStart->setEnabled(false);
  mnuCommodity->setEnabled(false);
  mnuAggregate->setEnabled(false);
  mnuExportResults->setEnabled(false);
  mnuExportResidueTable->setEnabled(false);
  for (QWidget* w : std::initializer_list<QWidget*>{
           frmSubPop, lblCrit1, lblCrit2, lblCrit3, txtCrit1, txtCrit2, lineCrit1, lineCrit2,
           lineCrit3, fraResFile, cmdPAD, lblRptFile, txtRptFile, cmdPrintResFl, lblPrinterMsg})
    w->hide();
}

// --- Closing ---

void FrmOrmid::mnuExit_Click() {
  if (exiting_) return;
  exiting_ = true;
  SaveLayout();
  for (auto& [caption, viewer] : viewers) viewer->close();
  if (frmResults) frmResults->close();
  if (frmCommodityResults) frmCommodityResults->close();
  if (frmCumulativeResults) frmCumulativeResults->close();
  if (frmAggregateResults) frmAggregateResults->close();
  if (frmPastResults) frmPastResults->close();
  if (frmPastCumulative) frmPastCumulative->close();
  if (frmSPD_) frmSPD_->close();
  close();
  QApplication::quit();
}

void FrmOrmid::SaveLayout() {
  SaveWindowLayout("main", *this);
  for (auto& [caption, viewer] : viewers)
    if (viewer->Placed()) SaveWindowLayout("viewer/" + FromBytes(caption), *viewer);
  for (ResultsFrame* results : ResultsWindows())
    if (results->property("placed").toBool())
      SaveWindowLayout("results/" + results->objectName(), *results, results->SplitterState());
}

std::vector<ResultsFrame*> FrmOrmid::ResultsWindows() const {
  std::vector<ResultsFrame*> windows;
  for (ResultsFrame* w : std::initializer_list<ResultsFrame*>{
           frmResults, frmCommodityResults, frmCumulativeResults, frmAggregateResults})
    if (w) windows.push_back(w);
  return windows;
}

void FrmOrmid::mnuResetLayout_Click() {
  // Every window where it opens the first time: the main window at its
  // size, the viewers beside it, the Results windows beside the viewer.
  ForgetWindowLayouts();
  resize(sizeHint());
  if (const QScreen* s = screen()) move(s->availableGeometry().topLeft());
  for (auto& [caption, viewer] : viewers) {
    viewer->ForgetPlace();
    if (viewer->isVisible()) viewer->PlaceBeside(*this);
  }
  QWidget* report = frmReport2 && frmReport2->isVisible() ? frmReport2 : nullptr;
  for (ResultsFrame* results : ResultsWindows()) {
    results->RestoreSplitterState({});
    results->setProperty("placed", false);
    if (results->isVisible()) {
      PlaceResultsWindow(*results, *this, report);
      results->setProperty("placed", true);
    }
  }
}

void FrmOrmid::closeEvent(QCloseEvent* event) {
  // Closing the window by any means ends the program.
  event->accept();
  mnuExit_Click();
}

}  // namespace ormid
