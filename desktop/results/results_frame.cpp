#include "desktop/results/results_frame.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/results/results_widgets.h"

namespace ormid {

namespace {

// A subgroup's name is never cut to less than this.
constexpr int kNarrowestName = 120;

// A column title's name on lines of at most 16 characters, broken between
// words, and its unit in brackets on a line of its own.
QString HeadingLines(const QString& title) {
  const qsizetype bracket = title.indexOf(" (");
  const QString name = bracket > 0 ? title.left(bracket) : title;
  QStringList lines;
  QString line;
  for (const QString& word : name.split(' ', Qt::SkipEmptyParts)) {
    if (!line.isEmpty() && line.size() + 1 + word.size() > 16) {
      lines << line;
      line.clear();
    }
    line += (line.isEmpty() ? "" : " ") + word;
  }
  if (!line.isEmpty()) lines << line;
  if (bracket > 0) lines << title.mid(bracket + 1);
  return lines.join('\n');
}

}  // namespace

ResultsFrame::ResultsFrame(Platform& p, const char* name, const QString& title, QWidget* parent)
    : QWidget(parent, Qt::Window), p_(p) {
  setObjectName(name);
  setWindowTitle(title);
  auto* outer = new QVBoxLayout(this);
  splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName("splResults");
  splitter->setChildrenCollapsible(false);
  figures_ = new QWidget(splitter);
  figures_->setObjectName("figures");
  auto* column = new QVBoxLayout(figures_);
  column->setContentsMargins(0, 0, 0, 0);
  tblFigures = NewTable("tblFigures", figures_);
  auto* caption = new QLabel(tr("Every subgroup:"), figures_);
  caption->setBuddy(tblFigures);
  column->addWidget(caption);
  column->addWidget(tblFigures, 1);
  tblFigures->viewport()->installEventFilter(this);
  tabViews = new QTabWidget(splitter);
  tabViews->setObjectName("tabViews");
  outer->addWidget(splitter, 1);
  const TableChartButtons buttons = AddTableChartButtons(outer, this);
  cmdCopyTable = buttons.copyTable;
  cmdExportChart = buttons.exportChart;
  resize(kResultsWindowSize);
}

QWidget* ResultsFrame::AddView(QWidget* view, const QString& label) {
  views_.emplace_back(view, label);
  tabViews->addTab(view, label);
  return view;
}

void ResultsFrame::SetChoices(QWidget* panel, const QString& label) {
  choices_ = panel;
  choicesLabel_ = label;
  splitter->insertWidget(0, panel);
  arranged_ = false;
}

void ResultsFrame::SetChoicesShown(bool shown) {
  if (!choices_ && !hiddenChoices_) return;
  if (shown == (choices_ != nullptr)) return;
  if (!shown) {
    const int tab = tabViews->indexOf(choices_);
    if (tab >= 0) tabViews->removeTab(tab);
    // Out of the splitter and the tabs, kept hidden until it comes back.
    choices_->setParent(this);
    choices_->hide();
    hiddenChoices_ = choices_;
    choices_ = nullptr;
  } else {
    choices_ = hiddenChoices_;
    hiddenChoices_ = nullptr;
  }
  arranged_ = false;
  if (isVisible()) Arrange(width() >= wideFrom_);
}

void ResultsFrame::Arrange(bool wide) {
  QWidget* shown = tabViews->currentWidget();
  if (arranged_ && wide_) wideSizes_ = splitter->saveState();
  wide_ = wide;
  arranged_ = true;
  if (wide) {
    // The choices, the figures and the views, left to right.
    for (QWidget* part : {choices_, figures_})
      if (part) {
        const int tab = tabViews->indexOf(part);
        if (tab >= 0) tabViews->removeTab(tab);
      }
    int at = 0;
    if (choices_) splitter->insertWidget(at++, choices_);
    splitter->insertWidget(at, figures_);
    for (QWidget* part : {choices_, figures_})
      if (part) part->show();
    splitter->setStretchFactor(at, 1);
    splitter->setStretchFactor(at + 1, 2);
    if (!wideSizes_.isEmpty()) {
      splitter->restoreState(wideSizes_);
    } else {
      // The figures' table at the width of its columns, the choices at a
      // third of the rest: the chart takes what is left.
      const int table = std::max(380, tblFigures->horizontalHeader()->length() + 24);
      const int left = choices_ ? std::min(300, width() / 5) : 0;
      QList<int> sizes;
      if (choices_) sizes << left;
      sizes << table << std::max(420, width() - table - left);
      splitter->setSizes(sizes);
    }
  } else {
    // One tab each: the figures first, the choices last.
    tabViews->insertTab(0, figures_, tr("&Figures"));
    if (choices_) tabViews->addTab(choices_, choicesLabel_);
  }
  if (shown && tabViews->indexOf(shown) >= 0)
    tabViews->setCurrentWidget(shown);
  else if (!wide)
    tabViews->setCurrentWidget(figures_);
  FitFigures();
}

void ResultsFrame::ShowPart(QWidget* part) {
  const int tab = tabViews->indexOf(part);
  if (tab >= 0) tabViews->setCurrentIndex(tab);
}

bool ResultsFrame::PartShown(const QWidget* part) const {
  const int tab = tabViews->indexOf(const_cast<QWidget*>(part));
  return tab < 0 ? part->isVisible() : tabViews->currentIndex() == tab;
}

QByteArray ResultsFrame::SplitterState() const {
  return wide_ ? splitter->saveState() : wideSizes_;
}

void ResultsFrame::RestoreSplitterState(const QByteArray& state) {
  wideSizes_ = state;
  if (wide_ && !state.isEmpty()) splitter->restoreState(state);
}

void ResultsFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const bool wide = event->size().width() >= wideFrom_;
  if (!arranged_ || wide != wide_) Arrange(wide);
}

bool ResultsFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tblFigures->viewport() && event->type() == QEvent::Resize) FitFigures();
  return QWidget::eventFilter(watched, event);
}

void ResultsFrame::FitFigures() {
  QTableWidget* table = tblFigures;
  if (table->columnCount() < 2) return;
  // The widest cell of a column (QTableView keeps this protected).
  const QAbstractItemView& cells = *table;
  // The subgroup's name as wide as the room beside the columns that must be
  // whole allows, and no wider than its longest name; a cut name shows
  // whole in its tooltip.
  const int room = table->viewport()->width();
  // A title on short lines, its unit below its name, so that a column is
  // no wider than its figures need ("Exposure" over "(mg/kg bw/day)",
  // "Index-equivalent" over "exposure"); a copied table has the title on
  // one line.
  bool broken = false;
  for (int c = 0; c < table->columnCount(); ++c)
    if (QTableWidgetItem* heading = table->horizontalHeaderItem(c)) {
      const QString title = heading->text();
      if (title.contains('\n')) continue;
      const QString lines = HeadingLines(title);
      if (lines != title) {
        heading->setText(lines);
        broken = true;
      }
    }
  // Just filled: every column as wide as its cells and its shorter title.
  if (broken) table->resizeColumnsToContents();
  // Each of the other columns that must be whole at least as wide as its
  // cells and its title with the sort arrow (shown once the table sorts).
  int others = 0;
  for (int c = 0; c < std::min(wholeColumns_, table->columnCount()); ++c)
    if (c != 1) {
      const int needed =
          std::max(cells.sizeHintForColumn(c), table->horizontalHeader()->sectionSizeHint(c));
      if (table->columnWidth(c) < needed) table->setColumnWidth(c, needed);
      others += table->columnWidth(c);
    }
  const int longest =
      std::max(cells.sizeHintForColumn(1), table->horizontalHeader()->sectionSizeHint(1));
  const int width = std::clamp(room - others, kNarrowestName, std::max(kNarrowestName, longest));
  if (table->columnWidth(1) != width) table->setColumnWidth(1, width);
}

}  // namespace ormid
