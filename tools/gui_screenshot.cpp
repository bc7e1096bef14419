// ormid-screenshot: starts the desktop program's main window on an
// installation, opens a residue file as the open dialog would, sets a few
// analysis parameters and saves a picture of the window.
//
//   ormid-screenshot WORKDIR RESIDUE_FILE OUTPUT.png
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/frm_ormid.h"
#include "app/qt_platform.h"
#include "app/startup.h"
#include "core/mod_ormid.h"

namespace {

// The program's platform, with the open dialog answered by the named file.
class ScreenshotPlatform : public ormid::QtPlatform {
 public:
  explicit ScreenshotPlatform(std::string file) : file_(std::move(file)) {}
  std::optional<std::string> OpenFileDialog(const ormid::FileDialogRequest&) override {
    return file_;
  }

 private:
  std::string file_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: ormid-screenshot WORKDIR RESIDUE_FILE OUTPUT.png\n");
    return 2;
  }
  QString output = QDir::current().absoluteFilePath(argv[3]);
  std::string residue = QDir::current().absoluteFilePath(argv[2]).toStdString();
  if (!QDir::setCurrent(argv[1])) {
    std::fprintf(stderr, "ormid-screenshot: cannot enter %s\n", argv[1]);
    return 1;
  }
  ScreenshotPlatform platform(residue);
  ormid::ModOrmid m;
  if (!ormid::StartUp(m, platform, false)) return 1;
  ormid::FrmOrmid window(m, platform, platform);
  platform.SetParentWindow(&window);
  window.resize(1000, 720);
  window.show();
  window.mnuOpenRes_Click();
  window.chkMOE1->setChecked(true);
  window.chkMOE2->setChecked(true);
  window.chkComplete->setChecked(true);
  window.chkCritical->setChecked(true);
  window.txtCrit1->setText("5");
  window.txtCrit2->setText("10");
  window.chkStandard[16]->setChecked(true);
  window.chkStandard[26]->setChecked(true);
  int status = 0;
  QTimer::singleShot(500, [&] {
    if (!window.grab().save(output)) {
      std::fprintf(stderr, "ormid-screenshot: cannot write %s\n", qPrintable(output));
      status = 1;
    }
    app.quit();
  });
  app.exec();
  return status;
}
