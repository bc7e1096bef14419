// The figures each kind of run finishes with: what its exports are written
// from, what the run history records of it and what the batch summary and
// the Results windows read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "aggregate/aggregate_figures.h"
#include "core/run_results.h"
#include "cumulative/cumulative_figures.h"
#include "cumulative/cumulative_headroom.h"
#include "headroom/headroom.h"
#include "history/recorded_run.h"
#include "residue_build/residue_build.h"
#include "session/finished_run.h"

namespace ormid {

// The rows of a long-term or commodity run, as the run sent them. Each
// subgroup, crop group, commodity and food form name is kept once, however
// many rows name it. With totals only, a commodity run keeps each subgroup's
// total and the run spares itself the rows of every food and crop group.
class RowFigures : public FinishedFigures, public ResultsSink {
 public:
  explicit RowFigures(bool totalsOnly = false) : totalsOnly_(totalsOnly) {}
  RowFigures(const RowFigures&) = delete;
  RowFigures& operator=(const RowFigures&) = delete;

  void LongTerm(const ModOrmid& m, const LongTermResult& r) override;
  void Contribution(const ModOrmid& m, const ContributionResult& r) override;
  bool TotalsOnly() const override { return totalsOnly_; }

  std::vector<ExportFailure> Export(Platform& p, const std::vector<std::string>& paths,
                                    const nlohmann::json& manifest) const override;
  bool Record(HistoryRecorder& record) const override;
  std::vector<SubgroupFigures> Subgroups() const override { return subgroups_; }

  // Sends the rows again, in the order the run sent them.
  void SendTo(const ModOrmid& m, ResultsSink& sink) const;
  const std::vector<LongTermResult>& LongTermRows() const { return longTerm_; }
  const std::vector<ContributionResult>& ContributionRows() const { return contributions_; }

 private:
  std::string_view Keep(std::string_view text);

  bool totalsOnly_;
  std::vector<LongTermResult> longTerm_;
  std::vector<ContributionResult> contributions_;
  std::vector<SubgroupFigures> subgroups_;
  // The set's elements stay where they are as it grows: the rows view them.
  std::unordered_set<std::string> texts_;
};

// A cumulative run's figures: the group as read from its file, the figures
// of the group as run (the chemicals a what-if kept, their exposures, the
// subgroups and the commodity breakdown when one was asked for) and the
// headroom when a target was given.
class CumulativeRunFigures : public FinishedFigures {
 public:
  CumulativeSettings settings;  // as run, its report rows given
  AssessmentGroup read;
  CumulativeFigures run;
  std::optional<CumulativeHeadroom> headroom;

  std::vector<ExportFailure> Export(Platform& p, const std::vector<std::string>& paths,
                                    const nlohmann::json& manifest) const override;
  bool Record(HistoryRecorder& record) const override;
  std::vector<SubgroupFigures> Subgroups() const override;
};

// A cumulative run's subgroups as the run history keeps them (the chemicals
// with their potencies in each), and back.
std::vector<RecordedCumulative> RecordedFrom(const AssessmentGroup& group,
                                             const std::vector<CumulativeSubgroup>& subgroups);
void FiguresFrom(const std::vector<RecordedCumulative>& recorded, AssessmentGroup& group,
                 std::vector<CumulativeSubgroup>& subgroups);

// An aggregate run's figures: its files as read, its exposures and each
// duration's subgroups. The run history keeps them as the JSON export's
// "aggregate" member (aggregate/aggregate_export.h).
class AggregateRunFigures : public FinishedFigures {
 public:
  AggregateFigures run;

  std::vector<ExportFailure> Export(Platform& p, const std::vector<std::string>& paths,
                                    const nlohmann::json& manifest) const override;
  bool Record(HistoryRecorder& record) const override;
  // Each subgroup of each duration, durations in report order.
  std::vector<SubgroupFigures> Subgroups() const override;
};

// A headroom run's table, with the subgroup names its rows refer to (by
// report row). The run history keeps no headroom runs.
class HeadroomRunFigures : public FinishedFigures {
 public:
  HeadroomTable table;
  std::vector<std::string> subgroupNames;
  std::string text;  // the table as printed

  std::vector<ExportFailure> Export(Platform& p, const std::vector<std::string>& paths,
                                    const nlohmann::json& manifest) const override;
  bool Record(HistoryRecorder&) const override { return false; }
  std::vector<SubgroupFigures> Subgroups() const override { return {}; }
};

// A residue build's table: every entry of the residue files it wrote and how
// it came to be. The run history keeps a build by its manifest (the samples,
// the rules, the options and every output with its digest), without the
// table; a build has no subgroups.
class ResidueBuildRunFigures : public FinishedFigures {
 public:
  ResidueBuild build;

  std::vector<ExportFailure> Export(Platform& p, const std::vector<std::string>& paths,
                                    const nlohmann::json& manifest) const override;
  bool Record(HistoryRecorder&) const override { return true; }
  std::vector<SubgroupFigures> Subgroups() const override { return {}; }
};

}  // namespace ormid
