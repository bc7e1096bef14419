// The About box (Help > About Ormid...): the program, its version and
// source revision, and the libraries it runs with, each with its version.
#pragma once

#include <QString>
#include <memory>

class QMessageBox;
class QWidget;

namespace ormid {

// The box's text (rich text): Qt's version as the program runs with it,
// then the engine's libraries.
QString AboutText();

// The box itself, for the program's modal runner to show.
std::unique_ptr<QMessageBox> NewAboutBox(QWidget* parent);

}  // namespace ormid
