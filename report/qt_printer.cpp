#include "report/qt_printer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

#include "app/qt_platform.h"
#include "report/frm_report2.h"
#include "report/report_delivery.h"

namespace ormid {

namespace {

class PainterSink : public PrinterSink {
 public:
  PainterSink(QPrinter& printer, QPainter& painter) : printer_(printer), painter_(painter) {
    QFontMetrics metrics(painter_.font(), painter_.device());
    lineHeight_ = metrics.lineSpacing();
    ascent_ = metrics.ascent();
    pageHeight_ = painter_.viewport().height();
  }
  void PrintLine(std::string_view line) override {
    if (y_ + lineHeight_ > pageHeight_ && y_ > 0) NewPage();
    painter_.drawText(0, y_ + ascent_, FromBytes(std::string(line)));
    y_ += lineHeight_;
  }
  void NewPage() override {
    printer_.newPage();
    y_ = 0;
  }

 private:
  QPrinter& printer_;
  QPainter& painter_;
  int lineHeight_ = 0;
  int ascent_ = 0;
  int pageHeight_ = 0;
  int y_ = 0;
};

}  // namespace

bool PrintReportOn(QPrinter& printer, std::string_view text, std::string& error) {
  QPainter painter;
  if (!painter.begin(&printer)) {
    error = "the printer could not be started";
    return false;
  }
  painter.setFont(ReportFont(8));
  PainterSink sink(printer, painter);
  PrintReportText(text, sink);
  if (!painter.end()) {
    error = "the print job could not be finished";
    return false;
  }
  return true;
}

}  // namespace ormid
