// frmProblems: a list of lines the user may need to work through, such as
// the rows of a residue table an import refuses, shown whole in a window
// whose text can be selected and copied (Copy puts all of it on the
// clipboard).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ormid {

class FrmProblems : public QDialog {
  Q_OBJECT

 public:
  FrmProblems(const std::string& title, const std::string& heading,
              const std::vector<std::string>& lines, QWidget* parent = nullptr);

  QLabel* lblHeading = nullptr;
  QPlainTextEdit* txtProblems = nullptr;
  QPushButton* cmdCopy = nullptr;
  QPushButton* cmdClose = nullptr;
};

}  // namespace ormid
