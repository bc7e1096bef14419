// The frame every Results window fills: the subgroups' figures, the views
// of the run (its chart, the headroom, a crop group's breakdown) and, for a
// what-if, the panel of what can be left out; the Copy Table and Export
// Chart... buttons under them. Where the window is wide the three stand side
// by side in a splitter; where it is narrow (beside the report's viewer on a
// laptop's screen) each is a tab, so that the figures and the chart are
// each shown whole at the size the window opens.
#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTableWidget;

namespace ormid {

class Platform;

class ResultsFrame : public QWidget {
  Q_OBJECT

 public:
  // name: the window's object name, which also names its place in the
  // remembered layout.
  ResultsFrame(Platform& p, const char* name, const QString& title, QWidget* parent);

  QTableWidget* tblFigures = nullptr;  // every subgroup
  QTabWidget* tabViews = nullptr;      // the views; narrow, the figures and choices too
  QSplitter* splitter = nullptr;
  QPushButton* cmdCopyTable = nullptr;
  QPushButton* cmdExportChart = nullptr;

  // Whether the window is laid out side by side.
  bool Wide() const { return wide_; }
  // The width from which the parts stand side by side.
  int WideFrom() const { return wideFrom_; }
  // Brings a part (the figures, a view, the choices) into sight: its tab
  // where the window is narrow.
  void ShowPart(QWidget* part);
  // Whether a part is in sight.
  bool PartShown(const QWidget* part) const;
  QWidget* FiguresPart() const { return figures_; }

  // The splitter's sizes where the window is wide, for the remembered
  // layout; empty until it has been wide.
  QByteArray SplitterState() const;
  void RestoreSplitterState(const QByteArray& state);

 protected:
  // The window fills the frame: its views in order, then the choices.
  QWidget* AddView(QWidget* view, const QString& label);
  void SetChoices(QWidget* panel, const QString& label);
  // Leaves the choices out (a past run's window, which has no what-if) or
  // brings them back.
  void SetChoicesShown(bool shown);
  // The columns of the figures table that must be whole (from the first):
  // the row, the subgroup, the exposure and the endpoint's figure.
  void SetWholeColumns(int count) { wholeColumns_ = count; }
  void SetWideFrom(int width) { wideFrom_ = width; }
  // Fits the figures table's name column to the room, once it is filled.
  void FitFigures();

  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  Platform& p_;

 private:
  void Arrange(bool wide);

  QWidget* figures_ = nullptr;  // the caption and the table
  QWidget* choices_ = nullptr;
  QWidget* hiddenChoices_ = nullptr;  // the choices while left out
  QString choicesLabel_;
  std::vector<std::pair<QWidget*, QString>> views_;
  bool wide_ = false;
  bool arranged_ = false;
  int wideFrom_ = 1200;
  int wholeColumns_ = 4;
  QByteArray wideSizes_;  // the splitter's sizes the last time it was wide
};

}  // namespace ormid
