#include "desktop/history/frm_history.h"
#include "desktop/main_window/qt_platform.h"

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
#include <iterator>

#include "core/mod_ormid.h"
#include "core/platform.h"
#include "delivery/export_dialog.h"
#include "desktop/history/run_words.h"
#include "desktop/results/results_widgets.h"
#include "export/results_export.h"
#include "history/run_compare.h"
#include "history/run_history.h"
#include "session/finished_run.h"

namespace ormid {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// An item that sorts by its number, not its text.
QStandardItem* SortedNumberItem(double value, const QString& text) {
  auto* item = new QStandardItem(text);
  item->setData(value, Qt::UserRole);
  item->setEditable(false);
  return item;
}

// An item that sorts by its text, or by `key` when it shows other words.
QStandardItem* TextItem(const std::string& key, const QString& shown = {}) {
  auto* item = new QStandardItem(shown.isNull() ? Q(key) : shown);
  item->setData(Q(key), Qt::UserRole);
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
    risk_.clear();
    for (const Column& c : columns) {
      names << ColumnTitle(c.name);
      risk_.push_back(IsRiskColumn(c.name));
    }
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
        text = FigureText(*f, i < risk_.size() && risk_[i]);
      auto* item = new QTableWidgetItem(text);
      if (above) item->setForeground(QColor(192, 0, 0));
      t_->setItem(row, static_cast<int>(i), item);
    }
  }
  QTableWidget* t_;
  std::vector<Cell> cells_;
  std::vector<bool> risk_;
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
      figure = FigureText(r.worst.value, r.worst.kind == FigureKind::Risk) + " " +
               QString::fromLatin1(FigureName(r.worst.kind));
    model->appendRow({SortedNumberItem(static_cast<double>(r.id), QString::number(r.id)),
                      TextItem(r.date, DateText(r.date)), TextItem(r.command), TextItem(r.chemical),
                      TextItem(r.residueFile), TextItem(r.endpoint, EndpointName(r.endpoint)),
                      TextItem(r.worstSubgroup), SortedNumberItem(r.worst.value, figure)});
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
  dlgRun = new FrmRunDetails(*run, p_, this, onResults);
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
  dlgCompare = new FrmCompare(CompareRuns(*a, *b), p_, this);
  dlgCompare->show();
}

FrmRunDetails::FrmRunDetails(const RecordedRun& run, Platform& p, QWidget* parent,
                             std::function<void(const RecordedRun&)> onResults)
    : QDialog(parent), run_(run), p_(p) {
  setWindowTitle(tr("Run %1").arg(run.summary.id));
  const RunSummary& s = run.summary;
  QStringList facts;
  facts << tr("%1 of %2, run %3 on %4")
               .arg(CommandInWords(s.command), Q(s.chemical))
               .arg(s.id)
               .arg(DateText(s.date));
  facts << (s.command == "cumulative" ? tr("Group file: %1") : tr("Residue file: %1"))
               .arg(Q(s.residueFile));
  if (!s.worstSubgroup.empty())
    facts << tr("Most exposed subgroup: %1 (%2 %3)")
                 .arg(Q(s.worstSubgroup), QString::fromLatin1(FigureName(s.worst.kind)),
                      FigureText(s.worst.value, s.worst.kind == FigureKind::Risk));
  lblRun = new QLabel(facts.join('\n'), this);
  lblRun->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QStringList settings;
  if (run.manifest.contains("settings") && run.manifest["settings"].is_object())
    for (const auto& [key, value] : run.manifest["settings"].items())
      if (key != "arguments")
        settings << SettingInWords(key) + ": " + SettingValueInWords(key, value);
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
    // The subgroups' cumulative figures, the columns of the cumulative
    // Results window.
    const QStringList titles = CumulativeFigureTitles();
    grdFigures->setColumnCount(static_cast<int>(titles.size()));
    grdFigures->setHorizontalHeaderLabels(titles);
    for (const RecordedCumulative& c : run.cumulative) {
      const int row = grdFigures->rowCount();
      grdFigures->insertRow(row);
      const QString cells[] = {QString::number(c.row),
                               Q(c.subgroup),
                               FigureText(c.indexEquivalent),
                               FigureText(c.percentCpad),
                               c.moet ? FigureText(*c.moet) : QString(),
                               c.margin ? FigureText(*c.margin) : QString(),
                               c.targetMargin ? FigureText(*c.targetMargin) : QString(),
                               c.hazardIndex ? FigureText(*c.hazardIndex) : QString()};
      for (int k = 0; k < static_cast<int>(std::size(cells)); ++k)
        grdFigures->setItem(row, k, new QTableWidgetItem(cells[k]));
    }
  } else {
    FigureTable table(grdFigures);
    ModOrmid m;
    run.Replay(m, table);
  }
  // The row is a column of its own; a column the run has no figure in (the
  // reference dose of a NOEL run) is left out.
  grdFigures->verticalHeader()->hide();
  for (int c = 0; c < grdFigures->columnCount(); ++c) {
    bool empty = true;
    for (int r = 0; empty && r < grdFigures->rowCount(); ++r)
      if (const QTableWidgetItem* item = grdFigures->item(r, c); item && !item->text().isEmpty())
        empty = false;
    grdFigures->setColumnHidden(c, empty && grdFigures->rowCount() > 0);
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
  // A long-term or cumulative run's Results window: its figures and chart
  // (a commodity run's breakdown and any what-if need the run itself).
  if (onResults && (s.command == "longterm" || s.command == "cumulative")) {
    cmdResults = new QPushButton(tr("&Results"), this);
    connect(cmdResults, &QPushButton::clicked, this, [this, onResults] { onResults(run_); });
    buttons->addWidget(cmdResults);
  }
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
    if (!grdFigures->isColumnHidden(c)) cells << grdFigures->horizontalHeaderItem(c)->text();
  lines << cells.join('\t');
  for (int r = 0; r < grdFigures->rowCount(); ++r) {
    cells.clear();
    for (int c = 0; c < grdFigures->columnCount(); ++c) {
      if (grdFigures->isColumnHidden(c)) continue;
      const QTableWidgetItem* item = grdFigures->item(r, c);
      cells << (item ? item->text() : QString());
    }
    lines << cells.join('\t');
  }
  return lines.join('\n') + '\n';
}

void FrmRunDetails::Export() {
  DialogOwnerScope owner(this);
  const std::string id = std::to_string(run_.summary.id);
  int type = 1;
  const auto path = ChooseExportFile(p_, {}, "run" + id + ".csv", type, "Export Run " + id);
  if (!path) return;
  for (const ExportFailure& f : ExportFinishedRun(p_, FinishedRunOf(run_), *path))
    p_.MessageBox("The export file " + f.path + " could not be written: " + f.reason + ".",
                  "Export Run", MsgIcon::Exclamation, MsgButtons::OK);
}

QColor FrmCompare::CrossingColour() {
  return QColor(255, 210, 210);
}

namespace {

// A run of a comparison in a line: which, what, on what and when.
QString RunLine(const char* side, const RunSummary& r) {
  return QObject::tr("Run %1 (%2): %3 of %4 on %5, %6")
      .arg(QString::fromLatin1(side))
      .arg(r.id)
      .arg(CommandInWords(r.command), Q(r.chemical), Q(r.date), Q(r.residueFile));
}

// A change with its sign, in the tables' form.
QString SignedText(const std::optional<double>& v) {
  if (!v) return {};
  return (*v > 0 ? "+" : "") + FigureText(*v);
}

QTableWidget* NewCompareTable(const QStringList& headings, int rows, QWidget* parent) {
  auto* table = new QTableWidget(rows, static_cast<int>(headings.size()), parent);
  table->setHorizontalHeaderLabels(headings);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->hide();
  return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
  for (int k = 0; k < cells.size(); ++k) table->setItem(row, k, new QTableWidgetItem(cells[k]));
}

}  // namespace

FrmCompare::FrmCompare(const Comparison& c, Platform& p, QWidget* parent)
    : QDialog(parent), c_(std::make_unique<Comparison>(c)), p_(p) {
  setWindowTitle(tr("Run %1 and run %2").arg(c.a.id).arg(c.b.id));
  lblRuns = new QLabel(RunLine("A", c.a) + '\n' + RunLine("B", c.b), this);
  lblRuns->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblRuns->setWordWrap(true);
  const QString a = QString::number(c.a.id), b = QString::number(c.b.id);
  // Which change is the exposure's and which the endpoint figure's, and in
  // which unit.
  grdSubgroups = NewCompareTable(
      {ColumnTitle("row"), ColumnTitle("subgroup"), tr("Exposure, run %1 (mg/kg bw/day)").arg(a),
       tr("Exposure, run %1 (mg/kg bw/day)").arg(b), tr("Exposure change (mg/kg bw/day)"),
       tr("Exposure change (%)"), tr("Endpoint figure"), tr("Endpoint figure, run %1").arg(a),
       tr("Endpoint figure, run %1").arg(b), tr("Endpoint figure change"),
       tr("Endpoint figure change (%)"), tr("Crossing of 100%")},
      static_cast<int>(c.subgroups.size()), this);
  for (std::size_t i = 0; i < c.subgroups.size(); ++i) {
    const SubgroupChange& s = c.subgroups[i];
    const bool same = Comparable(s);
    // Figures of two kinds are shown side by side, never subtracted.
    const bool unlike = s.valueA && s.valueB && !same;
    QString figure = QString::fromLatin1(FigureName(s.figureA));
    if (s.figureB != s.figureA) figure += " / " + QString::fromLatin1(FigureName(s.figureB));
    auto value = [](const std::optional<float>& v, FigureKind kind) {
      return v ? FigureText(*v, kind == FigureKind::Risk) : QString();
    };
    SetRow(grdSubgroups, static_cast<int>(i),
           {QString::number(s.row), Q(s.subgroup), value(s.exposureA, FigureKind::None),
            value(s.exposureB, FigureKind::None), SignedText(Change(s.exposureA, s.exposureB)),
            SignedText(RelativeChange(s.exposureA, s.exposureB)), figure,
            value(s.valueA, s.figureA), value(s.valueB, s.figureB),
            same     ? SignedText(Change(s.valueA, s.valueB))
            : unlike ? tr(kNotComparable)
                     : QString(),
            same ? SignedText(RelativeChange(s.valueA, s.valueB)) : QString(),
            QString::fromLatin1(CrossingText(s.crossing))});
    if (s.crossing != Crossing::None)
      for (int k = 0; k < grdSubgroups->columnCount(); ++k)
        grdSubgroups->item(static_cast<int>(i), k)->setBackground(CrossingColour());
  }
  FitColumns(grdSubgroups, 1);

  // The settings that differ, by name and in words.
  grdSettings = NewCompareTable({tr("Setting"), tr("Run %1").arg(a), tr("Run %1").arg(b)},
                                static_cast<int>(c.settings.size()), this);
  for (std::size_t i = 0; i < c.settings.size(); ++i) {
    const SettingChange& s = c.settings[i];
    SetRow(
        grdSettings, static_cast<int>(i),
        {SettingInWords(s.name), SettingTextInWords(s.name, s.a), SettingTextInWords(s.name, s.b)});
  }
  grdSettings->resizeColumnsToContents();
  // The input files whose contents differ.
  grdInputs = NewCompareTable({tr("Input"), tr("Run %1").arg(a), tr("SHA-256, run %1").arg(a),
                               tr("Run %1").arg(b), tr("SHA-256, run %1").arg(b)},
                              static_cast<int>(c.inputs.size()), this);
  for (std::size_t i = 0; i < c.inputs.size(); ++i) {
    const InputChange& in = c.inputs[i];
    auto sha = [](const std::string& s) { return s.empty() ? tr("(none)") : Q(s.substr(0, 16)); };
    SetRow(grdInputs, static_cast<int>(i),
           {Q(in.role), in.pathA.empty() ? tr("(none)") : Q(in.pathA), sha(in.sha256A),
            in.pathB.empty() ? tr("(none)") : Q(in.pathB), sha(in.sha256B)});
  }
  grdInputs->resizeColumnsToContents();

  auto* tabs = new QTabWidget(this);
  tabs->addTab(grdSettings, tr("&Settings that differ (%1)").arg(c.settings.size()));
  tabs->addTab(grdInputs, tr("&Input files that differ (%1)").arg(c.inputs.size()));
  if (c.a.command == "commodity" && c.b.command == "commodity") {
    grdCropGroups = NewCompareTable(
        {ColumnTitle("row"), ColumnTitle("subgroup"), ColumnTitle("crop_group"),
         tr("Share, run %1 (%)").arg(a), tr("Share, run %1 (%)").arg(b), tr("Change (points)")},
        static_cast<int>(c.cropGroups.size()), this);
    for (std::size_t i = 0; i < c.cropGroups.size(); ++i) {
      const CropGroupChange& g = c.cropGroups[i];
      SetRow(grdCropGroups, static_cast<int>(i),
             {QString::number(g.row), Q(g.subgroup), Q(g.cropGroup),
              g.shareA ? FigureText(*g.shareA) : QString(),
              g.shareB ? FigureText(*g.shareB) : QString(), SignedText(g.change)});
    }
    FitColumns(grdCropGroups, 1);
    tabs->addTab(grdCropGroups, tr("C&rop groups that changed most"));
  }

  cmdCopy = new QPushButton(tr("&Copy Table"), this);
  cmdCopy->setAutoDefault(false);
  cmdExport = new QPushButton(tr("&Export..."), this);
  cmdExport->setAutoDefault(false);
  connect(cmdCopy, &QPushButton::clicked, this, [this] { CopyToClipboard(*grdSubgroups); });
  connect(cmdExport, &QPushButton::clicked, this, &FrmCompare::Export);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdCopy);
  buttons->addWidget(cmdExport);
  buttons->addStretch();

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(grdSubgroups);
  split->addWidget(tabs);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblRuns);
  layout->addWidget(split, 1);
  layout->addLayout(buttons);
  resize(1000, 620);
}

FrmCompare::~FrmCompare() = default;

void FrmCompare::Export() {
  DialogOwnerScope owner(this);
  const std::string ids = std::to_string(c_->a.id) + "-" + std::to_string(c_->b.id);
  int type = 1;
  const auto path = ChooseExportFile(p_, {}, "compare" + ids + ".csv", type, "Export Comparison");
  if (!path) return;
  std::string error;
  if (!ExportComparison(p_, *c_, *path, error))
    p_.MessageBox("The export file " + *path + " could not be written: " + error + ".",
                  "Export Comparison", MsgIcon::Exclamation, MsgButtons::OK);
}

}  // namespace ormid
