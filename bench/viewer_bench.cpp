// Times the report viewer on a large report, as a person feels it: from
// asking for the report to its first page painted, a find of a word that is
// not there, a find of the last line's word, and the jump to the end. The
// report is a commodity report of the sample installation repeated to the
// size asked for (20 MB by default).
//
//   ormid-viewer-bench REPORT_FILE [MEGABYTES]
//
// With --fresh-run, the path of a fresh run instead: the desktop program's
// main window on a synthetic installation of the scale given (1: full size,
// 10: ten times), a commodity run over every subgroup with the complete
// report, Screen chosen in the destination dialog; from that choice, the
// time to the report's first page painted, the longest the window goes
// without taking its events (a timer ticks every 5 ms), the time until the
// Results window is shown, and the memory held.
//
//   ormid-viewer-bench --fresh-run SCALE
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "bench/synthetic_installation.h"
#include "core/mod_ormid.h"
#include "core/platform.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/frm_spd.h"
#include "desktop/delivery/report_view.h"
#include "desktop/main_window/frm_ormid.h"
#include "desktop/main_window/modal_runner.h"
#include "desktop/results/frm_results.h"
#include "setup/startup.h"

namespace {

double Ms(QElapsedTimer& t) {
  return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// A figure of /proc/self/status ("VmRSS", "VmHWM") in MB.
double StatusMb(const char* what) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(what, 0) == 0) return std::atof(line.c_str() + std::strlen(what) + 1) / 1024.0;
  return 0;
}

// Every question answered with its first button, the residue file's open
// dialog with the bench's file.
class BenchPlatform : public ormid::Platform {
 public:
  std::string residue;
  ormid::MsgAnswer MessageBox(const std::string&, const std::string&, ormid::MsgIcon,
                              ormid::MsgButtons buttons) override {
    return ormid::AnswerUnattended(buttons, false);
  }
  std::string InputBox(const std::string&, const std::string&, const std::string&) override {
    return {};
  }
  std::optional<std::string> OpenFileDialog(const ormid::FileDialogRequest&) override {
    return residue;
  }
  ormid::DateTime Now() override { return {2026, 1, 5, 10, 0, 0}; }
};

// The destination dialog answered with Screen; the clock starts there.
class ScreenRunner : public ormid::ModalRunner {
 public:
  std::function<void()> atScreen;
  void RunModal(QDialog& dialog) override {
    if (auto* spd = qobject_cast<ormid::FrmSPD*>(&dialog)) {
      if (atScreen) atScreen();
      spd->cmdScreen->click();
    }
    if (dialog.isVisible()) dialog.reject();
  }
  bool ConfigurePrinter(QPrinter&) override { return false; }
};

// Watches the viewer's page being painted.
class PaintWatch : public QObject {
 public:
  std::function<void()> painted;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && painted) painted();
    return false;
  }
};

int FreshRun(int scale) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("ormid-fresh-run-" + std::to_string(scale));
  fs::remove_all(dir);
  fs::create_directories(dir);
  BenchPlatform p;
  p.residue = ormid::bench::WriteSyntheticInstallation(scale, dir).string();
  fs::current_path(dir);
  ormid::ModOrmid m;
  if (!ormid::StartUp(m, p, false)) {
    std::fprintf(stderr, "ormid-viewer-bench: the installation in %s does not start\n",
                 dir.c_str());
    return 1;
  }
  ScreenRunner runner;
  ormid::FrmOrmid w(m, p, runner);
  w.show();
  w.mnuOpenRes->trigger();
  w.chkMOE2->setChecked(true);
  w.txtMOE2->setText("0.005");
  w.chkComplete->setChecked(true);
  for (QCheckBox* box : w.chkStandard) box->setChecked(true);

  QElapsedTimer t;
  bool started = false;
  double firstPage = -1, resultsShown = -1, longestGap = 0, lastTick = 0;
  double rssAfterRun = 0;
  PaintWatch watch;
  QTimer ticks;
  ticks.setInterval(5);
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    const double now = Ms(t);
    longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
    const bool shown = w.frmCommodityResults && w.frmCommodityResults->isVisible();
    if (shown && resultsShown < 0) resultsShown = now;
    // Done once the Results window is up and the window has gone on for a
    // moment without work.
    if (resultsShown >= 0 && firstPage >= 0 && now > resultsShown + 300) QApplication::quit();
    if (now > 60000) QApplication::quit();
  });
  runner.atScreen = [&] {
    rssAfterRun = StatusMb("VmRSS:");
    started = true;
    t.start();
    lastTick = 0;
    ticks.start();
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* viewer = qobject_cast<ormid::FrmReport2*>(top))
        viewer->rtbreport->viewport()->installEventFilter(&watch);
  };
  watch.painted = [&] {
    if (firstPage < 0 && started) firstPage = Ms(t);
  };
  // The viewer is made when the report is first shown: the watch goes on it
  // as soon as it exists.
  QTimer findViewer;
  findViewer.setInterval(1);
  QObject::connect(&findViewer, &QTimer::timeout, [&] {
    if (!started) return;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* viewer = qobject_cast<ormid::FrmReport2*>(top))
        viewer->rtbreport->viewport()->installEventFilter(&watch);
  });
  findViewer.start();
  QTimer::singleShot(0, &w, [&] { w.mnuCommodity->trigger(); });
  QApplication::exec();

  std::uintmax_t reportBytes = 0;
  std::error_code ec;
  reportBytes = fs::file_size(dir / "tempcomm.txt", ec);
  std::printf("scale %d, commodity report %.1f MB\n", scale,
              static_cast<double>(reportBytes) / 1048576.0);
  // The viewer's line index: one offset per line.
  std::size_t lines = 0;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* viewer = qobject_cast<ormid::FrmReport2*>(top))
      lines = std::max(lines, static_cast<std::size_t>(std::count(
                                  viewer->ShownText().begin(), viewer->ShownText().end(), '\n')));
  std::printf("report lines %zu (their index %.0f MB)\n", lines,
              static_cast<double>(lines * sizeof(std::size_t)) / 1048576.0);
  std::printf("first page painted after Screen   %8.1f ms\n", firstPage);
  std::printf("longest time without events       %8.1f ms\n", longestGap);
  std::printf("Results window shown after Screen %8.1f ms\n", resultsShown);
  std::printf(
      "memory: after the run %.0f MB, with the report and Results shown %.0f MB, "
      "peak %.0f MB\n",
      rssAfterRun, StatusMb("VmRSS:"), StatusMb("VmHWM:"));
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  return firstPage < 0 || resultsShown < 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: ormid-viewer-bench REPORT_FILE [MEGABYTES]\n"
                 "       ormid-viewer-bench --fresh-run SCALE\n");
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  if (std::string(argv[1]) == "--fresh-run") return FreshRun(argc > 2 ? std::atoi(argv[2]) : 1);
  const double megabytes = argc > 2 ? std::atof(argv[2]) : 20.0;

  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string one = buffer.str();
  if (one.empty()) {
    std::fprintf(stderr, "ormid-viewer-bench: %s is empty or cannot be read\n", argv[1]);
    return 1;
  }
  std::string report;
  const auto size = static_cast<std::size_t>(megabytes * 1024 * 1024);
  while (report.size() < size) report += one;
  report += "Last line of the large report: zanzibar\r\n";
  const auto path = std::filesystem::temp_directory_path() / "ormid-viewer-bench.txt";
  std::ofstream(path, std::ios::binary) << report;

  ormid::FrmReport2 viewer;
  QElapsedTimer t;
  t.start();
  viewer.LoadFile(path.string(), ormid::RunKind::Commodity);
  viewer.show();
  viewer.rtbreport->viewport()->repaint();
  QApplication::processEvents();
  const double first = Ms(t);

  viewer.txtFind->setText("no such word in it");
  t.restart();
  const bool missing = viewer.FindNext();
  const double findMissing = Ms(t);

  viewer.txtFind->setText("ZANZIBAR");
  t.restart();
  const bool last = viewer.FindNext();
  viewer.rtbreport->viewport()->repaint();
  const double findLast = Ms(t);

  t.restart();
  viewer.rtbreport->MoveCursor({});
  viewer.rtbreport->viewport()->repaint();
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
  QApplication::sendEvent(viewer.rtbreport, &end);
  viewer.rtbreport->viewport()->repaint();
  const double toEnd = Ms(t);

  std::printf("report %.1f MB, %zu lines\n", static_cast<double>(report.size()) / 1048576.0,
              viewer.rtbreport->LineCount());
  std::printf("first page shown      %8.1f ms\n", first);
  std::printf("find, not there       %8.1f ms%s\n", findMissing, missing ? " (found?)" : "");
  std::printf("find, the last line   %8.1f ms%s\n", findLast, last ? "" : " (not found?)");
  std::printf("Ctrl+Home, Ctrl+End   %8.1f ms\n", toEnd);
  std::filesystem::remove(path);
  return missing || !last ? 1 : 0;
}
