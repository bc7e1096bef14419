#include "desktop/delivery/frm_spd.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "core/mod_ormid.h"
#include "delivery/report_delivery.h"

namespace ormid {

FrmSPD::FrmSPD(ModOrmid& m, Platform& p, QWidget* parent, std::function<void()> readSetupFile)
    : QDialog(parent), m_(m), p_(p), readSetupFile_(std::move(readSetupFile)) {
  setObjectName("frmSPD");
  setModal(true);
  cmdScreen = new QPushButton(tr("&Screen"), this);
  cmdPrinter = new QPushButton(tr("&Printer"), this);
  cmdDiskFile = new QPushButton(tr("&Disk File"), this);
  cmdCancel = new QPushButton(tr("Cancel"), this);
  cmdScreen->setObjectName("cmdScreen");
  cmdPrinter->setObjectName("cmdPrinter");
  cmdDiskFile->setObjectName("cmdDiskFile");
  cmdCancel->setObjectName("cmdCancel");
  auto* layout = new QHBoxLayout(this);
  for (QPushButton* b : {cmdScreen, cmdPrinter, cmdDiskFile, cmdCancel}) {
    b->setAutoDefault(false);
    layout->addWidget(b);
  }
  cmdScreen->setDefault(true);
  connect(cmdScreen, &QPushButton::clicked, this, &FrmSPD::cmdScreen_Click);
  connect(cmdPrinter, &QPushButton::clicked, this, &FrmSPD::cmdPrinter_Click);
  connect(cmdDiskFile, &QPushButton::clicked, this, &FrmSPD::cmdDiskFile_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &FrmSPD::cmdCancel_Click);
  setMinimumWidth(420);
}

void FrmSPD::cmdScreen_Click() {
  m_.gReportDest = kDestScreen;
  accept();
}

void FrmSPD::cmdPrinter_Click() {
  m_.gReportDest = kDestPrinter;
  accept();
}

void FrmSPD::cmdCancel_Click() {
  m_.gReportDest = kDestNone;
  reject();
}

void FrmSPD::cmdDiskFile_Click() {
  // A cancelled or empty save dialog leaves this dialog open for another choice.
  if (ChooseSaveFile(m_, p_, readSetupFile_)) accept();
}

}  // namespace ormid
