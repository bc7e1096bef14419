// The progress of a long print or PDF: a dialog that shows once the work
// has gone on for a moment, counts the pages and offers Cancel.
#pragma once

#include <QString>
#include <memory>

#include "desktop/delivery/qt_printer.h"

class QProgressDialog;
class QWidget;

namespace ormid {

class PageProgress {
 public:
  // The dialog belongs to owner (the window the print was started from) and
  // shows after delayMs.
  PageProgress(QWidget* owner, const QString& title, int delayMs);
  ~PageProgress();
  PageProgress(const PageProgress&) = delete;
  PageProgress& operator=(const PageProgress&) = delete;

  // The step to hand to the printing: it moves the dialog on and stops the
  // printing once Cancel has been pressed.
  PageStep Step();

 private:
  std::unique_ptr<QProgressDialog> dialog_;
};

}  // namespace ormid
