#include "desktop/delivery/page_progress.h"

#include <QProgressDialog>

namespace ormid {

PageProgress::PageProgress(QWidget* owner, const QString& title, int delayMs)
    : dialog_(std::make_unique<QProgressDialog>(QString(), QObject::tr("Cancel"), 0, 1000, owner)) {
  dialog_->setWindowTitle(title);
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setMinimumDuration(delayMs);
  dialog_->setAutoReset(false);
  dialog_->setAutoClose(false);
  dialog_->setValue(0);
}

PageProgress::~PageProgress() = default;

PageStep PageProgress::Step() {
  return [dialog = dialog_.get()](int page, double done) {
    dialog->setLabelText(QObject::tr("Page %1...").arg(page));
    // A modal progress dialog takes its events (Cancel among them) here.
    dialog->setValue(static_cast<int>(done * 1000));
    return !dialog->wasCanceled();
  };
}

}  // namespace ormid
