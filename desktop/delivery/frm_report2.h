// frmReport2: the report viewer, a top-level window of its own (modeless; it
// may go behind the main window) showing a report file as plain text in a
// fixed-pitch font (laid out a screenful at a time, so that a report of any
// size opens at once), with a find bar and its own Print, Save and Save as PDF
// buttons. Esc hides it (or closes the find bar first).
#pragma once

#include <QWidget>
#include <string>

#include "core/run_kind.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace ormid {

class ReportView;

class FrmReport2 : public QWidget {
  Q_OBJECT

 public:
  // Without a parent: the window manager treats it as a window of its own,
  // not as a dialog kept above the main window.
  explicit FrmReport2(QWidget* parent = nullptr);

  // Replaces the shown text with the file's report of `kind`; false when
  // it cannot be read.
  bool LoadFile(const std::string& file, RunKind kind);
  // Shows the report's opening lines only (at most `bytes`, whole lines),
  // for its first page to be painted while the rest is read: LoadFile
  // follows before the user can act on the report.
  bool LoadOpening(const std::string& file, RunKind kind, std::size_t bytes);
  // The report bytes shown and their kind (1 listing, 2 commodity, 4 long-term).
  const std::string& ShownText() const;
  RunKind Kind() const { return kind_; }

  // Places the window beside `main` (right, else left) when the screen has
  // room for it there; otherwise leaves the window manager's placement.
  void PlaceBeside(const QWidget& main);
  // Whether the window has its place (from PlaceBeside, or kept from an
  // earlier session); ForgetPlace lets the next PlaceBeside place it again.
  bool Placed() const { return placed_; }
  void MarkPlaced() { placed_ = true; }
  void ForgetPlace() { placed_ = false; }

  // The find bar: shows it with the search text selected.
  void ShowFindBar();
  // Looks for the find text from the cursor on (backward: before it),
  // wrapping around once; false when it is not in the report.
  bool FindNext(bool backward = false);

  ReportView* rtbreport = nullptr;
  QPushButton* cmdFind = nullptr;
  QPushButton* cmdPrint = nullptr;
  QPushButton* cmdSave = nullptr;
  QPushButton* cmdPdf = nullptr;
  QWidget* fraFind = nullptr;
  QLineEdit* txtFind = nullptr;
  QPushButton* cmdFindNext = nullptr;
  QPushButton* cmdFindPrevious = nullptr;
  QLabel* lblFindStatus = nullptr;

 signals:
  void printRequested();
  void saveRequested();
  void pdfRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  RunKind kind_ = RunKind::LongTerm;
  bool placed_ = false;
};

// Courier New 8.25 point, or the platform's fixed-pitch font where it is missing.
QFont ReportFont(double pointSize);

}  // namespace ormid
