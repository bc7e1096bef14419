// The windows' places and sizes, and the Results windows' splitters, kept
// between sessions in the user's settings (QSettings, "Ormid/ormid"):
// saved when the program ends, read when a window first opens, forgotten
// by View > Reset Window Layout.
#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

namespace ormid {

// The key a window's layout is kept under: "main", "viewer/CAPTION",
// "results/OBJECTNAME".
void SaveWindowLayout(const QString& key, const QWidget& window, const QByteArray& splitter = {});
// Puts the window where it was kept; false (the window as it was) when
// nothing is kept for it or the place is off every screen. `splitter`
// receives the kept splitter state.
bool RestoreWindowLayout(const QString& key, QWidget& window, QByteArray* splitter = nullptr);
// Forgets every kept layout.
void ForgetWindowLayouts();

}  // namespace ormid
