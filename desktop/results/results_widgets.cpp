#include "desktop/results/results_widgets.h"

#include <QApplication>
#include <QChartView>
#include <QClipboard>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>

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

}  // namespace ormid
