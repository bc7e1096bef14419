// frmSPD: the report destination dialog with its four buttons. Its result
// is in gReportDest; closing it without a button leaves the preset.
#pragma once

#include <QDialog>
#include <functional>

class QPushButton;

namespace ormid {

struct ModOrmid;
class Platform;

class FrmSPD : public QDialog {
  Q_OBJECT

 public:
  // readSetupFile reads the setup file again for the Disk File button when
  // the residue folder is not known.
  FrmSPD(ModOrmid& m, Platform& p, QWidget* parent = nullptr,
         std::function<void()> readSetupFile = {});

  QPushButton* cmdScreen = nullptr;
  QPushButton* cmdPrinter = nullptr;
  QPushButton* cmdDiskFile = nullptr;
  QPushButton* cmdCancel = nullptr;

  void cmdScreen_Click();
  void cmdPrinter_Click();
  void cmdDiskFile_Click();
  void cmdCancel_Click();

 private:
  ModOrmid& m_;
  Platform& p_;
  std::function<void()> readSetupFile_;
};

}  // namespace ormid
