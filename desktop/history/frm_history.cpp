#include "desktop/history/frm_history.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/platform.h"
#include "export/results_export.h"
#include "history/recorded_export.h"
#include "history/run_compare.h"
#include "history/run_history.h"

namespace ormid {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QString Number(const std::optional<double>& v, const char* format = "%.6g") {
  if (!v) return {};
  char text[40];
  std::snprintf(text, sizeof text, format, *v);
  return QString::fromLatin1(text);
}

std::optional<double> Widen(const std::optional<float>& v) {
  return v ? std::optional<double>(*v) : std::nullopt;
}

// An item that sorts by its number, not its text.
QStandardItem* NumberItem(double value, const QString& text) {
  auto* item = new QStandardItem(text);
  item->setData(value, Qt::UserRole);
  item->setEditable(false);
  return item;
}

QStandardItem* TextItem(const std::string& text) {
  auto* item = new QStandardItem(Q(text));
  item->setData(Q(text), Qt::UserRole);
  item->setEditable(false);
  return item;
}

// The figures of a run as the exports show them, cell for cell.
class FigureTable : public ResultsSink {
 public:
  explicit FigureTable(QTableWidget* t) : t_(t) {}
  void LongTerm(const ModOrmid&, const LongTermResult& r) override {
    Head(LongTermColumns());
    LongTermCells(r, cells_);
    Add(AboveReferenceDose(r.percentReference));
  }
  void Contribution(const ModOrmid&, const ContributionResult& r) override {
    Head(ContributionColumns());
    ContributionCells(r, cells_);
    Add(AboveReferenceDose(r.percentReference));
  }

 private:
  void Head(const std::vector<Column>& columns) {
    if (t_->columnCount() > 0) return;
    t_->setColumnCount(static_cast<int>(columns.size()));
    QStringList names;
    for (const Column& c : columns) names << QString::fromLatin1(c.name);
    t_->setHorizontalHeaderLabels(names);
  }
  void Add(bool above) {
    const int row = t_->rowCount();
    t_->insertRow(row);
    for (std::size_t i = 0; i < cells_.size(); ++i) {
      QString text;
      if (auto s = std::get_if<std::string_view>(&cells_[i]))
        text = QString::fromUtf8(s->data(), static_cast<int>(s->size()));
      else if (auto n = std::get_if<long long>(&cells_[i]))
        text = QString::number(*n);
      else if (auto f = std::get_if<float>(&cells_[i]))
        text = Q(ShortestText(*f));
      auto* item = new QTableWidgetItem(text);
      if (above) item->setForeground(QColor(192, 0, 0));
      t_->setItem(row, static_cast<int>(i), item);
    }
  }
  QTableWidget* t_;
  std::vector<Cell> cells_;
};

}  // namespace

FrmHistory::FrmHistory(Platform& p, std::string historyFile, QWidget* parent)
    : QWidget(parent, Qt::Window), p_(p), file_(std::move(historyFile)) {
  setWindowTitle(tr("Run History"));
  setObjectName("frmHistory");
  txtChemical = new QLineEdit(this);
  txtChemical->setPlaceholderText(tr("Chemical"));
  txtChemical->setClearButtonEnabled(true);
  cmdRefresh = new QPushButton(tr("&Refresh"), this);
  cmdCompare = new QPushButton(tr("&Compare"), this);
  cmdCompare->setEnabled(false);

  model = new QStandardItemModel(0, 8, this);
  model->setHorizontalHeaderLabels({tr("Id"), tr("Date"), tr("Command"), tr("Chemical"),
                                    tr("Residue file"), tr("Endpoint"), tr("Worst subgroup"),
                                    tr("Figure")});
  filter = new QSortFilterProxyModel(this);
  filter->setSourceModel(model);
  filter->setFilterKeyColumn(3);
  filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
  filter->setSortRole(Qt::UserRole);
  grdRuns = new QTableView(this);
  grdRuns->setModel(filter);
  grdRuns->setSortingEnabled(true);
  grdRuns->sortByColumn(0, Qt::DescendingOrder);
  grdRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
  grdRuns->setSelectionMode(QAbstractItemView::ExtendedSelection);
  grdRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdRuns->verticalHeader()->hide();
  grdRuns->horizontalHeader()->setStretchLastSection(true);

  auto* top = new QHBoxLayout;
  auto* label = new QLabel(tr("C&hemical:"), this);
  label->setBuddy(txtChemical);
  top->addWidget(label);
  top->addWidget(txtChemical, 1);
  top->addWidget(cmdRefresh);
  top->addWidget(cmdCompare);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(grdRuns, 1);
  resize(900, 420);

  connect(txtChemical, &QLineEdit::textChanged, this,
          [this](const QString& text) { filter->setFilterFixedString(text); });
  connect(cmdRefresh, &QPushButton::clicked, this, &FrmHistory::Refresh);
  connect(cmdCompare, &QPushButton::clicked, this, &FrmHistory::CompareSelected);
  connect(grdRuns, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    ShowRun(filter->data(filter->index(index.row(), 0), Qt::UserRole).toLongLong());
  });
  connect(grdRuns->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &FrmHistory::SelectionChanged);
  Refresh();
}

void FrmHistory::Refresh() {
  std::string error;
  auto runs = ListRuns(file_, {}, error);
  model->removeRows(0, model->rowCount());
  if (!runs) {
    p_.MessageBox(error + ".", "Run History", MsgIcon::Exclamation, MsgButtons::OK);
    return;
  }
  for (const RunSummary& r : *runs) {
    QString figure;
    if (r.worst.kind != FigureKind::None)
      figure = Number(r.worst.value) + " " + QString::fromLatin1(FigureName(r.worst.kind));
    model->appendRow({NumberItem(static_cast<double>(r.id), QString::number(r.id)),
                      TextItem(r.date), TextItem(r.command), TextItem(r.chemical),
                      TextItem(r.residueFile), TextItem(r.endpoint), TextItem(r.worstSubgroup),
                      NumberItem(r.worst.value, figure)});
  }
  grdRuns->resizeColumnsToContents();
  SelectionChanged();
}

std::vector<long long> FrmHistory::SelectedIds() const {
  std::vector<long long> ids;
  for (const QModelIndex& index : grdRuns->selectionModel()->selectedRows(0))
    ids.push_back(filter->data(index, Qt::UserRole).toLongLong());
  std::sort(ids.begin(), ids.end());
  return ids;
}

void FrmHistory::SelectionChanged() {
  cmdCompare->setEnabled(SelectedIds().size() == 2);
}

void FrmHistory::ShowRun(long long id) {
  std::string error;
  auto run = LoadRun(file_, id, error);
  if (!run) {
    p_.MessageBox(error + ".", "Run History", MsgIcon::Exclamation, MsgButtons::OK);
    return;
  }
  delete dlgRun;
  dlgRun = new FrmRunDetails(*run, p_, this);
  dlgRun->show();
}

void FrmHistory::CompareSelected() {
  const auto ids = SelectedIds();
  if (ids.size() != 2) return;
  std::string error;
  auto a = LoadRun(file_, ids[0], error, true);
  auto b = a ? LoadRun(file_, ids[1], error, true) : std::nullopt;
  if (!a || !b) {
    p_.MessageBox(error + ".", "Run History", MsgIcon::Exclamation, MsgButtons::OK);
    return;
  }
  delete dlgCompare;
  dlgCompare = new FrmCompare(CompareRuns(*a, *b), this);
  dlgCompare->show();
}

namespace {

// "long-term analysis" for "longterm": the run's command in words.
QString CommandInWords(const std::string& command) {
  if (command == "longterm") return QObject::tr("Long-term analysis");
  if (command == "commodity") return QObject::tr("Commodity contribution analysis");
  if (command == "cumulative") return QObject::tr("Cumulative assessment");
  return Q(command);
}

// A manifest setting's name in words: "second_adjustment_factor" gives
// "Second adjustment factor".
QString SettingName(const std::string& key) {
  QString name = Q(key).replace('_', ' ');
  if (!name.isEmpty()) name[0] = name[0].toUpper();
  return name;
}

QString SettingValue(const nlohmann::json& v) {
  if (v.is_null()) return QObject::tr("none");
  if (v.is_boolean()) return v.get<bool>() ? QObject::tr("yes") : QObject::tr("no");
  if (v.is_string()) return Q(v.get<std::string>());
  if (v.is_array()) {
    QStringList items;
    for (const nlohmann::json& item : v) items << SettingValue(item);
    return items.isEmpty() ? QObject::tr("none") : items.join(", ");
  }
  if (v.is_object()) {
    QStringList items;
    for (const auto& [key, item] : v.items()) items << Q(key) + " = " + SettingValue(item);
    return items.join(", ");
  }
  return Q(v.dump());
}

}  // namespace

FrmRunDetails::FrmRunDetails(const RecordedRun& run, Platform& p, QWidget* parent)
    : QDialog(parent), run_(run), p_(p) {
  setWindowTitle(tr("Run %1").arg(run.summary.id));
  const RunSummary& s = run.summary;
  QStringList facts;
  facts << tr("%1 of %2, run %3 on %4")
               .arg(CommandInWords(s.command), Q(s.chemical))
               .arg(s.id)
               .arg(Q(s.date));
  facts << (s.command == "cumulative" ? tr("Group file: %1") : tr("Residue file: %1"))
               .arg(Q(s.residueFile));
  if (!s.worstSubgroup.empty())
    facts << tr("Most exposed subgroup: %1 (%2 %3)")
                 .arg(Q(s.worstSubgroup), QString::fromLatin1(FigureName(s.worst.kind)),
                      Q(ShortestText(s.worst.value)));
  lblRun = new QLabel(facts.join('\n'), this);
  lblRun->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QStringList settings;
  if (run.manifest.contains("settings") && run.manifest["settings"].is_object())
    for (const auto& [key, value] : run.manifest["settings"].items())
      if (key != "arguments") settings << SettingName(key) + ": " + SettingValue(value);
  lblSettings = new QLabel(settings.join('\n'), this);
  lblSettings->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblSettings->setWordWrap(true);

  txtManifest = new QPlainTextEdit(this);
  txtManifest->setReadOnly(true);
  txtManifest->setPlainText(
      Q(run.manifest.dump(2, ' ', false, nlohmann::json::error_handler_t::replace)));
  grdFigures = new QTableWidget(this);
  grdFigures->setEditTriggers(QAbstractItemView::NoEditTriggers);
  if (s.command == "cumulative") {
    // The subgroups' cumulative figures.
    grdFigures->setColumnCount(5);
    grdFigures->setHorizontalHeaderLabels({tr("Subgroup"), tr("Exposure (index eq., mg/kg bw/day)"),
                                           tr("% cPAD"), tr("MOET"), tr("Hazard index")});
    for (const RecordedCumulative& c : run.cumulative) {
      const int row = grdFigures->rowCount();
      grdFigures->insertRow(row);
      const QString cells[] = {Q(c.subgroup), Q(ShortestText(c.indexEquivalent)),
                               Q(ShortestText(c.percentCpad)),
                               c.moet ? Q(ShortestText(*c.moet)) : QString(),
                               c.hazardIndex ? Q(ShortestText(*c.hazardIndex)) : QString()};
      for (int k = 0; k < 5; ++k) grdFigures->setItem(row, k, new QTableWidgetItem(cells[k]));
    }
  } else {
    FigureTable table(grdFigures);
    ModOrmid m;
    run.Replay(m, table);
  }
  grdFigures->resizeColumnsToContents();

  auto* tabs = new QTabWidget(this);
  tabs->addTab(grdFigures, tr("&Figures"));
  tabs->addTab(txtManifest, tr("&Manifest"));
  cmdCopy = new QPushButton(tr("&Copy Figures"), this);
  cmdExport = new QPushButton(tr("&Export..."), this);
  connect(cmdCopy, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setText(FiguresText()); });
  connect(cmdExport, &QPushButton::clicked, this, &FrmRunDetails::Export);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdCopy);
  buttons->addWidget(cmdExport);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblRun);
  layout->addWidget(lblSettings);
  layout->addWidget(tabs, 1);
  layout->addLayout(buttons);
  resize(900, 600);
}

QString FrmRunDetails::FiguresText() const {
  QStringList lines, cells;
  for (int c = 0; c < grdFigures->columnCount(); ++c)
    cells << grdFigures->horizontalHeaderItem(c)->text();
  lines << cells.join('\t');
  for (int r = 0; r < grdFigures->rowCount(); ++r) {
    cells.clear();
    for (int c = 0; c < grdFigures->columnCount(); ++c) {
      const QTableWidgetItem* item = grdFigures->item(r, c);
      cells << (item ? item->text() : QString());
    }
    lines << cells.join('\t');
  }
  return lines.join('\n') + '\n';
}

void FrmRunDetails::Export() {
  FileDialogRequest request;
  request.title = "Export Run " + std::to_string(run_.summary.id);
  request.filter = "CSV table|*.csv|JSON document|*.json|Excel workbook|*.xlsx";
  request.fileName = "run" + std::to_string(run_.summary.id) + ".csv";
  const auto chosen = p_.SaveFileDialogWithType(request);
  if (!chosen || chosen->path.empty()) return;
  std::string path = chosen->path;
  // A name typed without an extension takes the picked type's.
  static const char* const kExtensions[] = {".csv", ".json", ".xlsx"};
  if (!ExportFormatOf(path)) path += kExtensions[std::clamp(chosen->filterIndex, 1, 3) - 1];
  if (p_.FileExists(path) &&
      p_.MessageBox("File " + path + " already exists. Do you want to write over this file?",
                    "Export Run", MsgIcon::Question, MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
    return;
  for (const ExportFailure& f : ExportRecordedRun(p_, run_, path))
    p_.MessageBox("The export file " + f.path + " could not be written: " + f.reason + ".",
                  "Export Run", MsgIcon::Exclamation, MsgButtons::OK);
}

QColor FrmCompare::CrossingColour() {
  return QColor(255, 210, 210);
}

FrmCompare::FrmCompare(const Comparison& c, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Run %1 and run %2").arg(c.a.id).arg(c.b.id));
  grdSubgroups = new QTableWidget(static_cast<int>(c.subgroups.size()), 12, this);
  grdSubgroups->setHorizontalHeaderLabels(
      {tr("Row"), tr("Subgroup"), tr("Exposure, run %1 (mg/kg bw/day)").arg(c.a.id),
       tr("Exposure, run %1 (mg/kg bw/day)").arg(c.b.id), tr("Exposure change"),
       tr("Exposure change %"), tr("Figure"), tr("Figure, run %1").arg(c.a.id),
       tr("Figure, run %1").arg(c.b.id), tr("Figure change"), tr("Figure change %"), tr("100%")});
  grdSubgroups->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdSubgroups->verticalHeader()->hide();
  for (std::size_t i = 0; i < c.subgroups.size(); ++i) {
    const SubgroupChange& s = c.subgroups[i];
    const bool same = Comparable(s);
    // Figures of two kinds are shown side by side, never subtracted.
    const bool unlike = s.valueA && s.valueB && !same;
    QString figure = QString::fromLatin1(FigureName(s.figureA));
    if (s.figureB != s.figureA) figure += " / " + QString::fromLatin1(FigureName(s.figureB));
    const QString cells[] = {QString::number(s.row),
                             Q(s.subgroup),
                             Number(Widen(s.exposureA)),
                             Number(Widen(s.exposureB)),
                             Number(Change(s.exposureA, s.exposureB), "%+.6g"),
                             Number(RelativeChange(s.exposureA, s.exposureB), "%+.2f"),
                             figure,
                             Number(Widen(s.valueA)),
                             Number(Widen(s.valueB)),
                             same     ? Number(Change(s.valueA, s.valueB), "%+.4g")
                             : unlike ? tr(kNotComparable)
                                      : QString(),
                             same ? Number(RelativeChange(s.valueA, s.valueB), "%+.2f") : QString(),
                             QString::fromLatin1(CrossingText(s.crossing))};
    for (int k = 0; k < 12; ++k) {
      auto* item = new QTableWidgetItem(cells[k]);
      if (s.crossing != Crossing::None) item->setBackground(CrossingColour());
      grdSubgroups->setItem(static_cast<int>(i), k, item);
    }
  }
  grdSubgroups->resizeColumnsToContents();
  txtDifferences = new QPlainTextEdit(this);
  txtDifferences->setReadOnly(true);
  // The settings, inputs and crop groups as the command line prints them.
  std::string text = ComparisonText(c);
  text = text.substr(text.find("\nSettings that differ") + 1);
  txtDifferences->setPlainText(Q(text));
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(grdSubgroups);
  split->addWidget(txtDifferences);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split);
  resize(1100, 640);
}

}  // namespace ormid
