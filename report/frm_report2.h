// frmReport2: the report viewer, a modeless window showing a report file as
// plain text in a fixed-pitch font. Esc hides it.
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;

namespace ormid {

class FrmReport2 : public QDialog {
  Q_OBJECT

 public:
  explicit FrmReport2(QWidget* parent = nullptr);

  // Replaces the shown text with the file's; false when it cannot be read.
  bool LoadFile(const std::string& file);

  QPlainTextEdit* rtbreport = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// Courier New 8.25 point, or the platform's fixed-pitch font where it is missing.
QFont ReportFont(double pointSize);

}  // namespace ormid
