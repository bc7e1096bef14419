// A run as the run history keeps it: its summary, its manifest and every
// figure it sent, as exact single-precision values, and the sink that
// gathers them while the run goes.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/run_results.h"

namespace ormid {

// The figure that says most about a subgroup's exposure, as the run's
// endpoint reports it.
enum class FigureKind {
  None,
  PercentRfD,
  PercentPAD,
  PercentNoel,
  MarginOfExposure,
  Risk,
  PercentCpad,    // a cumulative run's percent of the index chemical's PAD
  PercentOfLimit  // an aggregate run's 100 / ARI (cancer: percent of the risk limit)
};

// "% RfD", "% PAD", "% NOEL", "MOE", "risk", "% cPAD", "% of limit"; "" for
// None.
const char* FigureName(FigureKind kind);

struct Figure {
  FigureKind kind = FigureKind::None;
  float value = 0;
};

// The headline figure of a long-term row or a subgroup total: percent of the
// reference dose, else the margin of exposure, else the lifetime risk, else
// percent of the NOEL. None on a row without exposure.
Figure HeadlineOf(const std::optional<float>& percentReference, ReferenceKind reference,
                  const std::optional<float>& percentNoel, const std::optional<float>& moe,
                  const std::optional<float>& risk);

// The figures of one row, with their texts owned.
struct RecordedFigures {
  ReferenceKind reference = ReferenceKind::None;
  std::optional<float> referenceDose, percentReference, percentNoel, marginOfExposure, lifetimeRisk;
};

struct RecordedLongTerm {
  int row = 0;
  std::string subgroup;
  int column = 0;
  float exposure = 0;
  RecordedFigures figures;
  LongTermResult View() const;
};

struct RecordedContribution {
  ContributionKind kind = ContributionKind::Food;
  int row = 0;
  std::string subgroup;
  int cropGroup = 0;
  std::string cropGroupName, cropGroupCode, commodityCode, commodityName;
  int formCode = 0;
  std::string formLabel;
  std::optional<float> residue, adj1, adj2;
  float exposure = 0;
  std::optional<float> sharePercent;
  RecordedFigures figures;
  ContributionResult View() const;
};

// A subgroup of a cumulative run: its cumulative figures and its chemicals'.
struct RecordedCumulative {
  int row = 0;
  std::string subgroup;
  double indexEquivalent = 0, percentCpad = 0;
  std::optional<double> moet, hazardIndex;
  // The cumulative margin of exposure and its target; none for a run
  // recorded before the history kept them.
  std::optional<double> margin, targetMargin;
  struct Chemical {
    std::string chemical;
    double rpf = 0;
    float exposure = 0;
    double equivalent = 0;
    std::optional<double> share;
    std::string podSource;  // empty when the group file does not say
  };
  std::vector<Chemical> chemicals;  // in the group file's order
};

// A subgroup of an aggregate run in one duration, as the history's list and
// comparisons rank it; the run's figures themselves are kept whole as the
// JSON export's "aggregate" member (RecordedRun::aggregate).
struct RecordedAggregate {
  int row = 0;
  std::string subgroup;  // "NAME (DURATION)"
  double totalDose = 0, percentOfLimit = 0;
};

// One line of the history's list.
struct RunSummary {
  long long id = 0;
  std::string date, command, chemical, residueFile, endpoint;
  std::string worstSubgroup;
  Figure worst;
};

// A run read back from the history.
struct RecordedRun {
  RunSummary summary;
  nlohmann::json manifest;
  std::vector<RecordedLongTerm> longTerm;       // long-term runs
  std::vector<RecordedContribution> commodity;  // commodity runs, in report order
  std::vector<RecordedCumulative> cumulative;   // cumulative runs
  // Aggregate runs: each subgroup of each duration, and every figure.
  std::vector<RecordedAggregate> aggregateSubgroups;
  nlohmann::json aggregate;
  // Sends the figures again, in the order the run sent them.
  void Replay(const ModOrmid& m, ResultsSink& sink) const;
};

// Gathers a run's figures as it sends them: long-term rows as they are; the
// commodity rows packed per subgroup, each food and food form described once
// per run.
class HistoryRecorder : public ResultsSink {
 public:
  void LongTerm(const ModOrmid&, const LongTermResult& r) override;
  void Contribution(const ModOrmid&, const ContributionResult& r) override;

  bool Empty() const {
    return longTerm_.empty() && subgroups_.empty() && cumulative_.empty() && aggregate_.is_null();
  }
  // An aggregate run's subgroups and its figures (the JSON export's
  // "aggregate" member), kept as they are.
  void Aggregate(std::vector<RecordedAggregate> subgroups, nlohmann::json figures) {
    aggregateSubgroups_ = std::move(subgroups);
    aggregate_ = std::move(figures);
  }
  const std::vector<RecordedAggregate>& AggregateSubgroups() const { return aggregateSubgroups_; }
  const nlohmann::json& AggregateFigures() const { return aggregate_; }
  // A cumulative run's subgroups, kept as they are.
  void Cumulative(std::vector<RecordedCumulative> rows) { cumulative_ = std::move(rows); }
  const std::vector<RecordedCumulative>& CumulativeRows() const { return cumulative_; }
  const std::vector<RecordedLongTerm>& LongTermRows() const { return longTerm_; }

  // A subgroup of a commodity run: its total and its packed rows.
  struct Subgroup {
    int row = 0;
    std::string name;
    std::optional<RecordedContribution> total;
    std::string rows;  // packed, see PackedRows
  };
  const std::vector<Subgroup>& Subgroups() const { return subgroups_; }
  // The packed descriptions of the foods, food forms and crop groups the
  // rows refer to.
  const std::string& Items() const { return items_; }

  // The worst subgroup of the run and its figure.
  std::string WorstSubgroup(Figure& worst) const;

 private:
  // Where a row's texts are, and their lengths.
  struct TextSource {
    const char *code = nullptr, *name = nullptr, *label = nullptr, *group = nullptr;
    std::size_t codeSize = 0, nameSize = 0, labelSize = 0, groupSize = 0;
    bool operator==(const TextSource&) const = default;
  };
  static TextSource SourceOf(const ContributionResult& r);
  std::uint32_t ItemOf(const ContributionResult& r);
  std::vector<TextSource> itemSource_;

  std::vector<RecordedLongTerm> longTerm_;
  std::vector<Subgroup> subgroups_;
  std::vector<RecordedCumulative> cumulative_;
  std::vector<RecordedAggregate> aggregateSubgroups_;
  nlohmann::json aggregate_;
  std::string items_;
  // The items unpacked, for a quick match; the item index of every packed
  // text; the items of the previous subgroup in order, which the next one
  // usually repeats.
  std::vector<RecordedContribution> itemList_;
  std::unordered_map<std::string, std::uint32_t> itemIndex_;
  std::vector<std::uint32_t> previous_, current_;
  std::string key_;
  // The previous row's reference dose, which the next row of a subgroup
  // mostly repeats.
  ReferenceKind lastReference_ = ReferenceKind::None;
  std::optional<float> lastReferenceDose_;
};

// Unpacks a run's item descriptions, then a subgroup's rows (appended to
// out). False when the bytes are not a packing this program wrote.
// The subgroups' rows are unpacked in the order they were sent, each after
// the one before (a row's item is written only where it is not the one
// expected from the subgroup before).
struct UnpackState {
  std::vector<std::uint32_t> previous, current;
  std::uint32_t nextNew = 0;
};
bool UnpackItems(std::string_view items, std::vector<RecordedContribution>& out);
bool UnpackRows(const std::vector<RecordedContribution>& items, int row,
                const std::string& subgroup, std::string_view rows, UnpackState& state,
                std::vector<RecordedContribution>& out, bool totalsOnly = false);

// A packed row with its item's number, without the item's texts.
struct PackedRow {
  std::uint32_t item = 0;
  float exposure = 0;
  std::optional<float> sharePercent;
  RecordedFigures figures;
};
// Reads a subgroup's packed rows (appended to out), each item's number
// below itemCount; false when the bytes are not a packing this program
// wrote. The subgroups are read in order, as UnpackRows reads them.
bool ReadPackedRows(std::string_view rows, std::size_t itemCount, UnpackState& state,
                    std::vector<PackedRow>& out);

}  // namespace ormid
