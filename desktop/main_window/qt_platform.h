// The desktop program's platform: Qt message boxes, input box and file
// dialogs, the local clock, and modal forms shown with exec().
#pragma once

#include <QWidget>
#include <memory>

#include "core/platform.h"
#include "desktop/delivery/qt_text.h"
#include "desktop/main_window/modal_runner.h"

class QFileDialog;
class QMessageBox;

namespace ormid {

// While one lasts, the program's dialogs (questions, messages, file
// dialogs) belong to `window`: the viewer or Results window whose button
// started the command, whichever window the window manager made active
// meanwhile (as it may once a file dialog has closed). Scopes nest.
class DialogOwnerScope {
 public:
  explicit DialogOwnerScope(QWidget* window);
  ~DialogOwnerScope();
  DialogOwnerScope(const DialogOwnerScope&) = delete;
  DialogOwnerScope& operator=(const DialogOwnerScope&) = delete;
  // The window of the innermost scope; null outside every scope.
  static QWidget* Current();

 private:
  QWidget* previous_;
};

class QtPlatform : public Platform, public ModalRunner {
 public:
  // Dialogs are centred over the parent once there is one.
  void SetParentWindow(QWidget* parent) { parent_ = parent; }
  // The window a dialog belongs to: the window of the DialogOwnerScope in
  // force, else the program's window in use (the viewer, a Results window,
  // a dialog), so that answering it never raises the main window over that
  // window; the main window when none is active.
  QWidget* DialogOwner() const;

  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultAnswer) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
  std::optional<SaveFileChoice> SaveFileDialogWithType(const FileDialogRequest& request) override;
  DateTime Now() override;

  void RunModal(QDialog& dialog) override;
  bool ConfigurePrinter(QPrinter& printer) override;

 private:
  QWidget* parent_ = nullptr;
};

// The message box as the program shows it: title, text, icon, buttons and
// the default button (No for the Yes/No/Cancel overwrite questions and
// the Yes/No questions).
std::unique_ptr<QMessageBox> NewMessageBox(QWidget* parent, const std::string& text,
                                           const std::string& title, MsgIcon icon,
                                           MsgButtons buttons);

// The residue file open dialog: it returns a typed name even when no such
// file exists, so that the program's own path check can answer it.
std::unique_ptr<QFileDialog> NewOpenFileDialog(QWidget* parent, const FileDialogRequest& request);

// The folder or file the dialogs start from.
QString StartPath(const FileDialogRequest& request);

// "Residue files (*.R98)|*.R98;*.r98" as a Qt name filter; a list of types
// ("CSV|*.csv|JSON|*.json") gives one name filter per type.
QStringList QtNameFilters(const std::string& filter);
QString QtNameFilter(const std::string& filter);

}  // namespace ormid
