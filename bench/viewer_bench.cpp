// Times the report viewer on a large report, as a person feels it: from
// asking for the report to its first page painted, a find of a word that is
// not there, a find of the last line's word, and the jump to the end. The
// report is a commodity report of the sample installation repeated to the
// size asked for (20 MB by default).
//
//   ormid-viewer-bench REPORT_FILE [MEGABYTES]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/report_view.h"

namespace {

double Ms(QElapsedTimer& t) {
  return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ormid-viewer-bench REPORT_FILE [MEGABYTES]\n");
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
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
