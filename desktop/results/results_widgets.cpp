#include "desktop/results/results_widgets.h"

#include <QApplication>
#include <QChartView>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
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

QTableWidgetItem* NumberCell(std::optional<float> value) {
  if (!value) return new NumberItem(QString(), -1);
  return new NumberItem(FromBytes(ShortestText(*value)), *value);
}

QTableWidgetItem* DoubleCell(std::optional<double> value) {
  if (!value) return new NumberItem(QString(), -1);
  return new NumberItem(QString::number(*value, 'g', QLocale::FloatingPointShortest), *value);
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
  return view;
}

void CopyToClipboard(const QTableWidget& table) {
  QApplication::clipboard()->setText(FiguresTableText(table));
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
