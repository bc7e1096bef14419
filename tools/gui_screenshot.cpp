// ormid-screenshot: starts the desktop program on an installation under a
// running X server with a window manager, opens a residue file as the open
// dialog would, sets a few analysis parameters, runs the long-term analysis
// to the screen and saves a picture of the desktop: the main window and,
// beside it, the report viewer, both with the window manager's frames; when
// a second picture is named, the screen with the Results window of the same
// run where it opens, beside the report; and when a third is named, the Run
// History window with that run and a second one (a lower RfD, without the NOEL) compared.
//
//   ormid-screenshot WORKDIR RESIDUE_FILE OUTPUT.png [RESULTS.png [HISTORY.png]]
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <cstdio>

#include "core/mod_ormid.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/frm_spd.h"
#include "desktop/history/frm_history.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/qt_platform.h"
#include "desktop/results/frm_results.h"
#include "setup/startup.h"

namespace {

// The program's platform, with the open dialog answered by the named file
// and the destination dialog by its Screen button.
class ScreenshotPlatform : public ormid::QtPlatform {
 public:
  explicit ScreenshotPlatform(std::string file) : file_(std::move(file)) {}
  std::optional<std::string> OpenFileDialog(const ormid::FileDialogRequest&) override {
    return file_;
  }
  void RunModal(QDialog& dialog) override {
    if (auto* spd = qobject_cast<ormid::FrmSPD*>(&dialog)) spd->cmdScreen->click();
  }

 private:
  std::string file_;
};

void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 4 || argc > 6) {
    std::fprintf(stderr,
                 "usage: ormid-screenshot WORKDIR RESIDUE_FILE OUTPUT.png [RESULTS.png "
                 "[HISTORY.png]]\n");
    return 2;
  }
  QString resultsOutput = argc >= 5 ? QDir::current().absoluteFilePath(argv[4]) : QString();
  QString historyOutput = argc == 6 ? QDir::current().absoluteFilePath(argv[5]) : QString();
  QString output = QDir::current().absoluteFilePath(argv[3]);
  std::string residue = QDir::current().absoluteFilePath(argv[2]).toStdString();
  if (!QDir::setCurrent(argv[1])) {
    std::fprintf(stderr, "ormid-screenshot: cannot enter %s\n", argv[1]);
    return 1;
  }
  ScreenshotPlatform platform(residue);
  ormid::ModOrmid m;
  if (!ormid::StartUp(m, platform, false)) return 1;
  ormid::FrmOrmid window(m, platform, platform);
  platform.SetParentWindow(&window);
  window.move(0, 0);
  window.show();
  Settle(400);
  window.mnuOpenRes_Click();
  window.chkMOE1->setChecked(true);
  window.chkMOE2->setChecked(true);
  window.txtMOE1->setText("0.5");
  window.chkComplete->setChecked(true);
  window.chkCritical->setChecked(true);
  window.txtCrit1->setText("5");
  window.txtCrit2->setText("10");
  window.chkStandard[16]->setChecked(true);
  window.chkStandard[26]->setChecked(true);
  window.mnuStart_Click();
  // The run's Results window waits for its own picture.
  if (window.frmResults) window.frmResults->hide();
  Settle(800);
  if (!window.frmReport2 || !window.frmReport2->isVisible()) {
    std::fprintf(stderr, "ormid-screenshot: the report viewer did not open\n");
    return 1;
  }
  // The desktop with both frames, cut to the windows and a small margin.
  QRect both = window.frameGeometry().united(window.frmReport2->frameGeometry());
  QScreen* screen = window.screen();
  QPixmap desktop = screen->grabWindow(0);
  QRect cut = both.adjusted(-8, -8, 8, 8).intersected(screen->geometry());
  if (!desktop.copy(cut).save(output)) {
    std::fprintf(stderr, "ormid-screenshot: cannot write %s\n", qPrintable(output));
    return 1;
  }
  auto show = [](const char* what, const QRect& r) {
    std::printf("%s: %dx%d at %d,%d (with its frame)\n", what, r.width(), r.height(), r.x(), r.y());
  };
  show("main window", window.frameGeometry());
  show("report viewer", window.frmReport2->frameGeometry());
  if (resultsOutput.isEmpty()) return 0;

  ormid::FrmResults* results = window.frmResults;
  if (!results) {
    std::fprintf(stderr, "ormid-screenshot: the Results window did not open\n");
    return 1;
  }
  // Where the program puts it: beside the report, in front of the main window.
  results->show();
  results->raise();
  Settle(800);
  QRect frame = results->frameGeometry();
  if (!screen->grabWindow(0).save(resultsOutput)) {
    std::fprintf(stderr, "ormid-screenshot: cannot write %s\n", qPrintable(resultsOutput));
    return 1;
  }
  show("results window", frame);
  if (historyOutput.isEmpty()) return 0;

  // A second run with a lower RfD, then both runs compared.
  results->hide();
  window.frmReport2->hide();
  window.chkMOE1->setChecked(false);
  window.txtMOE2->setText("0.003");
  window.mnuStart_Click();
  if (window.frmResults) window.frmResults->hide();
  for (QWidget* top : QApplication::topLevelWidgets())
    if (qobject_cast<ormid::FrmReport2*>(top)) top->hide();
  window.mnuRunHistory->trigger();
  ormid::FrmHistory* history = window.frmHistory;
  if (!history) {
    std::fprintf(stderr, "ormid-screenshot: the Run History window did not open\n");
    return 1;
  }
  Settle(400);
  history->move(0, 0);
  history->grdRuns->selectRow(0);
  history->grdRuns->selectionModel()->select(
      history->grdRuns->model()->index(1, 0),
      QItemSelectionModel::Select | QItemSelectionModel::Rows);
  history->CompareSelected();
  if (!history->dlgCompare) {
    std::fprintf(stderr, "ormid-screenshot: the comparison did not open\n");
    return 1;
  }
  const QRect room = screen->availableGeometry();
  history->dlgCompare->move(room.right() - history->dlgCompare->frameGeometry().width(),
                            room.bottom() - history->dlgCompare->frameGeometry().height());
  history->dlgCompare->raise();
  Settle(400);
  history->move(0, 0);
  history->dlgCompare->move(room.right() - history->dlgCompare->frameGeometry().width(),
                            room.bottom() - history->dlgCompare->frameGeometry().height());
  Settle(800);
  if (!screen->grabWindow(0).save(historyOutput)) {
    std::fprintf(stderr, "ormid-screenshot: cannot write %s\n", qPrintable(historyOutput));
    return 1;
  }
  show("run history", history->frameGeometry());
  show("comparison", history->dlgCompare->frameGeometry());
  return 0;
}
