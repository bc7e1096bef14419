#include "desktop/batch/frm_batch.h"
#include "desktop/delivery/work_progress.h"
#include "desktop/results/results_widgets.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>
#include <functional>

#include "batch/batch_summary.h"
#include "core/float_text.h"
#include "core/platform.h"
#include "export/table_writer.h"
#include "manifest/run_manifest.h"
#include "setup/run_request.h"

namespace ormid {

namespace {

// Keeps every outcome for the table (a desktop batch is a handful of files),
// hands each finished one to the window's thread, and counts them for the
// progress dialog.
class Keeper : public BatchListener {
 public:
  Keeper(std::vector<ScenarioOutcome>& outcomes, std::atomic<std::size_t>& done,
         std::function<void(std::size_t)> finished)
      : outcomes_(outcomes), done_(done), finished_(std::move(finished)) {}
  void Finished(std::size_t index, const BatchScenario&, const ScenarioOutcome& o) override {
    outcomes_[index] = o;
    finished_(index);
  }
  void Progress(std::size_t done, std::size_t) override { done_.store(done); }

 private:
  std::vector<ScenarioOutcome>& outcomes_;
  std::atomic<std::size_t>& done_;
  std::function<void(std::size_t)> finished_;
};

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

FrmBatch::FrmBatch(const ModOrmid& m, WindowSettings s, Platform& p, QWidget* parent)
    : QDialog(parent), m_(m), settings_(std::move(s)), p_(p) {
  setWindowTitle(tr("Batch Run"));
  auto* layout = new QVBoxLayout(this);
  cboAnalysis = new QComboBox(this);
  cboAnalysis->addItem(tr("Long-term analysis"));
  cboAnalysis->addItem(tr("Commodity contribution analysis"));
  layout->addWidget(cboAnalysis);

  auto* values = new QHBoxLayout;
  auto box = [&](const QString& label, QLineEdit*& edit, int width) {
    edit = new QLineEdit(this);
    edit->setPlaceholderText(tr("file's own"));
    edit->setMaximumWidth(width);
    auto* name = new QLabel(label, this);
    name->setBuddy(edit);
    values->addWidget(name);
    values->addWidget(edit);
    connect(edit, &QLineEdit::textChanged, this, &FrmBatch::ShowValues);
  };
  box(tr("&NOEL"), txtNoel, 110);
  box(tr("R&fD"), txtRfd, 110);
  box(tr("&Q*"), txtQStar, 110);
  box(tr("Co&mment"), txtComment, 16777215);
  layout->addWidget(new QLabel(
      tr("Values typed here apply to every file; a blank box keeps each file's own."), this));
  layout->addLayout(values);
  grdValues = new QTableWidget(0, 6, this);
  grdValues->setHorizontalHeaderLabels(
      {tr("Residue file"), tr("Chemical"), tr("NOEL"), tr("RfD"), tr("Q*"), tr("Comment")});
  grdValues->horizontalHeader()->setStretchLastSection(true);
  grdValues->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdValues->verticalHeader()->hide();
  layout->addWidget(grdValues);

  grdSummary = new QTableWidget(0, 5, this);
  grdSummary->setHorizontalHeaderLabels(
      {tr("Scenario"), tr("Status"), tr("Worst subgroup"), tr("Figure"), tr("Message")});
  grdSummary->horizontalHeader()->setStretchLastSection(true);
  grdSummary->setEditTriggers(QAbstractItemView::NoEditTriggers);
  layout->addWidget(grdSummary);
  lblTotals = new QLabel(this);
  layout->addWidget(lblTotals);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  cmdRun = buttons->addButton(tr("&Run"), QDialogButtonBox::ActionRole);
  cmdRun->setEnabled(false);
  connect(cmdRun, &QPushButton::clicked, this, [this] { Start(files_, outDir_); });
  cmdExport = buttons->addButton(tr("&Export..."), QDialogButtonBox::ActionRole);
  cmdExport->setEnabled(false);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(cmdExport, &QPushButton::clicked, this, [this] {
    // The two formats as types of their own; a name typed without an
    // extension gets the picked type's.
    FileDialogRequest request;
    request.title = "Export Summary";
    request.filter = "CSV table|*.csv|Excel workbook|*.xlsx";
    request.initialDir = outDir_;
    request.fileName = "summary.csv";
    const auto chosen = p_.SaveFileDialogWithType(request);
    if (!chosen || chosen->path.empty()) return;
    std::string path = chosen->path;
    if (!ExportFormatOf(path)) path += chosen->filterIndex == 2 ? ".xlsx" : ".csv";
    std::string error;
    if (!ExportSummary(path, error))
      p_.MessageBox(error, "Export Summary", MsgIcon::Exclamation, MsgButtons::OK);
  });
  resize(760, 560);
}

FrmBatch::~FrmBatch() {
  if (thread_) {
    stop_.store(true);
    thread_->wait();
  }
}

bool FrmBatch::Running() const {
  return thread_ && thread_->isRunning();
}

void FrmBatch::SetFiles(std::vector<std::string> residueFiles, std::string outDir) {
  files_ = std::move(residueFiles);
  outDir_ = std::move(outDir);
  lblTotals->setText(tr("%1 residue files into %2").arg(files_.size()).arg(Q(outDir_)));
  cmdRun->setEnabled(!files_.empty());
  // Each file's own values, read once: the table shows them, or the typed
  // ones, as the boxes change.
  fileValues_.clear();
  for (const std::string& file : files_)
    fileValues_.push_back(ValuesOfResidueFile(m_, file, settings_, {}));
  ShowValues();
}

TypedValues FrmBatch::Typed() const {
  auto typed = [](const QLineEdit* edit) {
    const QString text = edit->text().trimmed();
    return text.isEmpty() ? std::optional<std::string>() : text.toStdString();
  };
  // A comment is taken as typed, blanks and all, once it holds more than
  // blanks.
  std::optional<std::string> comment;
  if (!txtComment->text().trimmed().isEmpty()) comment = txtComment->text().toStdString();
  return {typed(txtNoel), typed(txtRfd), typed(txtQStar), comment};
}

void FrmBatch::ShowValues() {
  const TypedValues typed = Typed();
  grdValues->setRowCount(static_cast<int>(fileValues_.size()));
  for (std::size_t i = 0; i < fileValues_.size(); ++i) {
    const FileValues& v = fileValues_[i];
    const auto row = static_cast<int>(i);
    auto cell = [&](int column, const QString& text) {
      grdValues->setItem(row, column, new QTableWidgetItem(text));
    };
    cell(0, Q(std::filesystem::path(files_[i]).filename().string()));
    if (!v.problem.empty()) {
      cell(1, Q(v.problem));
      for (int c = 2; c < 6; ++c) cell(c, QString());
      continue;
    }
    cell(1, Q(v.chemical));
    auto value = [&](bool used, const std::optional<std::string>& given, const std::string& own) {
      if (!used) return tr("not used");
      // A blank value (a comment the file leaves empty) says so.
      const QString text = Q(given ? *given : own).trimmed();
      return (text.isEmpty() ? tr("blank") : text) + (given ? tr(" (typed)") : tr(" (file)"));
    };
    cell(2, value(settings_.chkMOE1, typed.noel, v.settings.txtMOE1));
    cell(3, value(settings_.chkMOE2, typed.rfd, v.settings.txtMOE2));
    cell(4, value(settings_.chkMOE3, typed.qstar, v.settings.txtMOE3));
    cell(5, value(true, typed.comment, v.settings.txtComment));
  }
  grdValues->resizeColumnsToContents();
}

bool FrmBatch::Start(const std::vector<std::string>& residueFiles, const std::string& outDir) {
  const RunKind report = cboAnalysis->currentIndex() == 1 ? RunKind::Commodity : RunKind::LongTerm;
  std::vector<BatchScenario> scenarios;
  for (const std::string& file : residueFiles) {
    BatchScenario s;
    s.id = std::filesystem::path(file).stem().string();
    s.origin = file;
    s.residueFile = file;
    s.kind = report;
    const WindowSettings settings = settings_;
    const TypedValues typed = Typed();
    // The window's checks and reports; the NOEL, RfD, Q* and comment are
    // the file's own unless typed here. The PAD values come with the
    // started state.
    s.settings = [settings, typed](ModOrmid& m, WindowSettings& w, std::string&) {
      w = settings;
      TakeFileValues(m, typed, w);
      return true;
    };
    scenarios.push_back(std::move(s));
  }
  // Two residue files whose names differ only in letter case or extension
  // would write the same report.
  if (const std::string problem = ScenarioFilesProblem(scenarios); !problem.empty()) {
    p_.MessageBox(problem + ".", "Batch Run", MsgIcon::Exclamation, MsgButtons::OK);
    return false;
  }
  // Files of an earlier batch are replaced only when the user says so,
  // asked once before anything is written.
  if (const auto existing = ExistingBatchFiles(p_, outDir, scenarios);
      !existing.empty() &&
      p_.MessageBox(OverwriteQuestion(outDir, existing), "KAVRI-FCID Ormid Module",
                    MsgIcon::Question, MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
    return false;
  outDir_ = outDir;
  scenarios_ = std::move(scenarios);
  outcomes_.assign(scenarios_.size(), ScenarioOutcome());
  done_.store(0);
  stop_.store(false);
  cboAnalysis->setEnabled(false);
  for (QLineEdit* edit : {txtNoel, txtRfd, txtQStar, txtComment}) edit->setEnabled(false);
  cmdRun->setEnabled(false);

  // Every file's row at once, waiting; each is filled as its file finishes.
  grdSummary->setRowCount(static_cast<int>(scenarios_.size()));
  for (std::size_t i = 0; i < scenarios_.size(); ++i) {
    const auto row = static_cast<int>(i);
    grdSummary->setItem(row, 0, new QTableWidgetItem(Q(scenarios_[i].id)));
    grdSummary->setItem(row, 1, new QTableWidgetItem(tr("waiting")));
    for (int c = 2; c < 5; ++c) grdSummary->setItem(row, c, new QTableWidgetItem());
  }
  lblTotals->clear();
  cmdExport->setEnabled(false);

  // The window owns the dialog, which goes when the batch is done.
  progress = NewWorkProgress(this, windowTitle(), tr("Running the batch..."),
                             static_cast<int>(scenarios_.size()), 0, [this] { Cancel(); })
                 .release();

  BatchOptions options;
  options.outDir = outDir_;
  options.workers = std::max(1, QThread::idealThreadCount());
  options.date = p_.Now();
  options.stop = &stop_;
  if (recordHistory_) {
    RecordRequest history;
    history.now = options.date;
    options.history = history;
  }
  thread_ = QThread::create([this, options] {
    std::error_code ec;
    std::filesystem::create_directories(options.outDir, ec);
    nlohmann::json head = {{"program", {{"name", "Ormid"}, {"version", m_.gProgramVersion}}},
                           {"batch",
                            {{"date", IsoDateTime(options.date, false)},
                             {"working_folder", m_.gWorkingDir},
                             {"output_folder", options.outDir},
                             {"scenarios", scenarios_.size()}}}};
    // A finished file's row is filled on the window's thread as it finishes
    // (the outcome is written before the call is posted).
    Keeper keeper(outcomes_, done_, [this](std::size_t index) {
      QMetaObject::invokeMethod(
          this,
          [this, index] {
            FillRow(index);
            emit rowFinished(static_cast<int>(index));
          },
          Qt::QueuedConnection);
    });
    counts_ = RunBatch(m_, scenarios_, options, keeper);
    // The summary files beside the reports, as the command line writes them.
    BatchSummary summary(p_, options.outDir, scenarios_, head, 0, nullptr);
    std::string error;
    if (summary.Open(error)) {
      for (std::size_t i = 0; i < scenarios_.size(); ++i)
        summary.Finished(i, scenarios_[i], outcomes_[i]);
      summary.Commit(error);
    }
  });
  connect(thread_, &QThread::finished, this, &FrmBatch::Done);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &FrmBatch::Poll);
  timer_->start(100);
  thread_->start();
  return true;
}

void FrmBatch::Cancel() {
  stop_.store(true);
}

void FrmBatch::Poll() {
  if (!progress) return;
  const std::size_t done = done_.load();
  progress->setLabelText(
      tr("Running the batch: %1 of %2 files done...").arg(done).arg(scenarios_.size()));
  progress->setValue(static_cast<int>(done));
}

void FrmBatch::FillRow(std::size_t i) {
  const ScenarioOutcome& o = outcomes_[i];
  const auto row = static_cast<int>(i);
  QString worst, figure;
  if (const SubgroupFigures* w = WorstSubgroup(o)) {
    worst = Q(w->name);
    const LongTermResult& r = w->figures;
    if (r.percentReference)
      figure = FigureText(*r.percentReference) + "% of " +
               (r.reference == ReferenceKind::PAD ? "PAD" : "RfD");
    else if (r.marginOfExposure)
      figure = "MOE " + FigureText(*r.marginOfExposure);
    else if (r.lifetimeRisk)
      figure = "risk " + FigureText(*r.lifetimeRisk, true);
  }
  const QString cells[] = {Q(scenarios_[i].id), StatusText(o.status), worst, figure, Q(o.message)};
  for (int c = 0; c < 5; ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    if (c == 3 && OverReferenceDose(o)) item->setForeground(QColor(0x9C, 0x00, 0x06));
    grdSummary->setItem(row, c, item);
  }
}

void FrmBatch::Done() {
  timer_->stop();
  thread_->deleteLater();
  thread_ = nullptr;
  if (progress) {
    progress->blockSignals(true);
    progress->close();
    progress->deleteLater();
    progress = nullptr;
  }
  // Every row as the batch left it (the files not run among them).
  grdSummary->setRowCount(static_cast<int>(scenarios_.size()));
  for (std::size_t i = 0; i < scenarios_.size(); ++i) FillRow(i);
  grdSummary->resizeColumnsToContents();
  lblTotals->setText(tr("%1 scenarios: %2 done, %3 failed, %4 not run. Reports and summary in %5")
                         .arg(scenarios_.size())
                         .arg(counts_.done)
                         .arg(counts_.failed)
                         .arg(counts_.notRun)
                         .arg(Q(outDir_)));
  cmdExport->setEnabled(true);
  // The same files may be run again, with other values or the other analysis.
  cboAnalysis->setEnabled(true);
  for (QLineEdit* edit : {txtNoel, txtRfd, txtQStar, txtComment}) edit->setEnabled(true);
  cmdRun->setEnabled(!files_.empty());
  if (!counts_.historyNote.empty())
    p_.MessageBox(counts_.historyNote, "Run History", MsgIcon::Information, MsgButtons::OK);
  if (!counts_.historyProblem.empty())
    p_.MessageBox(counts_.historyProblem, "Run History", MsgIcon::Exclamation, MsgButtons::OK);
  emit finished();
}

bool FrmBatch::ExportSummary(const std::string& path, std::string& error) {
  if (!ExportFormatOf(path) || *ExportFormatOf(path) == ExportFormat::Json) {
    error = "The summary is exported as .csv or .xlsx, not " + path + ".";
    return false;
  }
  const auto& columns = SummaryColumns();
  TableSpec spec{path, "Scenarios", "scenarios", columns, -1, 0};
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (std::string_view(columns[i].name) == "percent_of_reference_dose")
      spec.highlightColumn = static_cast<int>(i);
  auto table = OpenTable(p_, spec, nlohmann::json::object(), error);
  if (!table) return false;
  for (std::size_t i = 0; i < scenarios_.size(); ++i)
    SummaryRows(scenarios_[i], outcomes_[i],
                [&](const std::vector<Cell>& cells, bool above) { table->Row(cells, above); });
  return table->Commit(error);
}

}  // namespace ormid
