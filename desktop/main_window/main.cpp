// ormid: the desktop program. It starts in the current directory as its
// working folder (or asks for the folder holding KavriSupport.txt), reads the
// installation, and shows the main window.
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMenu>

#include "core/mod_ormid.h"
#include "desktop/batch/frm_batch.h"
#include "desktop/history/frm_history.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/qt_platform.h"
#include "setup/startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Ormid");
  ormid::QtPlatform platform;
  ormid::ModOrmid m;
  // No window is shown before start-up has succeeded.
  if (!ormid::StartUp(m, platform, true)) return 0;
  ormid::FrmOrmid window(m, platform, platform);
  platform.SetParentWindow(&window);
  // File > Batch Run...: residue files chosen together, run with the
  // window's current settings into a folder, in the background.
  auto* batch = new QAction(QObject::tr("&Batch Run..."), &window);
  window.mnuFile->insertAction(window.mnuExit, batch);
  QObject::connect(batch, &QAction::triggered, &window, [&] {
    const QStringList files = QFileDialog::getOpenFileNames(
        &window, QObject::tr("Batch Run: Residue Files"), QString::fromStdString(m.gResiduePath),
        QObject::tr("Residue files (*.R98 *.R10 *.r98 *.r10)"));
    if (files.isEmpty()) return;
    const QString out = QFileDialog::getExistingDirectory(
        &window, QObject::tr("Batch Run: Output Folder"), QString::fromStdString(m.gWorkingDir));
    if (out.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    auto* dialog = new ormid::FrmBatch(m, window.Settings(), platform, &window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->SetFiles(paths, out.toStdString());
    // The batch's runs go into the run history as the window's do.
    dialog->SetRecordHistory(window.mnuRecordHistory->isChecked());
    QObject::connect(window.mnuRecordHistory, &QAction::toggled, dialog,
                     &ormid::FrmBatch::SetRecordHistory);
    QObject::connect(dialog, &ormid::FrmBatch::finished, &window, [&window] {
      if (window.frmHistory) window.frmHistory->Refresh();
    });
    dialog->show();
  });
  window.show();
  return app.exec();
}
