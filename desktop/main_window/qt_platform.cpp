#include "desktop/main_window/qt_platform.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>

namespace ormid {

namespace {

// A busy cursor must not hide the arrow while the user answers a question.
class CursorPause {
 public:
  CursorPause() : paused_(QGuiApplication::overrideCursor() != nullptr) {
    if (paused_) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~CursorPause() {
    if (paused_) QGuiApplication::restoreOverrideCursor();
  }

 private:
  bool paused_;
};

// A file dialog gives the current folder back as it found it: a native
// dialog may move it to the folder it was left in, and the program's
// relative names (the temporary reports, the run history) are in the
// working folder.
class FolderKept {
 public:
  FolderKept() : folder_(QDir::currentPath()) {}
  ~FolderKept() {
    if (QDir::currentPath() != folder_) QDir::setCurrent(folder_);
  }
  FolderKept(const FolderKept&) = delete;
  FolderKept& operator=(const FolderKept&) = delete;

 private:
  QString folder_;
};

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
  if (filter.empty()) return {};
  const QStringList parts = FromBytes(filter).split('|');
  if (parts.size() < 2) return parts;
  QStringList filters;
  // Description and patterns in turn; a description without patterns is
  // left as it is.
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    if (i + 1 >= parts.size()) {
      filters << parts[i];
      break;
    }
    filters << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  }
  return filters;
}

QString QtNameFilter(const std::string& filter) {
  return QtNameFilters(filter).join(";;");
}

QString StartPath(const FileDialogRequest& request) {
  QString dir = request.initialDir.empty() ? QDir::currentPath() : FromBytes(request.initialDir);
  // A folder that is not here (the setup file's C:\KAVRI\RES\ on Linux): the
  // working folder's residue folder, else the working folder itself.
  if (!QFileInfo(dir).isDir()) {
    const QString residues = QDir::current().filePath("residues");
    dir = QFileInfo(residues).isDir() ? residues : QDir::currentPath();
  }
  if (request.fileName.empty()) return dir;
  QString name = FromBytes(request.fileName);
  if (QDir::isAbsolutePath(name)) {
    if (QFileInfo(name).absoluteDir().exists()) return name;
  } else if (!name.contains('\\') && !name.contains(':')) {
    return QDir(dir).filePath(name);
  }
  // A name in a folder that is not here: the name alone, in the start folder.
  const qsizetype cut = std::max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
  return QDir(dir).filePath(name.mid(cut + 1));
}

std::unique_ptr<QMessageBox> NewMessageBox(QWidget* parent, const std::string& text,
                                           const std::string& title, MsgIcon icon,
                                           MsgButtons buttons) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setWindowTitle(FromBytes(title));
  box->setText(FromBytes(text).replace("\r\n", "\n"));
  switch (icon) {
    case MsgIcon::None:
      box->setIcon(QMessageBox::NoIcon);
      break;
    case MsgIcon::Information:
      box->setIcon(QMessageBox::Information);
      break;
    case MsgIcon::Exclamation:
      box->setIcon(QMessageBox::Warning);
      break;
    case MsgIcon::Question:
      box->setIcon(QMessageBox::Question);
      break;
    case MsgIcon::Critical:
      box->setIcon(QMessageBox::Critical);
      break;
  }
  switch (buttons) {
    case MsgButtons::OK:
      box->setStandardButtons(QMessageBox::Ok);
      break;
    case MsgButtons::OKCancel:
      box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MsgButtons::YesNo:
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MsgButtons::YesNoDefaultNo:
      // Enter keeps the files that would be written over.
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box->setDefaultButton(QMessageBox::No);
      break;
    case MsgButtons::YesNoCancel:
      // Both overwrite questions (a report file of the run, a saved copy)
      // default to the harmless answer: Enter keeps the file.
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box->setDefaultButton(QMessageBox::No);
      break;
  }
  // A box narrower than its title shows the title cut short on the title
  // bar ("Action compl..."): the box is made wide enough for it, with room
  // for the title bar's buttons.
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    const int wanted = box->fontMetrics().horizontalAdvance(box->windowTitle()) + 140;
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

std::unique_ptr<QFileDialog> NewOpenFileDialog(QWidget* parent, const FileDialogRequest& request) {
  auto dialog = std::make_unique<QFileDialog>(parent, FromBytes(request.title), StartPath(request),
                                              QtNameFilter(request.filter));
  // A typed name that does not exist comes back too: the program's own
  // check answers it (the path error and its retry).
  // The toolkit's own dialog: a native one may refuse such a name itself.
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setLabelText(QFileDialog::Accept, QObject::tr("&Open"));
  if (!request.fileName.empty()) dialog->selectFile(StartPath(request));
  return dialog;
}

namespace {
QPointer<QWidget> scopedOwner;
}  // namespace

DialogOwnerScope::DialogOwnerScope(QWidget* window) : previous_(scopedOwner.data()) {
  scopedOwner = window ? window->window() : nullptr;
}

DialogOwnerScope::~DialogOwnerScope() {
  scopedOwner = previous_;
}

QWidget* DialogOwnerScope::Current() {
  return scopedOwner.data();
}

QWidget* QtPlatform::DialogOwner() const {
  if (QWidget* scoped = DialogOwnerScope::Current(); scoped && scoped->isVisible()) return scoped;
  QWidget* active = QApplication::activeWindow();
  // A progress dialog goes away by itself, while a question may still be
  // open: the window it belongs to owns the question instead.
  while (active && qobject_cast<QProgressDialog*>(active))
    active = active->parentWidget() ? active->parentWidget()->window() : nullptr;
  if (active && active->isVisible()) return active;
  return parent_;
}

MsgAnswer QtPlatform::MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                                 MsgButtons buttons) {
  CursorPause pause;
  auto owned = NewMessageBox(DialogOwner(), text, title, icon, buttons);
  // Should its window go (and take the box with it), the box is not deleted
  // twice.
  QPointer<QMessageBox> box(owned.get());
  const int answer = box->exec();
  if (!box) owned.release();
  switch (answer) {
    case QMessageBox::Yes:
      return MsgAnswer::Yes;
    case QMessageBox::No:
      return MsgAnswer::No;
    case QMessageBox::Cancel:
      return MsgAnswer::Cancel;
    case QMessageBox::Ok:
      return MsgAnswer::OK;
    default:
      return buttons == MsgButtons::OKCancel ? MsgAnswer::Cancel : MsgAnswer::OK;
  }
}

std::string QtPlatform::InputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultAnswer) {
  CursorPause pause;
  bool ok = false;
  QString answer = QInputDialog::getText(DialogOwner(), FromBytes(title), FromBytes(prompt),
                                         QLineEdit::Normal, FromBytes(defaultAnswer), &ok);
  return ok ? ToBytes(answer) : std::string();
}

std::optional<std::string> QtPlatform::OpenFileDialog(const FileDialogRequest& request) {
  CursorPause pause;
  FolderKept folder;
  auto dialog = NewOpenFileDialog(DialogOwner(), request);
  QPointer<QFileDialog> guard(dialog.get());
  const int result = dialog->exec();
  if (!guard) {
    dialog.release();  // gone with its window
    return std::nullopt;
  }
  if (result != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
  QString name = dialog->selectedFiles().first();
  if (name.isEmpty()) return std::nullopt;
  return ToBytes(QDir::toNativeSeparators(name));
}

std::optional<std::string> QtPlatform::SaveFileDialog(const FileDialogRequest& request) {
  CursorPause pause;
  FolderKept folder;
  // The overwrite question is the program's own, so the dialog does not ask.
  QString name = QFileDialog::getSaveFileName(DialogOwner(), FromBytes(request.title),
                                              StartPath(request), QtNameFilter(request.filter),
                                              nullptr, QFileDialog::DontConfirmOverwrite);
  if (name.isEmpty()) return std::nullopt;
  return ToBytes(QDir::toNativeSeparators(name));
}

std::optional<SaveFileChoice> QtPlatform::SaveFileDialogWithType(const FileDialogRequest& request) {
  CursorPause pause;
  FolderKept folder;
  const QStringList filters = QtNameFilters(request.filter);
  QString selected = filters.value(request.filterIndex - 1);
  QString name = QFileDialog::getSaveFileName(DialogOwner(), FromBytes(request.title),
                                              StartPath(request), filters.join(";;"), &selected,
                                              QFileDialog::DontConfirmOverwrite);
  if (name.isEmpty()) return std::nullopt;
  const int index = static_cast<int>(filters.indexOf(selected));
  return SaveFileChoice{ToBytes(QDir::toNativeSeparators(name)),
                        index < 0 ? request.filterIndex : index + 1};
}

DateTime QtPlatform::Now() {
  QDateTime now = QDateTime::currentDateTime();
  return DateTime{now.date().year(), now.date().month(),  now.date().day(),
                  now.time().hour(), now.time().minute(), now.time().second()};
}

void QtPlatform::RunModal(QDialog& dialog) {
  CursorPause pause;
  dialog.exec();
}

bool QtPlatform::ConfigurePrinter(QPrinter& printer) {
  // With a default printer the report goes straight to it; without one the
  // user picks a printer (or a PDF file) in the print dialog.
  if (!QPrinterInfo::defaultPrinter().isNull()) return true;
  CursorPause pause;
  // Printed to a PDF file, the report goes into the working folder (the
  // current folder), not the home folder, unless the dialog is told
  // otherwise.
  if (printer.outputFileName().isEmpty())
    printer.setOutputFileName(QDir::current().filePath(printer.docName() + ".pdf"));
  auto dialog = std::make_unique<QPrintDialog>(&printer, DialogOwner());
  QPointer<QPrintDialog> guard(dialog.get());
  dialog->setWindowTitle(QObject::tr("Print report"));
  const bool accepted = dialog->exec() == QDialog::Accepted;
  if (!guard) dialog.release();  // gone with its window
  return accepted && guard;
}

}  // namespace ormid
