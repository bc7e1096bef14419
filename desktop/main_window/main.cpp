// ormid: the desktop program. It starts in the current directory as its
// working folder (or asks for the folder holding KavriSupport.txt), reads the
// installation, and shows the main window.
#include <QApplication>

#include "core/mod_ormid.h"
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
  window.show();
  return app.exec();
}
