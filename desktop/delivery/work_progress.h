// The progress of long work the user waits on (a commodity run's subgroups,
// a print's or a PDF's pages, a batch's scenarios): one dialog, set up in
// one place, that shows once the work has gone on for a moment, belongs to
// the window the work was started from and offers Cancel.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "desktop/delivery/qt_printer.h"

class QProgressDialog;
class QWidget;

namespace ormid {

// The dialog: window-modal over `owner`, `maximum` steps, shown after
// `delayMs`; it neither resets nor closes itself at the last step. Cancel
// calls `cancelled` (when given) once.
std::unique_ptr<QProgressDialog> NewWorkProgress(QWidget* owner, const QString& title,
                                                 const QString& label, int maximum, int delayMs,
                                                 std::function<void()> cancelled = {});

// The progress of a print or a PDF, page by page.
class PageProgress {
 public:
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
