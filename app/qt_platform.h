// The desktop program's platform: Qt message boxes, input box and file
// dialogs, the local clock, and modal forms shown with exec().
#pragma once

#include <QWidget>

#include "app/modal_runner.h"
#include "core/platform.h"

namespace ormid {

class QtPlatform : public Platform, public ModalRunner {
 public:
  // Dialogs are centred over the parent once there is one.
  void SetParentWindow(QWidget* parent) { parent_ = parent; }

  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultAnswer) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
  DateTime Now() override;

  void RunModal(QDialog& dialog) override;
  bool ConfigurePrinter(QPrinter& printer) override;

 private:
  QWidget* parent_ = nullptr;
};

// "Residue files (*.R98)|*.R98;*.r98" as a Qt name filter.
QString QtNameFilter(const std::string& filter);

// Single-byte report and data text to and from Qt strings.
inline QString FromBytes(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string ToBytes(const QString& s) {
  return s.toLatin1().toStdString();
}

}  // namespace ormid
