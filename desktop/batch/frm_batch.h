// The desktop program's batch run: several residue files run with the main
// window's current settings on worker threads, a progress dialog that can
// be cancelled, and the summary table with Export. Each file runs with its
// own NOEL, RfD, Q* and comment unless a value is typed in the batch
// window, which then applies to every file; the values table shows, before
// Run, which each file will use, and each file's row of the summary table
// is filled as it finishes. The batch itself runs
// off the window's thread; the dialog only looks at how far it has come.
// Finished files are recorded in the run history as single runs are.
#pragma once

#include <QDialog>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "core/mod_ormid.h"
#include "core/window_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QTableWidget;
class QThread;
class QTimer;

namespace ormid {

class Platform;

class FrmBatch : public QDialog {
  Q_OBJECT

 public:
  // m: the window's started state (with its PAD values); s: its settings.
  FrmBatch(const ModOrmid& m, WindowSettings s, Platform& p, QWidget* parent = nullptr);
  ~FrmBatch() override;

  QComboBox* cboAnalysis = nullptr;  // long-term or commodity
  // Values for every file; blank: each file's own.
  QLineEdit* txtNoel = nullptr;
  QLineEdit* txtRfd = nullptr;
  QLineEdit* txtQStar = nullptr;
  QLineEdit* txtComment = nullptr;
  // One row per file: its chemical and the values it will run with.
  QTableWidget* grdValues = nullptr;
  QTableWidget* grdSummary = nullptr;
  QLabel* lblTotals = nullptr;
  QPushButton* cmdRun = nullptr;
  QPushButton* cmdExport = nullptr;
  QProgressDialog* progress = nullptr;

  // The residue files and output folder that Run starts with.
  void SetFiles(std::vector<std::string> residueFiles, std::string outDir);
  const std::vector<std::string>& Files() const { return files_; }
  const std::string& OutputFolder() const { return outDir_; }
  // Runs the files into outDir in the background; finished() follows.
  // When outDir holds files of an earlier batch, asks first: No leaves
  // every file as it was and returns false.
  bool Start(const std::vector<std::string>& residueFiles, const std::string& outDir);
  // Whether finished files go into the run history (the main window's
  // Record Runs in History).
  void SetRecordHistory(bool record) { recordHistory_ = record; }
  // Stops: the scenarios in progress finish, the rest are not run.
  void Cancel();
  bool Running() const;
  // Writes the summary table to a .csv or .xlsx file; false with error.
  bool ExportSummary(const std::string& path, std::string& error);
  BatchCounts Counts() const { return counts_; }

 signals:
  void finished();
  // A file's row holds its outcome (emitted as each file finishes).
  void rowFinished(int row);

 private:
  void Poll();
  void Done();
  void FillRow(std::size_t i);
  TypedValues Typed() const;
  void ShowValues();

  ModOrmid m_;
  WindowSettings settings_;
  Platform& p_;
  std::vector<std::string> files_;
  std::vector<FileValues> fileValues_;  // each file's own, read by SetFiles
  std::vector<BatchScenario> scenarios_;
  std::vector<ScenarioOutcome> outcomes_;
  std::string outDir_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> done_{0};
  BatchCounts counts_;
  bool recordHistory_ = true;
  QThread* thread_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace ormid
