#include "desktop/main_window/window_layout.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace ormid {

namespace {

QSettings Settings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, "Ormid", "ormid");
}

}  // namespace

void SaveWindowLayout(const QString& key, const QWidget& window, const QByteArray& splitter) {
  QSettings settings = Settings();
  settings.setValue("layout/" + key + "/geometry", window.saveGeometry());
  if (!splitter.isEmpty()) settings.setValue("layout/" + key + "/splitter", splitter);
}

bool RestoreWindowLayout(const QString& key, QWidget& window, QByteArray* splitter) {
  QSettings settings = Settings();
  const QByteArray geometry = settings.value("layout/" + key + "/geometry").toByteArray();
  if (geometry.isEmpty()) return false;
  if (!window.restoreGeometry(geometry)) return false;
  // A place on a screen that is gone (another monitor) is not kept.
  bool onScreen = false;
  for (const QScreen* screen : QGuiApplication::screens())
    onScreen = onScreen || screen->availableGeometry().intersects(window.frameGeometry());
  if (!onScreen) return false;
  if (splitter) *splitter = settings.value("layout/" + key + "/splitter").toByteArray();
  return true;
}

void ForgetWindowLayouts() {
  QSettings settings = Settings();
  settings.remove("layout");
}

}  // namespace ormid
