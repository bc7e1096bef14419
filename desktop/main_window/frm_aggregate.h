// File > Aggregate Assessment...: the toxicology and residential files, the
// drinking water foods and one box per duration for its estimated drinking
// water concentration (ug/L). OK checks the boxes and keeps the dialog open
// on a value no run can take.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "aggregate/aggregate_figures.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace ormid {

class Platform;

class FrmAggregate : public QDialog {
  Q_OBJECT

 public:
  FrmAggregate(Platform& p, const std::string& folder, QWidget* parent = nullptr);

  QLineEdit* txtTox = nullptr;
  QLineEdit* txtResidential = nullptr;
  QLineEdit* txtWaterFoods = nullptr;
  std::array<QLineEdit*, 4> txtWater{};  // by duration, in report order
  QLabel* lblProblem = nullptr;
  QPushButton* cmdOK = nullptr;

  // The settings the boxes give once OK has accepted them (files absolute).
  const AggregateSettings& Settings() const { return settings_; }

  void cmdOK_Click();

 private:
  void Browse(QLineEdit* box, const char* title);

  Platform& p_;
  std::string folder_;
  AggregateSettings settings_;
};

}  // namespace ormid
