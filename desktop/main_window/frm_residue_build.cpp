#include "desktop/main_window/frm_residue_build.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/platform.h"
#include "desktop/delivery/qt_text.h"
#include "residue/residue_file_writer.h"
#include "residue/residue_reader.h"
#include "residue_table/residue_table.h"

namespace ormid {

namespace {

const char* const kColumns[] = {"Bound",
                                "Food code",
                                "Food / food form",
                                "Commodity sampled",
                                "Samples",
                                "Det.",
                                "NQ",
                                "ND",
                                "Zeros",
                                "ND value (ppm)",
                                "Mean (ppm)",
                                "%CT",
                                "Residue (ppm)",
                                "Adj.#1",
                                "Adj.#2",
                                "Note"};
constexpr int kColumnCount = static_cast<int>(std::size(kColumns));

QComboBox* Choices(QWidget* parent, const char* name, std::initializer_list<const char*> words) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  for (const char* word : words) box->addItem(QString::fromLatin1(word));
  return box;
}

std::string Word(const QComboBox* box) {
  return ToBytes(box->currentText());
}

// A box's number: empty is 0.
std::optional<float> Number(const QLineEdit* box) {
  const std::string text = TrimCell(ToBytes(box->text()));
  if (text.empty()) return 0.0f;
  const std::optional<float> v = ReadFloatText(text);
  if (!v || !std::isfinite(*v) || *v < 0) return std::nullopt;
  return *v == 0 ? 0.0f : *v;
}

std::string Absolute(const std::string& path) {
  return std::filesystem::absolute(path).lexically_normal().string();
}

}  // namespace

FrmResidueBuild::FrmResidueBuild(const ModOrmid& m, Platform& p, QWidget* parent)
    : QDialog(parent), m_(m), p_(p) {
  setObjectName("frmResidueBuild");
  setWindowTitle(tr("Build Residue File from Samples"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout();
  auto fileRow = [&](const char* label, const char* name, QLineEdit*& box, QPushButton*& button) {
    auto* row = new QHBoxLayout();
    box = new QLineEdit(this);
    box->setObjectName(name);
    button = new QPushButton(tr("Browse..."), this);
    button->setObjectName(QString::fromLatin1(name).replace("txt", "cmd"));
    button->setAutoDefault(false);
    row->addWidget(box, 1);
    row->addWidget(button);
    form->addRow(tr(label), row);
  };
  fileRow("&Samples file:", "txtSamples", txtSamples, cmdSamples);
  fileRow("&Rules file:", "txtRules", txtRules, cmdRules);
  fileRow("Residue &file to write:", "txtOutput", txtOutput, cmdOutput);
  txtChemical = new QLineEdit(this);
  txtChemical->setObjectName("txtChemical");
  form->addRow(tr("&Chemical:"), txtChemical);
  auto* values = new QHBoxLayout();
  for (auto [label, name, box] :
       {std::tuple{"NOEL", "txtNoel", &txtNoel}, std::tuple{"RfD", "txtRfd", &txtRfd},
        std::tuple{"Q*", "txtQstar", &txtQstar}}) {
    *box = new QLineEdit(QStringLiteral("0"), this);
    (*box)->setObjectName(name);
    values->addWidget(new QLabel(QString::fromLatin1(label), this));
    values->addWidget(*box);
  }
  form->addRow(tr("Values the file carries:"), values);
  cboNonDetects = Choices(this, "cboNonDetects", {"half-lod", "zero", "lod", "half-loq", "loq"});
  form->addRow(tr("&Non-detects:"), cboNonDetects);
  cboNotQuantified = Choices(this, "cboNotQuantified", {"half-loq", "loq", "lod-plus-half"});
  form->addRow(tr("Not &quantified:"), cboNotQuantified);
  cboCropTreated = Choices(this, "cboCropTreated", {"zero-non-detects", "factor"});
  form->addRow(tr("Percent crop &treated:"), cboCropTreated);
  cboBound = Choices(this, "cboBound", {"middle", "lower", "upper", "all"});
  form->addRow(tr("&Bound:"), cboBound);
  layout->addLayout(form);

  lblSummary = new QLabel(tr("Preview reads the samples and rules and shows what the build "
                             "will write."),
                          this);
  lblSummary->setObjectName("lblSummary");
  lblSummary->setWordWrap(true);
  layout->addWidget(lblSummary);
  grdBuild = new QTableWidget(this);
  grdBuild->setObjectName("grdBuild");
  grdBuild->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdBuild->verticalHeader()->hide();
  layout->addWidget(grdBuild, 1);

  auto* buttons = new QHBoxLayout();
  cmdPreview = new QPushButton(tr("&Preview"), this);
  cmdPreview->setObjectName("cmdPreview");
  cmdPreview->setDefault(true);
  cmdBuild = new QPushButton(tr("B&uild"), this);
  cmdBuild->setObjectName("cmdBuild");
  cmdBuild->setEnabled(false);
  cmdCancel = new QPushButton(tr("Cancel"), this);
  cmdCancel->setObjectName("cmdCancel");
  buttons->addStretch(1);
  buttons->addWidget(cmdPreview);
  buttons->addWidget(cmdBuild);
  buttons->addWidget(cmdCancel);
  layout->addLayout(buttons);

  const std::string csv = "CSV files|*.csv;*.CSV";
  connect(cmdSamples, &QPushButton::clicked, this,
          [this, csv] { Browse(txtSamples, "the samples file", csv, false); });
  connect(cmdRules, &QPushButton::clicked, this,
          [this, csv] { Browse(txtRules, "the rules file", csv, false); });
  connect(cmdOutput, &QPushButton::clicked, this, [this] {
    Browse(txtOutput, "the residue file to write", ResidueFileFilter(m_.gSurveyBase), true);
  });
  for (QLineEdit* box : {txtSamples, txtRules, txtOutput, txtChemical, txtNoel, txtRfd, txtQstar})
    connect(box, &QLineEdit::textChanged, this, &FrmResidueBuild::Changed);
  for (QComboBox* box : {cboNonDetects, cboNotQuantified, cboCropTreated, cboBound})
    connect(box, &QComboBox::currentIndexChanged, this, &FrmResidueBuild::Changed);
  connect(cmdPreview, &QPushButton::clicked, this, &FrmResidueBuild::Preview);
  connect(cmdBuild, &QPushButton::clicked, this, &QDialog::accept);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
  resize(960, 600);
}

void FrmResidueBuild::Browse(QLineEdit* box, const char* title, const std::string& filter,
                             bool save) {
  FileDialogRequest request;
  request.title = std::string("Build Residue File: ") + title;
  request.filter = filter;
  request.initialDir = box == txtOutput ? m_.gResiduePath : m_.gWorkingDir;
  request.fileName = FileNameOnly(ToBytes(box->text()));
  const auto chosen = save ? p_.SaveFileDialog(request) : p_.OpenFileDialog(request);
  p_.ChangeDir(m_.gWorkingDir);
  if (chosen && !chosen->empty()) box->setText(FromBytes(*chosen));
}

// A change of any box asks for a new preview before the build.
void FrmResidueBuild::Changed() {
  cmdBuild->setEnabled(false);
}

std::string FrmResidueBuild::Settings(ResidueBuildSettings& s) const {
  s = ResidueBuildSettings();
  const std::string samples = TrimCell(ToBytes(txtSamples->text()));
  const std::string rules = TrimCell(ToBytes(txtRules->text()));
  std::string output = TrimCell(ToBytes(txtOutput->text()));
  if (samples.empty() || rules.empty() || output.empty())
    return "name the samples file, the rules file and the residue file to write";
  // A name without an extension gets the installation's; one without a
  // folder goes to the residue folder.
  if (FileNameOnly(output).find('.') == std::string::npos) output += ResidueExtension(m_);
  if (!std::filesystem::path(output).has_parent_path())
    output = (std::filesystem::path(m_.gResiduePath) / output).string();
  s.samples = Absolute(samples);
  s.rules = Absolute(rules);
  s.samplesShown = FileNameOnly(samples);
  s.rulesShown = FileNameOnly(rules);
  s.output = Absolute(output);
  s.chemical = TrimCell(ToBytes(txtChemical->text()));
  const auto noel = Number(txtNoel), rfd = Number(txtRfd), qstar = Number(txtQstar);
  if (!noel || !rfd || !qstar) return "the NOEL, RfD and Q* are numbers of 0 or more";
  s.noel = *noel;
  s.rfd = *rfd;
  s.qstar = *qstar;
  s.nonDetects = NonDetectRuleFrom(Word(cboNonDetects)).value_or(NonDetectRule::HalfLod);
  s.notQuantified =
      NotQuantifiedRuleFrom(Word(cboNotQuantified)).value_or(NotQuantifiedRule::HalfLoq);
  s.cropTreated =
      CropTreatedRuleFrom(Word(cboCropTreated)).value_or(CropTreatedRule::ZeroNonDetects);
  s.bound = BoundChoiceFrom(Word(cboBound)).value_or(BoundChoice::Middle);
  return ResidueBuildUsageProblem(m_, s);
}

bool FrmResidueBuild::Preview() {
  cmdBuild->setEnabled(false);
  ResidueBuildSettings s;
  if (const std::string problem = Settings(s); !problem.empty()) {
    ShowProblems({"The residue file cannot be built: " + problem + "."}, 0);
    return false;
  }
  MasterFoods foods;
  std::string error;
  BuildInputs in;
  BuildProblems problems;
  if (!LoadMasterFoods(m_, foods, error)) {
    ShowProblems({"The residue file cannot be built: " + error + "."}, 0);
    return false;
  }
  if (!ReadBuildInputs(m_, foods, s, in, problems)) {
    ShowProblems(problems.lines, problems.count);
    return false;
  }
  ShowBuild(ComputeResidueBuild(m_, foods, in, s, FormatReportDate(p_.Now())));
  previewed_ = s;
  cmdBuild->setEnabled(true);
  return true;
}

void FrmResidueBuild::ShowProblems(const std::vector<std::string>& lines, std::size_t count) {
  grdBuild->clear();
  grdBuild->setColumnCount(1);
  grdBuild->setHorizontalHeaderLabels({tr("Problem")});
  grdBuild->horizontalHeader()->setStretchLastSection(true);
  grdBuild->setRowCount(static_cast<int>(lines.size()));
  for (std::size_t i = 0; i < lines.size(); ++i)
    grdBuild->setItem(static_cast<int>(i), 0, new QTableWidgetItem(FromBytes(lines[i])));
  lblSummary->setText(count == 0 ? FromBytes(lines.empty() ? std::string() : lines.front())
                                 : FromBytes("The samples and rules have " + std::to_string(count) +
                                             (count == 1 ? " problem" : " problems") +
                                             ". Nothing is written until there are none."));
}

void FrmResidueBuild::ShowBuild(const ResidueBuild& build) {
  grdBuild->clear();
  grdBuild->setColumnCount(kColumnCount);
  QStringList headings;
  for (const char* c : kColumns) headings << QString::fromLatin1(c);
  grdBuild->setHorizontalHeaderLabels(headings);
  grdBuild->horizontalHeader()->setStretchLastSection(true);
  const int rows = static_cast<int>(build.rows.size() + build.unruled.size() + build.noData.size());
  grdBuild->setRowCount(rows);
  int at = 0;
  auto put = [&](int column, const std::string& text) {
    grdBuild->setItem(at, column, new QTableWidgetItem(FromBytes(text)));
  };
  auto number = [](int v) { return std::to_string(v); };
  for (const BuildRow& r : build.rows) {
    put(0, OptionText(r.bound));
    put(1, r.foodCode);
    put(2, r.form ? r.formLabel : r.foodName);
    if (r.rule) {
      put(3, r.commodity + (r.fromFoodRule ? " (the food's rule)" : ""));
      put(4, number(r.samples));
      put(5, number(r.detected));
      put(6, number(r.notQuantified));
      put(7, number(r.nonDetects));
      put(8, number(r.zeros));
      if (r.nonDetectLow)
        put(9, *r.nonDetectLow == *r.nonDetectHigh
                   ? ShortestText(*r.nonDetectLow)
                   : ShortestText(*r.nonDetectLow) + "-" + ShortestText(*r.nonDetectHigh));
      put(10, ShortestText(r.mean));
      put(11, ShortestText(r.percentCropTreated));
    } else {
      put(3, "(entry of its food forms)");
    }
    put(12, ResidueNumberText(r.residue));
    put(13, ResidueNumberText(r.adj1));
    put(14, ResidueNumberText(r.adj2));
    put(15, r.note);
    ++at;
  }
  // What the build leaves out, marked.
  auto mark = [&](const QColor& colour) {
    for (int c = 0; c < kColumnCount; ++c) {
      if (!grdBuild->item(at, c)) grdBuild->setItem(at, c, new QTableWidgetItem());
      grdBuild->item(at, c)->setBackground(colour);
    }
  };
  for (const ResidueBuild::Unruled& u : build.unruled) {
    put(3, u.commodity);
    put(4, number(u.samples));
    put(15, "commodity sampled that no rule names: not used");
    mark(QColor(255, 240, 200));
    ++at;
  }
  for (const ResidueBuild::Food& f : build.noData) {
    put(1, f.code);
    put(2, f.name);
    put(15, "food no rule names: no data, no entry");
    mark(QColor(230, 230, 230));
    ++at;
  }
  grdBuild->resizeColumnsToContents();
  std::size_t entries = 0;
  for (const ResidueFile& f : build.files) entries += f.foods.size();
  lblSummary->setText(FromBytes(
      std::to_string(build.sampleCount) + " samples of " + std::to_string(build.commodityCount) +
      " commodities by " + std::to_string(build.ruleCount) +
      " rules: " + std::to_string(entries / std::max<std::size_t>(build.files.size(), 1)) +
      " foods in the residue file" + (build.files.size() == 1 ? "" : "s") + "; " +
      std::to_string(build.unruled.size()) + " commodities without a rule, " +
      std::to_string(build.noData.size()) + " foods without data (marked). Build writes " +
      (build.files.size() == 1 ? ResidueFileOfBound(build.settings, build.bounds[0])
                               : "the lower, middle and upper files") +
      " and the build report."));
}

}  // namespace ormid
