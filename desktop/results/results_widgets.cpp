#include "desktop/results/results_widgets.h"

#include <QApplication>
#include <QChartView>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/float_text.h"
#include "desktop/delivery/qt_text.h"
#include "desktop/results/frm_results.h"

namespace ormid {

NumberItem::NumberItem(const QString& text, double value) : QTableWidgetItem(text), value_(value) {
  setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

bool NumberItem::operator<(const QTableWidgetItem& other) const {
  if (auto* number = dynamic_cast<const NumberItem*>(&other)) return value_ < number->value_;
  return QTableWidgetItem::operator<(other);
}

QString FigureText(float value, bool scientific) {
  return QString::fromStdString(TableText(value, scientific));
}

QString FigureText(double value, bool scientific) {
  return QString::fromStdString(TableText(value, scientific));
}

QTableWidgetItem* NumberCell(std::optional<float> value, bool scientific) {
  if (!value) return new NumberItem(QString(), -1);
  return new NumberItem(FigureText(*value, scientific), *value);
}

QTableWidgetItem* DoubleCell(std::optional<double> value, bool scientific) {
  if (!value) return new NumberItem(QString(), -1);
  return new NumberItem(FigureText(*value, scientific), *value);
}

QString ColumnTitle(std::string_view exportName) {
  struct Title {
    std::string_view name;
    const char* title;
  };
  static const Title kTitles[] = {
      {"row", QT_TR_NOOP("Row")},
      {"subgroup", QT_TR_NOOP("Subgroup")},
      {"consumption_column", QT_TR_NOOP("Consumption column")},
      {"exposure_mg_per_kg_bw_day", QT_TR_NOOP("Exposure (mg/kg bw/day)")},
      {"reference_dose_kind", QT_TR_NOOP("Reference dose")},
      {"reference_dose_mg_per_kg_bw_day", QT_TR_NOOP("Reference dose (mg/kg bw/day)")},
      {"percent_of_reference_dose", QT_TR_NOOP("% of RfD or PAD")},
      {"percent_of_noel", QT_TR_NOOP("% of NOEL")},
      {"margin_of_exposure", QT_TR_NOOP("Margin of exposure")},
      {"lifetime_cancer_risk", QT_TR_NOOP("Lifetime risk")},
      {"row_kind", QT_TR_NOOP("Line")},
      {"subgroup_row", QT_TR_NOOP("Row")},
      {"crop_group_index", QT_TR_NOOP("Crop group no.")},
      {"crop_group_code", QT_TR_NOOP("Crop group code")},
      {"crop_group", QT_TR_NOOP("Crop group")},
      {"commodity_code", QT_TR_NOOP("Code")},
      {"commodity_name", QT_TR_NOOP("Commodity")},
      {"food_form_code", QT_TR_NOOP("Food form code")},
      {"food_form", QT_TR_NOOP("Food form")},
      {"residue_ppm", QT_TR_NOOP("Residue (ppm)")},
      {"adjustment_factor_1", QT_TR_NOOP("Adjustment factor 1")},
      {"adjustment_factor_2", QT_TR_NOOP("Adjustment factor 2")},
      {"share_of_subgroup_exposure_percent", QT_TR_NOOP("% of subgroup's exposure")},
      {"index_equivalent_mg_per_kg_bw_day", QT_TR_NOOP("Index-equivalent exposure (mg/kg bw/day)")},
      {"percent_of_index_pad", QT_TR_NOOP("% of cPAD")},
      {"moet", QT_TR_NOOP("MOET")},
      {"cumulative_moe", QT_TR_NOOP("Cumulative MOE")},
      {"target_moe", QT_TR_NOOP("Target MOE")},
      {"hazard_index", QT_TR_NOOP("Hazard index")},
  };
  for (const Title& t : kTitles)
    if (t.name == exportName) return QObject::tr(t.title);
  // A column without a title of its own: its name in words.
  QString words = QString::fromUtf8(exportName.data(), static_cast<qsizetype>(exportName.size()))
                      .replace('_', ' ');
  if (!words.isEmpty()) words[0] = words[0].toUpper();
  return words;
}

QStringList CumulativeFigureTitles() {
  QStringList titles;
  for (const char* name :
       {"row", "subgroup", "index_equivalent_mg_per_kg_bw_day", "percent_of_index_pad", "moet",
        "cumulative_moe", "target_moe", "hazard_index"})
    titles << ColumnTitle(name);
  return titles;
}

bool IsRiskColumn(std::string_view exportName) {
  return exportName == "lifetime_cancer_risk";
}

void FitColumns(QTableWidget* table, int nameColumn, int widest) {
  table->resizeColumnsToContents();
  if (nameColumn < 0 || nameColumn >= table->columnCount()) return;
  if (table->columnWidth(nameColumn) > widest) table->setColumnWidth(nameColumn, widest);
  for (int r = 0; r < table->rowCount(); ++r)
    if (QTableWidgetItem* item = table->item(r, nameColumn)) item->setToolTip(item->text());
}

QTableWidgetItem* TextCell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  return item;
}

QTableWidget* NewTable(const char* name, QWidget* parent) {
  auto* table = new QTableWidget(parent);
  table->setObjectName(name);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Tab goes on to the next control (the chart, the buttons); the arrow
  // keys move within the table.
  table->setTabKeyNavigation(false);
  table->verticalHeader()->hide();
  // Compact rows: a whole list of subgroups fits on the screen.
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
  table->horizontalHeader()->setStretchLastSection(false);
  return table;
}

QPushButton* NewButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QChartView* NewChartView(const char* name, QWidget* parent) {
  auto* view = new QChartView(parent);
  view->setObjectName(name);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumSize(480, 360);
  // Tab reaches the chart, whose window may take keys for it.
  view->setFocusPolicy(Qt::StrongFocus);
  return view;
}

void CopyToClipboard(const QTableWidget& table) {
  QApplication::clipboard()->setText(FiguresTableText(table));
}

void PlaceResultsWindow(QWidget& window, const QWidget& main, const QWidget* report) {
  const QScreen* screen = main.screen();
  if (!screen) return;
  const QRect room = screen->availableGeometry();
  // The window manager's frame, as around the main window.
  const QRect mainFrame = main.frameGeometry();
  const int extraW = mainFrame.width() - main.width();
  const int extraH = mainFrame.height() - main.height();
  const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
  int left = room.left(), right = room.right();
  if (report) {
    // The larger of the two sides of the viewer, when the window fits there.
    const QRect shown = report->frameGeometry();
    const int before = shown.left() - room.left(), after = room.right() - shown.right();
    const int side = std::max(before, after) - extraW;
    if (side >= least.width()) {
      if (before >= after)
        right = shown.left() - 1;
      else
        left = shown.right() + 1;
    }
  }
  // Below the main window's menu bar, so that its menus (Run Analysis
  // among them) stay in reach while the run's windows are open.
  int top = room.top();
  if (const auto* menus = main.findChild<QMenuBar*>(); menus && menus->isVisible())
    top = std::clamp(menus->mapToGlobal(QPoint(0, menus->height())).y() + 1, room.top(),
                     room.top() + room.height() / 3);
  const int w =
      std::max(least.width(), std::min(kResultsWindowSize.width(), right - left + 1 - extraW));
  const int h = std::max(least.height(),
                         std::min(kResultsWindowSize.height(), room.bottom() + 1 - top - extraH));
  window.resize(w, h);
  // Over the main window where that is in the free room; else at its edge.
  const int x = std::clamp(mainFrame.left(), left, std::max(left, right + 1 - w - extraW));
  const int y = std::clamp(std::max(mainFrame.top(), top), room.top(),
                           std::max(room.top(), room.bottom() + 1 - h - extraH));
  window.move(x, y);
}

QString Title(const QString& what, const std::string& chemical) {
  const QString name = FromBytes(chemical).trimmed();
  return name.isEmpty() ? what : what + " - " + name;
}

ChartColumn NewChartColumn(QWidget* parent) {
  ChartColumn c;
  c.column = new QWidget(parent);
  auto* layout = new QVBoxLayout(c.column);
  layout->setContentsMargins(0, 0, 0, 0);
  c.mostExposed = new QLabel(c.column);
  c.mostExposed->setObjectName("lblMostExposed");
  QFont bold = c.mostExposed->font();
  bold.setBold(true);
  c.mostExposed->setFont(bold);
  c.mostExposed->setWordWrap(true);
  auto* scroll = new QScrollArea(c.column);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  c.chart = NewChartView("chtSubgroups", scroll);
  scroll->setWidget(c.chart);
  layout->addWidget(c.mostExposed);
  layout->addWidget(scroll, 1);
  return c;
}

TableChartButtons AddTableChartButtons(QBoxLayout* outer, QWidget* parent) {
  TableChartButtons b;
  auto* buttons = new QHBoxLayout();
  b.copyTable = NewButton(QObject::tr("&Copy Table"), "cmdCopyTable", parent);
  b.exportChart = NewButton(QObject::tr("&Export Chart..."), "cmdExportChart", parent);
  buttons->addWidget(b.copyTable);
  buttons->addWidget(b.exportChart);
  buttons->addStretch(1);
  outer->addLayout(buttons);
  return b;
}

}  // namespace ormid
