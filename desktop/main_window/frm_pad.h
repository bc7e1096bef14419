// frmPAD: the PAD entry form. One row per subgroup that can carry a PAD;
// Enter, Up and Down validate a box and move between rows; every way of
// closing the form stores the rows into gPAD.
#pragma once

#include <QDialog>
#include <vector>

#include "setup/pad_form.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace ormid {

struct ModOrmid;
class Platform;

class FrmPAD : public QDialog {
  Q_OBJECT

 public:
  FrmPAD(ModOrmid& m, Platform& p, QWidget* parent = nullptr);

  std::vector<QLabel*> lblPop;
  std::vector<QLineEdit*> txtPAD;
  QLabel* lblUnits = nullptr;
  QLabel* lblHelp = nullptr;
  QPushButton* cmdClear = nullptr;
  QPushButton* cmdExit = nullptr;

  void cmdExit_Click();
  void cmdClear_Click();
  // The key handling of row `row`; true when the key was a move key.
  bool txtPAD_KeyDown(int row, int key);

  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load();
  void StoreRows();

  ModOrmid& m_;
  Platform& p_;
  std::vector<PadRow> rows_;
  bool stored_ = false;
};

}  // namespace ormid
