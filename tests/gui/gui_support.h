// What the desktop tests share: modal forms driven by scripts instead of
// a blocking exec(), and the start of a small installation with the main
// window on it.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPrinter>
#include <QPushButton>
#include <QtTest>
#include <deque>
#include <functional>
#include <memory>

#include "desktop/delivery/frm_spd.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/modal_runner.h"
#include "tests/installation_fixture.h"

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

// An installation (the small one unless told) started in a folder of its
// own, and the main window shown and exposed on it with the runner given:
// the start of every desktop test. StopDesktop closes both, the window
// first; a runner the test owns goes after it.
class DesktopFixture {
 protected:
  bool StartDesktop(ModalRunner& runner,
                    const testdata::Installation& installation = SmallInstallation(0)) {
    inst_ = std::make_unique<StartedInstallation>(installation);
    if (!inst_->started) return false;
    w_ = std::make_unique<FrmOrmid>(inst_->m, inst_->platform, runner);
    w_->show();
    return QTest::qWaitForWindowExposed(w_.get());
  }
  void StopDesktop() {
    w_.reset();
    inst_.reset();
  }

  std::unique_ptr<StartedInstallation> inst_;
  std::unique_ptr<FrmOrmid> w_;
};

}  // namespace ormid::test
