// ormid: the desktop program. It starts in the current directory as its
// working folder (or asks for the folder holding KavriSupport.txt), reads the
// installation, and shows the main window.
#include <QApplication>

#include "core/mod_ormid.h"
#include "desktop/main_window/application.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/qt_platform.h"
#include "setup/startup.h"

int main(int argc, char** argv) {
  // --help and --version print and end before a window system is reached.
  if (auto status = ormid::AnswerInformationOptions(argc, argv)) return *status;
  QApplication app(argc, argv);
  ormid::DescribeApplication();
  if (auto status = ormid::CheckOptions(QApplication::arguments())) return *status;
  ormid::QtPlatform platform;
  ormid::ModOrmid m;
  // No window is shown before start-up has succeeded; a start-up that did
  // not (no installation, a damaged file, the folder prompt cancelled) ends
  // the program with status 1.
  if (!ormid::StartUp(m, platform, true)) return 1;
  ormid::FrmOrmid window(m, platform, platform);
  platform.SetParentWindow(&window);
  window.show();
  return app.exec();
}
