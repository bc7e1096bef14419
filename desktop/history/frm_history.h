// The Run History window (View > Run History): every run recorded in the
// working folder's history in a sortable table, filtered by chemical; a
// double-click shows a run's manifest and figures, two selected runs and
// Compare show them side by side with the crossings of 100% marked.
#pragma once

#include <functional>

#include <QDialog>
#include <QWidget>
#include <memory>
#include <string>

#include "history/recorded_run.h"

class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QPlainTextEdit;
class QStandardItemModel;
class QSortFilterProxyModel;
class QLabel;

namespace ormid {

class Platform;
struct Comparison;

class FrmHistory : public QWidget {
  Q_OBJECT

 public:
  // historyFile: the history's file, relative to the working folder.
  FrmHistory(Platform& p, std::string historyFile, QWidget* parent = nullptr);

  // Reads the history again.
  void Refresh();
  // The runs selected in the table, in table order.
  std::vector<long long> SelectedIds() const;
  // Shows a run (double-click) and the comparison of the two selected runs.
  void ShowRun(long long id);
  void CompareSelected();

  QLineEdit* txtChemical = nullptr;
  QTableView* grdRuns = nullptr;
  QPushButton* cmdCompare = nullptr;
  QPushButton* cmdRefresh = nullptr;
  QStandardItemModel* model = nullptr;
  QSortFilterProxyModel* filter = nullptr;
  // Opens a recorded run's Results window (the Run window's Results
  // button); unset, the Run window has no such button.
  std::function<void(const RecordedRun&)> onResults;
  // The last run or comparison shown (kept for tests and re-use).
  QDialog* dlgRun = nullptr;
  QDialog* dlgCompare = nullptr;

 private:
  void SelectionChanged();
  Platform& p_;
  std::string file_;
};

// A run as a form: what was run on what, its settings in words, its
// figures (Copy puts them on the clipboard, Export... writes them as the
// command line's `history show ID --export` does), and the manifest itself.
class FrmRunDetails : public QDialog {
  Q_OBJECT
 public:
  FrmRunDetails(const RecordedRun& run, Platform& p, QWidget* parent = nullptr,
                std::function<void(const RecordedRun&)> onResults = {});
  QLabel* lblRun = nullptr;       // command, chemical, files, date, most exposed
  QLabel* lblSettings = nullptr;  // the settings, one per line, in words
  QPlainTextEdit* txtManifest = nullptr;
  QTableWidget* grdFigures = nullptr;
  QPushButton* cmdCopy = nullptr;
  QPushButton* cmdExport = nullptr;
  QPushButton* cmdResults = nullptr;  // the run's Results window: figures and chart
  // The figures as tab-separated lines, the column names first.
  QString FiguresText() const;
  void Export();

 private:
  RecordedRun run_;
  Platform& p_;
};

// Two runs side by side.
class FrmCompare : public QDialog {
  Q_OBJECT
 public:
  FrmCompare(const Comparison& c, Platform& p, QWidget* parent = nullptr);
  ~FrmCompare() override;
  QLabel* lblRuns = nullptr;  // the two runs, what was run on what and when
  QTableWidget* grdSubgroups = nullptr;
  QTableWidget* grdSettings = nullptr;    // the settings that differ, in words
  QTableWidget* grdInputs = nullptr;      // the input files whose contents differ
  QTableWidget* grdCropGroups = nullptr;  // commodity runs: the largest share changes
  QPushButton* cmdCopy = nullptr;         // the subgroups' table to the clipboard
  QPushButton* cmdExport = nullptr;       // as `ormid-cli compare A B --export` writes it
  // The colour of a row whose percent of its reference dose crosses 100%.
  static QColor CrossingColour();
  void Export();

 private:
  std::unique_ptr<Comparison> c_;
  Platform& p_;
};

}  // namespace ormid
