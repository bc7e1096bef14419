#include "desktop/main_window/frm_pad.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/mod_ormid.h"
#include "desktop/main_window/qt_platform.h"

namespace ormid {

FrmPAD::FrmPAD(ModOrmid& m, Platform& p, QWidget* parent) : QDialog(parent), m_(m), p_(p) {
  setObjectName("frmPAD");
  setModal(true);
  Form_Load();
}

void FrmPAD::Form_Load() {
  setWindowTitle(QString("Ormid") + " PAD Values");
  rows_ = LoadPadRows(m_);
  // Names, boxes and the units heading in a grid, so that every name shows
  // whole at any font size; the form can be resized.
  auto* outer = new QVBoxLayout(this);
  auto* grid = new QGridLayout();
  grid->setVerticalSpacing(2);
  grid->setColumnStretch(0, 1);
  outer->addLayout(grid);
  lblUnits = new QLabel("mg/kg-bw-day", this);
  lblUnits->setObjectName("lblUnits");
  grid->addWidget(lblUnits, 0, 1, Qt::AlignHCenter);
  int gridRow = 1;
  for (int k = 0; k < static_cast<int>(rows_.size()); ++k) {
    // A gap before the fourteenth row.
    if (k == 13) grid->setRowMinimumHeight(gridRow++, QFontMetrics(font()).height() / 2 + 4);
    auto* label = new QLabel(FromBytes(rows_[static_cast<std::size_t>(k)].name), this);
    label->setObjectName(QString("lblPop%1").arg(k));
    auto* box = new QLineEdit(FromBytes(rows_[static_cast<std::size_t>(k)].text), this);
    box->setObjectName(QString("txtPAD%1").arg(k));
    box->setMinimumWidth(QFontMetrics(box->font()).horizontalAdvance("0.00000000") + 12);
    label->setBuddy(box);
    box->installEventFilter(this);
    grid->addWidget(label, gridRow, 0);
    grid->addWidget(box, gridRow, 1);
    ++gridRow;
    lblPop.push_back(label);
    txtPAD.push_back(box);
  }
  lblHelp =
      new QLabel("Populations with blank PAD or PAD = 0 will use the current RfD endpoint.", this);
  lblHelp->setObjectName("lblHelp");
  lblHelp->setWordWrap(true);
  outer->addSpacing(6);
  outer->addWidget(lblHelp);
  cmdClear = new QPushButton("Clear ", this);
  cmdClear->setObjectName("cmdClear");
  cmdExit = new QPushButton("E&xit/Save", this);
  cmdExit->setObjectName("cmdExit");
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  for (QPushButton* b : {cmdClear, cmdExit}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  outer->addLayout(buttons);
  connect(cmdClear, &QPushButton::clicked, this, &FrmPAD::cmdClear_Click);
  connect(cmdExit, &QPushButton::clicked, this, &FrmPAD::cmdExit_Click);
  setSizeGripEnabled(true);
  resize(sizeHint());
}

void FrmPAD::StoreRows() {
  for (std::size_t k = 0; k < rows_.size(); ++k) rows_[k].text = ToBytes(txtPAD[k]->text());
  StorePadRows(m_, rows_);
}

void FrmPAD::cmdExit_Click() {
  accept();
}

void FrmPAD::done(int result) {
  // Exit/Save, the window's close box and Esc all store the entries.
  if (!stored_) {
    StoreRows();
    stored_ = true;
  }
  QDialog::done(result);
}

void FrmPAD::cmdClear_Click() {
  if (p_.MessageBox("Are you sure that you want to clear all entries in this form?", "Confirmation",
                    MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes)
    for (QLineEdit* box : txtPAD) box->clear();
}

bool FrmPAD::txtPAD_KeyDown(int row, int key) {
  PadKey padKey = key == Qt::Key_Down                               ? PadKey::Down
                  : key == Qt::Key_Up                               ? PadKey::Up
                  : (key == Qt::Key_Return || key == Qt::Key_Enter) ? PadKey::Enter
                                                                    : PadKey::Other;
  if (padKey == PadKey::Other) return false;
  auto k = static_cast<std::size_t>(row);
  rows_[k].text = ToBytes(txtPAD[k]->text());
  int next = PadKeyDown(rows_, row, padKey);
  txtPAD[k]->setText(FromBytes(rows_[k].text));
  txtPAD[static_cast<std::size_t>(next)]->setFocus();
  return true;
}

bool FrmPAD::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    for (std::size_t k = 0; k < txtPAD.size(); ++k)
      if (watched == txtPAD[k])
        return txtPAD_KeyDown(static_cast<int>(k), static_cast<QKeyEvent*>(event)->key());
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace ormid
