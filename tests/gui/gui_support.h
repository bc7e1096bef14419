// What the desktop tests share: modal forms driven by scripts instead of
// a blocking exec().
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPrinter>
#include <QPushButton>
#include <QtTest>
#include <deque>
#include <functional>

#include "desktop/delivery/frm_spd.h"
#include "desktop/main_window/modal_runner.h"

namespace ormid::test {

// Modal forms are shown, handed to the next script, and closed by their
// close box when the script leaves them open.
class ScriptedRunner : public ModalRunner {
 public:
  void RunModal(QDialog& dialog) override {
    ++shown;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    if (!scripts.empty()) {
      auto script = scripts.front();
      scripts.pop_front();
      script(dialog);
    }
    if (dialog.isVisible()) dialog.reject();
  }
  bool ConfigurePrinter(QPrinter& printer) override {
    if (atPrintDialog) atPrintDialog();
    if (pdf.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  }
  std::deque<std::function<void(QDialog&)>> scripts;
  // Called while the print dialog would be open.
  std::function<void()> atPrintDialog;
  QString pdf;
  int shown = 0;
};

// A destination dialog script pressing one button.
inline std::function<void(QDialog&)> Press(QPushButton* FrmSPD::*button) {
  return [button](QDialog& d) { (qobject_cast<FrmSPD*>(&d)->*button)->click(); };
}

}  // namespace ormid::test
