#include "desktop/results/results_chart.h"

#include <QAbstractBarSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QHorizontalBarSeries>
#include <QHorizontalStackedBarSeries>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>

#include "core/platform.h"
#include "cumulative/cumulative_figures.h"
#include "desktop/delivery/qt_text.h"
#include "desktop/results/results_widgets.h"

namespace ormid {

namespace {

const QColor kBarColour(0x3b, 0x6e, 0xa8);
const QColor kWarningColour(0xd9, 0x48, 0x0f);

// The size an exported chart is laid out at, in points: a landscape page.
constexpr int kPageWidth = 900;
constexpr int kPageHeight = 600;

QString FigureTitle(ChartFigure figure) {
  switch (figure) {
    case ChartFigure::PercentReference:
      return QObject::tr("% of RfD or PAD");
    case ChartFigure::MarginOfExposure:
      return QObject::tr("Margin of exposure (log scale)");
    case ChartFigure::LifetimeRisk:
      return QObject::tr("Lifetime cancer risk (log scale)");
  }
  return {};
}

// A label on lines of at most `width` characters, broken between words
// (a longer word stays whole on its own line); each line escaped.
QString WrappedLabel(const QString& name, int width) {
  QStringList lines;
  QString line;
  for (const QString& word : name.split(' ', Qt::SkipEmptyParts)) {
    if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
      lines << line.toHtmlEscaped();
      line.clear();
    }
    line += (line.isEmpty() ? "" : " ") + word;
  }
  if (!line.isEmpty()) lines << line.toHtmlEscaped();
  return lines.join("<br>");
}

// Category names must differ: a repeated name gets its row number. The
// chart draws its labels as rich text, so a name is escaped: "All infants
// (< 1 year)" is shown whole, not cut at a "<" read as markup. With
// `wrapAt`, a long name goes on lines of about that many characters.
QStringList Distinct(const QStringList& names, int wrapAt = 0) {
  QStringList out;
  std::set<QString> seen;
  for (int i = 0; i < names.size(); ++i) {
    QString name = names[i].trimmed().isEmpty() ? QString("#%1").arg(i + 1) : names[i].trimmed();
    if (!seen.insert(name).second) name += QString(" (%1)").arg(i + 1);
    seen.insert(name);
    out << (wrapAt > 0 ? WrappedLabel(name, wrapAt) : name.toHtmlEscaped());
  }
  return out;
}

// The categories' names down the left of horizontal bars, the first at the
// top, none cut short; long ones wrapped when `wrapAt` is given.
QBarCategoryAxis* AttachSubgroupAxis(QChart* chart, QAbstractBarSeries* bars,
                                     const QStringList& subgroups, int wrapAt = 0) {
  auto* categories = new QBarCategoryAxis();
  QStringList names = Distinct(subgroups, wrapAt);
  std::reverse(names.begin(), names.end());
  categories->append(names);
  categories->setTruncateLabels(false);
  chart->addAxis(categories, Qt::AlignLeft);
  bars->attachAxis(categories);
  return categories;
}

void SetFonts(QChart* chart, int pointSize) {
  if (pointSize <= 0) return;
  QFont title = chart->titleFont();
  title.setPointSize(pointSize + 3);
  title.setBold(true);
  chart->setTitleFont(title);
  QFont label;
  label.setPointSize(pointSize);
  for (QAbstractAxis* axis : chart->axes()) {
    axis->setLabelsFont(label);
    QFont axisTitle = label;
    axisTitle.setBold(true);
    axis->setTitleFont(axisTitle);
  }
  chart->legend()->setFont(label);
}

// A decade's label on a log scale: "100", "1,000" or "1E-06".
QString DecadeLabel(int e) {
  if (e >= 0 && e <= 6) return QString::number(std::pow(10.0, e), 'f', 0);
  return QString("1E%1%2").arg(e < 0 ? '-' : '+').arg(std::abs(e), 2, 10, QChar('0'));
}

// A tick step of 1, 2, 2.5 or 5 times a power of ten, at least raw.
double NiceStep(double raw) {
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0})
    if (m * power >= raw) return m * power;
  return 10 * power;
}

// A part's colour in a stacked chart: the bars' own colour first.
QColor PartColour(int j) {
  static const QColor palette[] = {kBarColour,
                                   QColor(0xe3, 0x9b, 0x2d),
                                   QColor(0x4f, 0xa3, 0x5a),
                                   QColor(0x8e, 0x5a, 0xa8),
                                   QColor(0x9c, 0x6b, 0x4e),
                                   QColor(0x2e, 0xa8, 0xb5),
                                   QColor(0xc9, 0x5f, 0x9a),
                                   QColor(0x7a, 0x7a, 0x7a)};
  return palette[static_cast<std::size_t>(j) % std::size(palette)];
}

// The limit across every bar of a horizontal chart of n categories: a
// dashed line at x.
void AddLimitLine(QChart* chart, QAbstractAxis* values, QAbstractAxis* categories, double x, int n,
                  const QString& name) {
  auto* line = new QLineSeries();
  line->setObjectName(kLimitSeries);
  line->setName(name);
  line->append(x, -0.5);
  line->append(x, n - 0.5);
  QPen pen(kWarningColour);
  pen.setWidthF(2);
  pen.setStyle(Qt::DashLine);
  line->setPen(pen);
  chart->addSeries(line);
  line->attachAxis(values);
  line->attachAxis(categories);
}

}  // namespace

SubgroupChartData SubgroupChartOf(const std::vector<ShownSubgroup>& rows, ChartFigure figure,
                                  const QString& title) {
  SubgroupChartData data;
  data.title = title;
  data.figure = figure;
  for (const ShownSubgroup& row : rows) {
    data.subgroups << FromBytes(row.name);
    data.values << FigureOf(row.figures, figure);
  }
  const int most = MostExposed(rows);
  if (most >= 0 && rows[static_cast<std::size_t>(most)].figures.exposure > 0) {
    const ShownSubgroup& row = rows[static_cast<std::size_t>(most)];
    QString figureText;
    const float v = FigureOf(row.figures, figure);
    switch (figure) {
      case ChartFigure::PercentReference:
        figureText = QObject::tr("%1% of %2")
                         .arg(QString::number(v, 'f', 1))
                         .arg(row.figures.reference == ReferenceKind::PAD ? "PAD" : "RfD");
        break;
      case ChartFigure::MarginOfExposure:
        figureText = QObject::tr("margin of exposure %1").arg(QString::number(v, 'f', 0));
        break;
      case ChartFigure::LifetimeRisk:
        figureText = QObject::tr("lifetime risk %1").arg(QString::number(v, 'E', 2));
        break;
    }
    data.note = QObject::tr("Most exposed: %1, %2 mg/kg bw/day (%3)")
                    .arg(FromBytes(row.name).trimmed())
                    .arg(QString::number(row.figures.exposure, 'g', 4))
                    .arg(figureText);
  } else {
    data.note = QObject::tr("No subgroup is exposed.");
  }
  return data;
}

ParetoChartData ParetoChartOf(const std::vector<CommodityWhatIf::Bar>& bars, const QString& title) {
  ParetoChartData data;
  data.title = title;
  double past = 0;
  for (const CommodityWhatIf::Bar& bar : bars) {
    const QString name = FromBytes(bar.name).trimmed();
    data.groups << (bar.code.empty() ? name : FromBytes(bar.code) + " " + name);
    data.shares << bar.share.value_or(0.0f);
    data.cumulative << bar.cumulative;
    past = std::max(past, bar.cumulative);
  }
  // A food in several crop groups counts in each of them.
  if (past > 100.005)
    data.note = QObject::tr(
                    "The cumulative share reaches %1%: a food that belongs to several crop "
                    "groups counts in each of them, so the shares add up to more than "
                    "100% of the subgroup's exposure.")
                    .arg(FigureText(static_cast<float>(past)));
  return data;
}

QChart* BuildSubgroupChart(const SubgroupChartData& data, int pointSize) {
  auto* chart = new QChart();
  chart->setTitle(data.title);
  chart->legend()->hide();
  chart->setMargins(QMargins(4, 4, 12, 4));
  const int n = static_cast<int>(data.values.size());

  // Log scales draw log10 of the figure from a baseline decade; the axis
  // names the decades.
  const bool log = data.figure != ChartFigure::PercentReference;
  const double limit = data.figure == ChartFigure::PercentReference   ? 100.0
                       : data.figure == ChartFigure::MarginOfExposure ? 100.0
                                                                      : 1e-6;
  int low = static_cast<int>(std::floor(std::log10(limit))) - 1;
  int high = low + 2;
  float largest = 0;
  for (float v : data.values) {
    largest = std::max(largest, v);
    if (v > 0) {
      low = std::min(low, static_cast<int>(std::floor(std::log10(v))));
      high = std::max(high, static_cast<int>(std::ceil(std::log10(v))));
    }
  }
  auto drawn = [&](double v) { return log ? (v > 0 ? std::log10(v) - low : 0.0) : v; };

  auto* set = new QBarSet(FigureTitle(data.figure));
  set->setColor(kBarColour);
  set->setBorderColor(kBarColour);
  set->setSelectedColor(kWarningColour);
  // A horizontal chart draws its first category at the bottom: the rows go
  // in from the last, so that the first subgroup is at the top, as in the
  // report.
  for (int k = n - 1; k >= 0; --k) {
    set->append(drawn(data.values[k]));
    if (PastLimit(data.values[k], data.figure)) set->selectBar(n - 1 - k);
  }
  auto* bars = new QHorizontalBarSeries();
  bars->setObjectName(kBarsSeries);
  bars->append(set);
  bars->setBarWidth(0.7);
  chart->addSeries(bars);

  QBarCategoryAxis* categories = AttachSubgroupAxis(chart, bars, data.subgroups);

  QValueAxis* values = nullptr;
  if (log) {
    auto* decades = new QCategoryAxis();
    decades->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    decades->setStartValue(-1);
    for (int e = low; e <= high; ++e) decades->append(DecadeLabel(e), e - low);
    decades->setRange(0, high - low);
    values = decades;
  } else {
    values = new QValueAxis();
    const double top = std::max(110.0, largest * 1.05);
    const double step = NiceStep(top / 6);
    values->setRange(0, std::ceil(top / step) * step);
    values->setTickType(QValueAxis::TicksDynamic);
    values->setTickAnchor(0);
    values->setTickInterval(step);
    values->setLabelFormat("%.10g");
  }
  values->setTitleText(FigureTitle(data.figure));
  chart->addAxis(values, Qt::AlignBottom);
  bars->attachAxis(values);

  AddLimitLine(chart, values, categories, drawn(limit), n,
               log ? DecadeLabel(static_cast<int>(std::round(std::log10(limit)))) : "100%");

  SetFonts(chart, pointSize);
  return chart;
}

StackedChartData CumulativeChartOf(const AssessmentGroup& group,
                                   const std::vector<CumulativeSubgroup>& subgroups,
                                   const QString& title) {
  StackedChartData data;
  data.title = title;
  data.axisTitle = QObject::tr("Index-equivalent exposure (mg/kg bw/day)");
  data.limit = group.Cpad();
  data.limitName = QObject::tr("cPAD");
  for (const GroupChemical& g : group.chemicals) data.parts << FromBytes(g.chemical).trimmed();
  data.values.resize(static_cast<int>(group.chemicals.size()));
  for (const CumulativeSubgroup& s : subgroups) {
    data.subgroups << FromBytes(s.subgroup);
    for (std::size_t j = 0; j < group.chemicals.size() && j < s.equivalent.size(); ++j)
      data.values[static_cast<int>(j)] << s.equivalent[j];
  }
  const int most = MostExposedSubgroup(subgroups);
  if (most >= 0 && subgroups[static_cast<std::size_t>(most)].indexEquivalent > 0) {
    const CumulativeSubgroup& s = subgroups[static_cast<std::size_t>(most)];
    data.note = QObject::tr("Most exposed: %1, %2 mg/kg bw/day in %3 equivalents (%4% of cPAD)")
                    .arg(FromBytes(s.subgroup).trimmed())
                    .arg(QString::number(s.indexEquivalent, 'g', 4))
                    .arg(FromBytes(group.chemicals[group.index].chemical).trimmed())
                    .arg(QString::number(s.percentCpad, 'f', 1));
  } else {
    data.note = QObject::tr("No subgroup is exposed.");
  }
  return data;
}

QChart* BuildStackedSubgroupChart(const StackedChartData& data, int pointSize) {
  auto* chart = new QChart();
  chart->setTitle(data.title);
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setMargins(QMargins(4, 4, 12, 4));
  const int n = static_cast<int>(data.subgroups.size());

  // One bar set per part, each subgroup's parts stacked into its bar; the
  // first subgroup at the top, as in the long-term chart.
  auto* bars = new QHorizontalStackedBarSeries();
  bars->setObjectName(kBarsSeries);
  double largest = 0;
  std::vector<double> totals(static_cast<std::size_t>(n), 0.0);
  for (int j = 0; j < data.parts.size(); ++j) {
    auto* set = new QBarSet(data.parts[j]);
    const QColor colour = PartColour(j < data.colours.size() ? data.colours[j] : j);
    set->setColor(colour);
    set->setBorderColor(colour);
    const QList<double>& values = data.values[j];
    for (int k = n - 1; k >= 0; --k) {
      const double v = k < values.size() ? values[k] : 0.0;
      set->append(v);
      totals[static_cast<std::size_t>(k)] += v;
    }
    bars->append(set);
  }
  for (double t : totals) largest = std::max(largest, t);
  bars->setBarWidth(0.7);
  chart->addSeries(bars);

  QBarCategoryAxis* categories = AttachSubgroupAxis(chart, bars, data.subgroups);

  auto* values = new QValueAxis();
  const double top = std::max(largest, data.limit) * 1.1;
  if (top > 0) {
    const double step = NiceStep(top / 6);
    values->setRange(0, std::ceil(top / step) * step);
    values->setTickType(QValueAxis::TicksDynamic);
    values->setTickAnchor(0);
    values->setTickInterval(step);
  } else {
    values->setRange(0, 1);
  }
  values->setLabelFormat("%.10g");
  values->setTitleText(data.axisTitle);
  chart->addAxis(values, Qt::AlignBottom);
  bars->attachAxis(values);

  if (data.limit > 0) AddLimitLine(chart, values, categories, data.limit, n, data.limitName);
  SetFonts(chart, pointSize);
  return chart;
}

QString WhatIfTitle(const QString& title, const QStringList& leftOut) {
  if (leftOut.isEmpty()) return title;
  QStringList named = leftOut.mid(0, 4);
  if (leftOut.size() > 4) named << QObject::tr("%1 more").arg(leftOut.size() - 4);
  return title + "<br>" +
         QObject::tr("What-if, left out: %1").arg(named.join(", ").toHtmlEscaped());
}

QChart* BuildParetoChart(const ParetoChartData& data, int pointSize) {
  auto* chart = new QChart();
  chart->setTitle(data.title);
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setMargins(QMargins(4, 4, 12, 4));
  const int n = static_cast<int>(data.shares.size());

  // Horizontal bars: every crop group's label on a line of its own, none
  // over another, the largest share at the top.
  auto* set = new QBarSet(QObject::tr("Share of total exposure (%)"));
  set->setColor(kBarColour);
  set->setBorderColor(kBarColour);
  for (int k = n - 1; k >= 0; --k) set->append(data.shares[k]);
  auto* bars = new QHorizontalBarSeries();
  bars->setObjectName(kBarsSeries);
  bars->append(set);
  bars->setBarWidth(0.7);
  chart->addSeries(bars);
  // A crop group's name runs to some 50 characters ("Other commodities
  // (sugars, beverages, water)"): on lines of 24, beside a plot that keeps
  // its width in a window half a laptop's screen wide.
  QBarCategoryAxis* groups = AttachSubgroupAxis(chart, bars, data.groups, 24);
  groups->setTitleText(QObject::tr("Crop group"));

  // A food in several crop groups counts in each of them: a group's share,
  // and the cumulative line, may pass 100% of the subgroup's exposure. The
  // axis reaches past the largest, so that every bar is drawn whole and the
  // line stays in the plot.
  double top = 100;
  for (float share : data.shares) top = std::max(top, static_cast<double>(share));
  for (double sum : data.cumulative) top = std::max(top, sum);
  top = std::ceil(top / 10) * 10;
  auto* shares = new QValueAxis();
  shares->setRange(0, top);
  shares->setTickType(QValueAxis::TicksDynamic);
  shares->setTickAnchor(0);
  shares->setTickInterval(NiceStep(top / 6));
  shares->setLabelFormat("%g%%");
  shares->setTitleText(QObject::tr("% of total exposure"));
  chart->addAxis(shares, Qt::AlignBottom);
  bars->attachAxis(shares);

  auto* line = new QLineSeries();
  line->setObjectName(kCumulativeSeries);
  line->setName(QObject::tr("Cumulative share (%)"));
  for (int i = 0; i < data.cumulative.size(); ++i) line->append(data.cumulative[i], n - 1 - i);
  QPen pen(kWarningColour);
  pen.setWidthF(2);
  line->setPen(pen);
  line->setPointsVisible(true);
  chart->addSeries(line);
  line->attachAxis(shares);
  line->attachAxis(groups);

  SetFonts(chart, pointSize);
  return chart;
}

bool ChartFormatOf(const std::string& path, ChartFormat& format) {
  const QString suffix = FromBytes(path).section('.', -1).toLower();
  if (!FromBytes(path).contains('.')) return false;
  if (suffix == "png")
    format = ChartFormat::Png;
  else if (suffix == "svg")
    format = ChartFormat::Svg;
  else if (suffix == "pdf")
    format = ChartFormat::Pdf;
  else
    return false;
  return true;
}

int ChartHeightFor(QChart* chart) {
  // Qt hides a category label that would overlap the one before: every
  // category gets a line of its label font, with room for the title and the
  // value axis.
  // A wrapped label takes as many lines as it has, and the categories are
  // spaced evenly: the one with most lines sets the spacing.
  int height = 0;
  for (QAbstractAxis* axis : chart->axes())
    if (auto* categories = qobject_cast<QBarCategoryAxis*>(axis))
      if (axis->orientation() == Qt::Vertical) {
        qsizetype lines = 1;
        for (const QString& label : categories->categories())
          lines = std::max(lines, label.count("<br>") + 1);
        const int spacing = static_cast<int>(lines) * QFontMetrics(axis->labelsFont()).height() + 4;
        height = std::max(height, static_cast<int>(categories->count()) * spacing + 180);
      }
  return height;
}

std::unique_ptr<QChartView> ExportView(QChart* chart) {
  auto view = std::make_unique<QChartView>(chart);
  view->setRenderHint(QPainter::Antialiasing);
  view->setAttribute(Qt::WA_DontShowOnScreen);
  view->setFrameShape(QFrame::NoFrame);
  view->resize(kPageWidth, std::max(kPageHeight, ChartHeightFor(chart)));
  view->show();
  QCoreApplication::processEvents();
  return view;
}

QByteArray ChartBytes(QChart* chart, ChartFormat format) {
  // A title may carry line breaks and small print; the files' own titles
  // are plain text.
  QString plainTitle = chart->title();
  plainTitle.replace("<br>", " - ").remove(QRegularExpression("<[^>]*>"));
  const std::unique_ptr<QChartView> laidOut = ExportView(chart);
  QChartView& view = *laidOut;
  const int pageHeight = view.height();
  const QRectF page(0, 0, kPageWidth, pageHeight);

  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  switch (format) {
    case ChartFormat::Png: {
      QImage image(kPageWidth * 2, pageHeight * 2, QImage::Format_ARGB32);
      image.setDevicePixelRatio(2);
      image.fill(Qt::white);
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      view.render(&painter, page, view.viewport()->rect());
      painter.end();
      image.save(&buffer, "PNG");
      break;
    }
    case ChartFormat::Svg: {
      QSvgGenerator svg;
      svg.setOutputDevice(&buffer);
      svg.setSize(QSize(kPageWidth, pageHeight));
      svg.setViewBox(page);
      svg.setTitle(plainTitle.toHtmlEscaped());
      QPainter painter(&svg);
      view.render(&painter, page, view.viewport()->rect());
      break;
    }
    case ChartFormat::Pdf: {
      QPdfWriter pdf(&buffer);
      pdf.setTitle(plainTitle);
      pdf.setPageSize(QPageSize(QPageSize::A4));
      pdf.setPageOrientation(QPageLayout::Landscape);
      pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
      QPainter painter(&pdf);
      view.render(&painter, QRectF(0, 0, pdf.width(), pdf.height()), view.viewport()->rect());
      break;
    }
  }
  view.hide();
  return bytes;
}

bool ExportChart(Platform& p, const std::string& proposedName,
                 const std::function<QChart*(int)>& make) {
  FileDialogRequest request;
  request.title = "Export Chart";
  request.filter = "Chart (PNG, SVG or PDF)|*.png;*.svg;*.pdf";
  request.fileName = proposedName;
  auto chosen = p.SaveFileDialog(request);
  if (!chosen) return false;
  std::string path = *chosen;
  ChartFormat format = ChartFormat::Png;
  if (!ChartFormatOf(path, format)) path += ".png";
  if (p.FileExists(path) &&
      p.MessageBox("File " + path + " already exists. Write over?", "Warning!", MsgIcon::Question,
                   MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
    return false;
  // A report page: nine-point labels on a chart of 900 x 600 points.
  const QByteArray bytes = ChartBytes(make(9), format);
  std::string error;
  if (!p.WriteFile(path, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                   FileKind::SavedCopy, error)) {
    p.MessageBox("The chart could not be written to " + path + ": " + error + ".", "Export Chart",
                 MsgIcon::Exclamation, MsgButtons::OK);
    return false;
  }
  return true;
}

}  // namespace ormid
