// frmResidueBuild (File > Build Residue File from Samples...): the samples
// and rules files, the residue file to write, the chemical's values and the
// rules for the values below the limits; Preview reads both files and shows
// the build table as the build report will list it (the commodities sampled
// without a rule and the foods without data marked), or every problem of
// the files by line. Build is enabled by a preview without problems of the
// settings as they stand; the main window then builds through the run
// session and opens the file.
#pragma once

#include <QDialog>
#include <string>

#include "residue_build/residue_build.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace ormid {

struct ModOrmid;
class Platform;

class FrmResidueBuild : public QDialog {
  Q_OBJECT

 public:
  FrmResidueBuild(const ModOrmid& m, Platform& p, QWidget* parent = nullptr);

  // The build the boxes ask for, its files absolute; "" or what is wrong
  // with the boxes.
  std::string Settings(ResidueBuildSettings& s) const;
  // The build last previewed without problems (Build writes it).
  const ResidueBuildSettings& Previewed() const { return previewed_; }
  // Reads both files and fills the table; true when they have no problem.
  bool Preview();

  QLineEdit* txtSamples = nullptr;
  QLineEdit* txtRules = nullptr;
  QLineEdit* txtOutput = nullptr;
  QLineEdit* txtChemical = nullptr;
  QLineEdit* txtNoel = nullptr;
  QLineEdit* txtRfd = nullptr;
  QLineEdit* txtQstar = nullptr;
  QPushButton* cmdSamples = nullptr;
  QPushButton* cmdRules = nullptr;
  QPushButton* cmdOutput = nullptr;
  QComboBox* cboNonDetects = nullptr;
  QComboBox* cboNotQuantified = nullptr;
  QComboBox* cboCropTreated = nullptr;
  QComboBox* cboBound = nullptr;
  QLabel* lblSummary = nullptr;
  QTableWidget* grdBuild = nullptr;
  QPushButton* cmdPreview = nullptr;
  QPushButton* cmdBuild = nullptr;
  QPushButton* cmdCancel = nullptr;

 private:
  void Browse(QLineEdit* box, const char* title, const std::string& filter, bool save);
  void Changed();
  void ShowProblems(const std::vector<std::string>& lines, std::size_t count);
  void ShowBuild(const ResidueBuild& build);

  const ModOrmid& m_;
  Platform& p_;
  ResidueBuildSettings previewed_;
};

}  // namespace ormid
