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
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/mod_ormid.h"
#include "core/paths.h"
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
#include "run_record/export_dialog.h"
#include "run_record/finished_run.h"
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

// The run comment as the reports take it: its lines joined by CR LF, as a
// multi-line text box hands them over (and as --comment passes them on).
std::string CommentBytes(const QString& text) {
  QString lines = text;
  lines.remove('\r');
  lines.replace('\n', "\r\n");
  return ToBytes(lines);
}

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
  // hold their places.
  resize(sizeHint());
}

FrmOrmid::~FrmOrmid() {
  delete frmReport2;
  delete frmResults;
  delete frmCommodityResults;
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
  mnuExportResults =
      mnuFile->addAction(tr("&Export Results..."), this, &FrmOrmid::mnuExportResults_Click);
  mnuFile->addSeparator();
  mnuExit = mnuFile->addAction(tr("E&xit"), this, &FrmOrmid::mnuExit_Click);
  mnuAnalysis = menuBar()->addMenu(tr("Run &Analysis"));
  mnuStart = mnuAnalysis->addAction(tr("&Ormid Analysis"), this, &FrmOrmid::mnuStart_Click);
  mnuCommodity =
      mnuAnalysis->addAction(tr("Co&mmodity Analysis"), this, &FrmOrmid::mnuCommodity_Click);
  mnuView = menuBar()->addMenu(tr("&View"));
  mnuRunHistory = mnuView->addAction(tr("Run &History..."), this, &FrmOrmid::mnuRunHistory_Click);
  mnuRecordHistory = mnuView->addAction(tr("&Record Runs in History"));
  mnuRecordHistory->setCheckable(true);
  mnuRecordHistory->setChecked(true);
  mnuHlp = menuBar()->addMenu(tr("&Help"));
  mnuHelp = mnuHlp->addAction(tr("&Ormid Help"), this, &FrmOrmid::mnuHelp_Click);
  // The shortcuts a desktop user expects, beside the access keys.
  mnuOpenRes->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  mnuClose->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
  mnuExportResults->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  mnuHelp->setShortcut(QKeySequence(Qt::Key_F1));

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

  mnuStart->setEnabled(false);
  mnuCommodity->setEnabled(false);
  mnuExportResults->setEnabled(false);
  mnuExportResidueTable->setEnabled(false);
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
  request.initialDir = m_.gResiduePath;
  request.fileName = StemOf(m_.gResidueFileName) + ".csv";
  auto chosen = p_.SaveFileDialogWithType(request);
  p_.ChangeDir(m_.gWorkingDir);
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
  tableRequest.initialDir = m_.gResiduePath;
  auto table = p_.OpenFileDialog(tableRequest);
  p_.ChangeDir(m_.gWorkingDir);
  if (!table || table->empty()) return;

  const std::string extension = ResidueExtension(m_);
  FileDialogRequest request;
  request.title = "Import Residue Table: the residue file to write";
  request.filter = ResidueFileFilter(m_.gSurveyBase);
  request.initialDir = m_.gResiduePath;
  request.fileName = StemOf(*table) + extension;
  auto output = p_.SaveFileDialog(request);
  p_.ChangeDir(m_.gWorkingDir);
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
  if (!outcome.problems.empty()) {
    std::vector<std::string> lines = outcome.problems;
    lines.insert(lines.end(), outcome.warnings.begin(), outcome.warnings.end());
    ShowProblems("Import Residue Table",
                 "The table " + *table +
                     " was not imported: " + std::to_string(outcome.problems.size()) +
                     (outcome.problems.size() == 1 ? " problem." : " problems.") +
                     " No residue file was written.",
                 lines);
    return;
  }
  if (!outcome.written) return;
  if (!outcome.warnings.empty())
    ShowProblems("Import Residue Table",
                 "The residue file " + residue + " was written, with:", outcome.warnings);
  // The new file is opened in place of the open one.
  if (m_.gResidueLoaded != 0) mnuClose_Click();
  ChosenResidueFile chosen(p_, residue);
  OpenResidue(chosen);
}

void FrmOrmid::mnuExit_Click() {
  if (exiting_) return;
  exiting_ = true;
  if (frmReport2) frmReport2->close();
  if (frmResults) frmResults->close();
  if (frmCommodityResults) frmCommodityResults->close();
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
  running_ = report;
  ormid::RunRequest request;
  request.kind = report == kRunLongTerm ? RunKind::LongTerm : RunKind::Commodity;
  request.settings = Settings();
  if (mnuRecordHistory->isChecked()) request.history = ormid::RunRequest::History::Record;
  const DateTime started = p_.Now();
  relay_.FreezeClock(started);
  const std::string command = CommandOf(request.kind);
  // The long-term report's header depends on the line count an earlier
  // report of this session left: the manifest records it.
  const int lineCount = m_.gLineCount;
  recorder_ = std::make_unique<RunRecorder>(
      command, [this, command, settings = request.settings, started, lineCount] {
        return BuildManifest(m_, ManifestRun{command, settings, started, false, {}, lineCount});
      });
  runFigures_.Clear();
  RunSession session(m_, relay_);
  const RunOutcome run = session.Run(request, *this);
  relay_.ThawClock();
  EndBusyNote();
  delete progress_;
  progress_ = nullptr;
  if (run.notice) ShowNotice(relay_, *run.notice);
  SetFocus(run.focus);
  if (run.status == RunStatus::Done) {
    FinishRunRecord();
    // A run that did not save its report shows it, its Results window first
    // so that the report's viewer comes up in front of it.
    if (run.showReport) {
      ShowResults(report);
      if (report == kRunLongTerm)
        cmdPrintOrmidAnalysis_Click();
      else
        cmdCommodity_Click();
    }
    // The saved report gets its manifest, as on the command line, and the
    // run goes into the run history; a refused or stopped one leaves
    // nothing there.
    session.Finish([this](const OutputFailure& f) {
      p_.MessageBox(
          "The manifest " + f.path + " could not be written: " + f.reason + ".",
          "Action not completed", MsgIcon::Exclamation, MsgButtons::OK);
    });
    if (request.history != ormid::RunRequest::History::None && frmHistory) frmHistory->Refresh();
    // A run that saved its report has not shown its Results window yet.
    ShowResults(report);
  }
  recorder_.reset();
  running_ = 0;
}

ResultsSink* FrmOrmid::Results() {
  sinks_ = ResultsFanOut();
  sinks_.Add(recorder_.get());
  sinks_.Add(&runFigures_);
  return sinks_.Empty() ? nullptr : &sinks_;
}

void FrmOrmid::mnuRunHistory_Click() {
  if (!frmHistory) frmHistory = new FrmHistory(relay_, kHistoryFile, this);
  frmHistory->Refresh();
  frmHistory->show();
  frmHistory->raise();
  frmHistory->activateWindow();
}

void FrmOrmid::FinishRunRecord() {
  if (!recorder_ || running_ == 0) return;
  const bool longTerm = running_ == kRunLongTerm;
  auto run = recorder_->Finish(longTerm ? kLongTermReportFile : kCommodityReportFile);
  (longTerm ? lastLongTerm_ : lastCommodity_) = run;
  lastRun_ = run;
  mnuExportResults->setEnabled(true);
}

void FrmOrmid::WriteReportManifest(const FinishedRun& run, const std::string& saved) {
  std::string error;
  if (!WriteSavedReportManifest(p_, run, saved, error))
    p_.MessageBox(
        "The manifest " + ManifestPathFor(saved) + " could not be written: " + error + ".",
        "Action not completed", MsgIcon::Exclamation, MsgButtons::OK);
}

void FrmOrmid::ReportSaved(int kind, const std::string& path) {
  const FinishedRun* run = kind == kReportLongTerm    ? lastLongTerm_.get()
                           : kind == kReportCommodity ? lastCommodity_.get()
                                                      : nullptr;
  // Only the very report of that run: not one left by an earlier session,
  // nor one a stopped run has replaced since.
  if (run && run->IsReport(path)) WriteReportManifest(*run, path);
}

void FrmOrmid::mnuExportResults_Click() {
  if (!lastRun_) return;
  const FinishedRun& run = *lastRun_;
  auto path = ChooseExportFile(p_, m_.gResiduePath, m_.gWorkingDir,
                               ProposedExportName(run, exportType_), exportType_);
  if (!path) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto failures = ExportFinishedRun(p_, m_, run, *path);
  QApplication::restoreOverrideCursor();
  for (const ExportFailure& f : failures)
    p_.MessageBox("The export file " + f.path + " could not be written: " + f.reason + ".",
                  "Export Results", MsgIcon::Exclamation, MsgButtons::OK);
  if (failures.empty())
    p_.MessageBox(std::string(run.command == "longterm" ? "Results of the Ormid analysis"
                                                        : "Results of the commodity analysis") +
                      " exported to file " + *path,
                  "Action completed", MsgIcon::Information, MsgButtons::OK);
}

void FrmOrmid::ShowResults(int report) {
  QWidget* window = nullptr;
  if (report == kRunLongTerm) {
    if (runFigures_.longTerm.empty()) return;
    if (!frmResults) frmResults = new FrmResults(p_);
    frmResults->ShowLongTerm(std::move(runFigures_.longTerm),
                             std::make_unique<LongTermRun>(LongTermRun{m_, std::move(runTerms_)}));
    runTerms_ = ExposureTerms{};
    window = frmResults;
  } else {
    if (runFigures_.rows.empty()) return;
    if (!frmCommodityResults) frmCommodityResults = new FrmCommodityResults(p_);
    // The window keeps the run's state, terms and rows: what-if reads no file
    // and does not change with the next run.
    frmCommodityResults->ShowRun(
        std::make_unique<CommodityWhatIf>(m_, std::move(runTerms_), std::move(runFigures_)),
        m_.gChemicalName);
    runTerms_ = ExposureTerms{};
    runFigures_ = RunFigures{};
    window = frmCommodityResults;
  }
  // The window opens beside the report without taking the keyboard from
  // the window that has it.
  QWidget* active = QApplication::activeWindow();
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
  statusBar()->showMessage(running_ == kRunCommodity ? tr("Running the commodity analysis...")
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

void FrmOrmid::ShowViewer(const std::string& caption, const std::string& file, int kind) {
  if (!frmReport2) {
    frmReport2 = new FrmReport2();
    connect(frmReport2, &FrmReport2::printRequested, this, &FrmOrmid::ViewerPrint);
    connect(frmReport2, &FrmReport2::saveRequested, this, &FrmOrmid::ViewerSave);
    connect(frmReport2, &FrmReport2::pdfRequested, this, &FrmOrmid::ViewerSavePdf);
  }
  frmReport2->setWindowTitle(FromBytes(caption));
  if (!frmReport2->LoadFile(file, kind)) {
    p_.MessageBox("The report " + file + " cannot be read.", "Show report", MsgIcon::Exclamation,
                  MsgButtons::OK);
    return;
  }
  frmReport2->PlaceBeside(*this);
  frmReport2->show();
  frmReport2->raise();
  frmReport2->activateWindow();
}

PrintOutcome FrmOrmid::PrintFile(const std::string& text, std::string& error) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName("Ormid report");
  if (!runner_.ConfigurePrinter(printer)) return PrintOutcome::Cancelled;
  int kind = frmReport2 && printingShown_ ? frmReport2->Kind() : m_.gReportKind;
  return PrintReportOn(printer, text, ReportColumns(text, kind), error) ? PrintOutcome::Printed
                                                                        : PrintOutcome::Failed;
}

void FrmOrmid::ViewerPrint() {
  if (!frmReport2) return;
  m_.gReportDest = 2;
  printingShown_ = true;
  DeliverShownText(m_, p_, *this, frmReport2->Kind(), frmReport2->ShownText());
  printingShown_ = false;
}

void FrmOrmid::ViewerSave() {
  if (!frmReport2) return;
  m_.gReportKind = static_cast<Int16>(frmReport2->Kind());
  if (!ChooseSaveFile(m_, p_, [this] { ReadSetupFile(m_, p_); })) return;
  DeliverShownText(m_, p_, *this, frmReport2->Kind(), frmReport2->ShownText());
}

void FrmOrmid::ViewerSavePdf() {
  if (!frmReport2) return;
  const std::string& text = frmReport2->ShownText();
  int kind = frmReport2->Kind();
  SaveReportPdf(m_, p_, kind, [&text, kind](std::string& pdf, std::string& error) {
    return ReportPdf(text, kind, pdf, error);
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
