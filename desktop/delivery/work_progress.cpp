#include "desktop/delivery/work_progress.h"

#include <QProgressDialog>

namespace ormid {

std::unique_ptr<QProgressDialog> NewWorkProgress(QWidget* owner, const QString& title,
                                                 const QString& label, int maximum, int delayMs,
                                                 std::function<void()> cancelled) {
  auto dialog = std::make_unique<QProgressDialog>(label, QObject::tr("Cancel"), 0, maximum, owner);
  dialog->setWindowTitle(title);
  dialog->setWindowModality(Qt::WindowModal);
  dialog->setMinimumDuration(delayMs);
  dialog->setAutoReset(false);
  dialog->setAutoClose(false);
  if (cancelled)
    QObject::connect(dialog.get(), &QProgressDialog::canceled, dialog.get(), cancelled);
  dialog->setValue(0);
  return dialog;
}

PageProgress::PageProgress(QWidget* owner, const QString& title, int delayMs)
    : dialog_(NewWorkProgress(owner, title, QString(), 1000, delayMs)) {}

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
