#include "app/frm_pad.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/qt_platform.h"
#include "core/mod_ormid.h"

namespace ormid {

namespace {

// The form keeps its design positions, given in twips (15 to a pixel).
int Px(int twips) {
  return twips / 15;
}

}  // namespace

FrmPAD::FrmPAD(ModOrmid& m, Platform& p, QWidget* parent) : QDialog(parent), m_(m), p_(p) {
  setObjectName("frmPAD");
  setModal(true);
  Form_Load();
}

void FrmPAD::Form_Load() {
  setWindowTitle(QString("Ormid") + " PAD Values");
  rows_ = LoadPadRows(m_);
  lblUnits = new QLabel("mg/kg-bw-day", this);
  lblUnits->setObjectName("lblUnits");
  lblUnits->move(Px(4000), Px(100));
  for (int k = 0; k < static_cast<int>(rows_.size()); ++k) {
    int top = k <= 12 ? k * 280 + 100 : k * 280 + 200;
    auto* label = new QLabel(FromBytes(rows_[static_cast<std::size_t>(k)].name), this);
    label->setObjectName(QString("lblPop%1").arg(k));
    label->setGeometry(Px(120), Px(top) + 16, Px(2895), Px(280));
    auto* box = new QLineEdit(FromBytes(rows_[static_cast<std::size_t>(k)].text), this);
    box->setObjectName(QString("txtPAD%1").arg(k));
    box->setGeometry(Px(3000), Px(top) + 16, Px(975), Px(280));
    box->installEventFilter(this);
    lblPop.push_back(label);
    txtPAD.push_back(box);
  }
  cmdClear = new QPushButton("Clear ", this);
  cmdClear->setObjectName("cmdClear");
  cmdClear->setGeometry(Px(3120), Px(6960) + 24, Px(975), Px(400));
  cmdExit = new QPushButton("E&xit/Save", this);
  cmdExit->setObjectName("cmdExit");
  cmdExit->setGeometry(Px(4200), Px(6960) + 24, Px(1095), Px(400));
  for (QPushButton* b : {cmdClear, cmdExit}) b->setAutoDefault(false);
  connect(cmdClear, &QPushButton::clicked, this, &FrmPAD::cmdClear_Click);
  connect(cmdExit, &QPushButton::clicked, this, &FrmPAD::cmdExit_Click);
  lblHelp =
      new QLabel("Populations with blank PAD or PAD = 0 will use the current RfD endpoint.", this);
  lblHelp->setObjectName("lblHelp");
  lblHelp->setWordWrap(true);
  lblHelp->setGeometry(Px(120), Px(6960) + 16, Px(2895), Px(600));
  setFixedSize(Px(5500), Px(7700));
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
