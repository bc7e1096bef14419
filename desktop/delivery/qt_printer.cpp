#include "desktop/delivery/qt_printer.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>

#include "core/mod_ormid.h"
#include "delivery/report_delivery.h"
#include "desktop/delivery/frm_report2.h"
#include "desktop/delivery/qt_text.h"

namespace ormid {

namespace {

class PainterSink : public PrinterSink {
 public:
  PainterSink(QPagedPaintDevice& device, QPainter& painter, std::size_t textSize,
              const PageStep& step)
      : device_(device), painter_(painter), textSize_(textSize), step_(step) {
    QFontMetricsF metrics(painter_.font(), painter_.device());
    lineHeight_ = metrics.lineSpacing();
    ascent_ = metrics.ascent();
    pageHeight_ = painter_.viewport().height();
    Step();
  }
  void PrintLine(std::string_view line) override {
    if (y_ + lineHeight_ > pageHeight_ && y_ > 0) NewPage();
    painter_.drawText(QPointF(0, y_ + ascent_), FromBytes(std::string(line)));
    y_ += lineHeight_;
    // The line and its line end.
    done_ += line.size() + 2;
  }
  void NewPage() override {
    device_.newPage();
    y_ = 0;
    ++page_;
    Step();
  }
  bool Stopped() const override { return stopped_; }

 private:
  void Step() {
    if (!step_ || stopped_) return;
    const double done = textSize_ == 0 ? 1.0 : std::min(1.0, double(done_) / double(textSize_));
    if (!step_(page_, done)) stopped_ = true;
  }

  QPagedPaintDevice& device_;
  QPainter& painter_;
  std::size_t textSize_;
  const PageStep& step_;
  qreal lineHeight_ = 0;
  qreal ascent_ = 0;
  qreal pageHeight_ = 0;
  qreal y_ = 0;
  std::size_t done_ = 0;
  int page_ = 1;
  bool stopped_ = false;
};

// The longest line, without its line end and without form feeds.
int LongestLine(std::string_view text) {
  std::size_t longest = 0, i = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == std::string_view::npos) e = text.size();
    std::string_view line = text.substr(i, e - i);
    if (line.empty() || line[0] != '\f') longest = std::max(longest, line.size());
    i = e + 1;
  }
  return static_cast<int>(longest);
}

}  // namespace

int ReportColumns(std::string_view text, RunKind kind) {
  int design = kind == RunKind::Listing ? 103 : 80;
  return std::max(design, LongestLine(text));
}

PrintOutcome PrintReportOn(QPagedPaintDevice& device, std::string_view text, int columns,
                           std::string& error, const PageStep& step) {
  device.setPageMargins(QMarginsF(kPageMarginMm, kPageMarginMm, kPageMarginMm, kPageMarginMm),
                        QPageLayout::Millimeter);
  QPainter painter;
  if (!painter.begin(&device)) {
    error = "the printer could not be started";
    return PrintOutcome::Failed;
  }
  // 8 point, or the size at which `columns` characters fill the width.
  QFont font = ReportFont(8);
  painter.setFont(font);
  qreal width = QFontMetricsF(font, painter.device()).horizontalAdvance(QString(columns, 'M'));
  qreal room = painter.viewport().width();
  if (width > room) {
    font.setPointSizeF(8 * room / width * 0.99);
    painter.setFont(font);
  }
  PainterSink sink(device, painter, text.size(), step);
  if (!PrintReportText(text, sink)) {
    // A printer's job goes without the pages painted so far.
    if (auto* printer = dynamic_cast<QPrinter*>(&device)) printer->abort();
    painter.end();
    return PrintOutcome::Cancelled;
  }
  if (!painter.end()) {
    error = "the print job could not be finished";
    return PrintOutcome::Failed;
  }
  return PrintOutcome::Printed;
}

PrintOutcome ReportPdf(std::string_view text, RunKind kind, std::string& pdf, std::string& error,
                       const PageStep& step) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setCreator("Ormid");
    writer.setResolution(600);
    QLocale::Country country = QLocale().territory();
    bool letter = country == QLocale::UnitedStates || country == QLocale::Canada;
    writer.setPageSize(QPageSize(letter ? QPageSize::Letter : QPageSize::A4));
    const PrintOutcome printed =
        PrintReportOn(writer, text, ReportColumns(text, kind), error, step);
    if (printed != PrintOutcome::Printed) return printed;
  }
  pdf.assign(buffer.data().constData(), static_cast<std::size_t>(buffer.data().size()));
  return PrintOutcome::Printed;
}

}  // namespace ormid
