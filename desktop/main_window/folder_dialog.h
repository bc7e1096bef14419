// A dialog that chooses a folder to write into, and makes it when the user
// types the name of one that is not there yet (a batch's output folder).
#pragma once

#include <QFileDialog>

namespace ormid {

class FolderDialog : public QFileDialog {
  Q_OBJECT

 public:
  FolderDialog(QWidget* parent, const QString& title, const QString& start);

  // The chosen folder, made when it was new; empty when cancelled.
  QString Folder() const;

 public slots:
  void accept() override;
};

}  // namespace ormid
