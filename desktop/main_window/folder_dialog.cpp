#include "desktop/main_window/folder_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace ormid {

FolderDialog::FolderDialog(QWidget* parent, const QString& title, const QString& start)
    : QFileDialog(parent, title, start) {
  // The toolkit's own dialog: its accept() is the one made to take new names.
  setOption(QFileDialog::DontUseNativeDialog);
  setOption(QFileDialog::ShowDirsOnly);
  setFileMode(QFileDialog::Directory);
  setAcceptMode(QFileDialog::AcceptOpen);
  setLabelText(QFileDialog::Accept, tr("&Choose"));
}

QString FolderDialog::Folder() const {
  if (result() != QDialog::Accepted) return {};
  const QStringList chosen = selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}

void FolderDialog::accept() {
  const QStringList chosen = selectedFiles();
  if (!chosen.isEmpty()) {
    const QString path = chosen.first();
    const QFileInfo info(path);
    if (info.exists() && !info.isDir()) {
      QMessageBox::warning(this, windowTitle(),
                           tr("%1 is a file, not a folder.").arg(QDir::toNativeSeparators(path)));
      return;
    }
    // A new name is a folder to make (with any folders above it that are
    // missing); the toolkit would only say it is not found.
    if (!info.exists() && !QDir().mkpath(path)) {
      QMessageBox::warning(
          this, windowTitle(),
          tr("The folder %1 could not be made.").arg(QDir::toNativeSeparators(path)));
      return;
    }
  }
  QFileDialog::accept();
}

}  // namespace ormid
