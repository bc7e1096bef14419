#include "desktop/main_window/frm_aggregate.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "core/platform.h"
#include "desktop/delivery/qt_text.h"

namespace ormid {

namespace {

// A concentration as typed: a number from 0 to 1E+30 (a decimal comma
// taken), or nothing.
bool ReadConcentration(const QString& text, std::optional<double>& value) {
  std::string t = ToBytes(text.trimmed());
  value.reset();
  if (t.empty()) return true;
  for (char& c : t)
    if (c == ',') c = '.';
  double v = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v) || v < 0 || v > 1e30)
    return false;
  value = v;
  return true;
}

}  // namespace

FrmAggregate::FrmAggregate(Platform& p, const std::string& folder, QWidget* parent)
    : QDialog(parent), p_(p), folder_(folder) {
  setObjectName("frmAggregate");
  setWindowTitle(tr("Aggregate Assessment"));
  auto* outer = new QVBoxLayout(this);
  auto* form = new QFormLayout();
  auto fileRow = [&](QLineEdit*& box, const char* name, const QString& label, const char* title) {
    box = new QLineEdit(this);
    box->setObjectName(name);
    auto* browse = new QPushButton(tr("Browse..."), this);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this, b = box, title] { Browse(b, title); });
    auto* row = new QHBoxLayout();
    row->addWidget(box, 1);
    row->addWidget(browse);
    form->addRow(label, row);
  };
  fileRow(txtTox, "txtTox", tr("&Toxicology file:"), "Aggregate Assessment: the toxicology file");
  fileRow(txtResidential, "txtResidential", tr("&Residential file:"),
          "Aggregate Assessment: the residential file");
  txtWaterFoods = new QLineEdit(this);
  txtWaterFoods->setObjectName("txtWaterFoods");
  txtWaterFoods->setToolTip(
      tr("The installation's drinking water food codes, from all sources (direct and indirect), "
         "separated by commas"));
  form->addRow(tr("Drinking &water foods:"), txtWaterFoods);
  for (Duration d : kDurations) {
    QLineEdit*& box = txtWater[Index(d)];
    box = new QLineEdit(this);
    box->setObjectName(QString("txtWater%1").arg(Index(d) + 1));
    form->addRow(tr("EDWC %1 (ug/L):").arg(tr(DurationName(d))), box);
  }
  outer->addLayout(form);
  lblProblem = new QLabel(this);
  lblProblem->setObjectName("lblProblem");
  lblProblem->setWordWrap(true);
  outer->addWidget(lblProblem);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  cmdOK = buttons->button(QDialogButtonBox::Ok);
  connect(cmdOK, &QPushButton::clicked, this, &FrmAggregate::cmdOK_Click);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  outer->addWidget(buttons);
}

void FrmAggregate::Browse(QLineEdit* box, const char* title) {
  FileDialogRequest dialog;
  dialog.title = title;
  dialog.filter = "CSV files|*.csv;*.CSV";
  dialog.initialDir = folder_;
  auto file = p_.OpenFileDialog(dialog);
  p_.ChangeDir(folder_);
  if (file && !file->empty()) box->setText(FromBytes(*file));
}

void FrmAggregate::cmdOK_Click() {
  AggregateSettings s;
  auto absolute = [&](const QString& text) {
    const std::filesystem::path path(ToBytes(text.trimmed()));
    return (path.is_absolute() ? path : std::filesystem::path(folder_) / path)
        .lexically_normal()
        .string();
  };
  if (txtTox->text().trimmed().isEmpty()) {
    lblProblem->setText(tr("The toxicology file is needed."));
    txtTox->setFocus();
    return;
  }
  s.tox = absolute(txtTox->text());
  s.toxShown = std::filesystem::path(s.tox).filename().string();
  if (!txtResidential->text().trimmed().isEmpty()) {
    s.residential = absolute(txtResidential->text());
    s.residentialShown = std::filesystem::path(s.residential).filename().string();
  }
  for (Duration d : kDurations)
    if (!ReadConcentration(txtWater[Index(d)]->text(), s.waterPpb[Index(d)])) {
      lblProblem->setText(tr("The %1 concentration is not a number from 0 to 1E+30 ug/L.")
                              .arg(tr(DurationName(d))));
      txtWater[Index(d)]->setFocus();
      return;
    }
  for (const QString& code :
       txtWaterFoods->text().split(QRegularExpression("[,; ]+"), Qt::SkipEmptyParts))
    s.waterFoods.push_back(ToBytes(code));
  settings_ = std::move(s);
  accept();
}

}  // namespace ormid
