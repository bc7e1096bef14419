#include "session/kind_figures.h"

#include "aggregate/aggregate_export.h"
#include "core/mod_ormid.h"
#include "cumulative/cumulative_export.h"
#include "export/headroom_export.h"
#include "residue_build/build_export.h"

namespace ormid {

// --- RowFigures ---

std::string_view RowFigures::Keep(std::string_view text) {
  if (text.empty()) return {};
  return *texts_.emplace(text).first;
}

void RowFigures::LongTerm(const ModOrmid&, const LongTermResult& r) {
  // The row's views point into the run's state, which the next open or run
  // replaces: the kept row views texts of its own.
  LongTermResult& k = longTerm_.emplace_back(r);
  k.subgroup = Keep(r.subgroup);
  subgroups_.emplace_back(r);
}

void RowFigures::Contribution(const ModOrmid& m, const ContributionResult& r) {
  if (r.kind == ContributionKind::SubgroupTotal) {
    LongTermResult t;
    t.row = r.row;
    t.subgroup = r.subgroup;
    const auto row = static_cast<std::size_t>(r.row);
    t.column = row < m.gPopOrder.size() ? m.gPopOrder[row] : 0;
    t.exposure = r.exposure;
    t.reference = r.reference;
    t.referenceDose = r.referenceDose;
    t.percentReference = r.percentReference;
    t.percentNoel = r.percentNoel;
    t.marginOfExposure = r.marginOfExposure;
    t.lifetimeRisk = r.lifetimeRisk;
    subgroups_.emplace_back(t);
  }
  if (totalsOnly_ && r.kind != ContributionKind::SubgroupTotal) return;
  ContributionResult& k = contributions_.emplace_back(r);
  k.subgroup = Keep(r.subgroup);
  k.cropGroupName = Keep(r.cropGroupName);
  k.cropGroupCode = Keep(r.cropGroupCode);
  k.commodityCode = Keep(r.commodityCode);
  k.commodityName = Keep(r.commodityName);
  k.formLabel = Keep(r.formLabel);
}

void RowFigures::SendTo(const ModOrmid& m, ResultsSink& sink) const {
  for (const LongTermResult& r : longTerm_) sink.LongTerm(m, r);
  for (const ContributionResult& r : contributions_) sink.Contribution(m, r);
  sink.Sent();
}

std::vector<ExportFailure> RowFigures::Export(Platform& p, const std::vector<std::string>& paths,
                                              const nlohmann::json& manifest) const {
  ResultsExport exports(p, paths, [&manifest] { return manifest; });
  SendTo(ModOrmid(), exports);
  return exports.Commit();
}

bool RowFigures::Record(HistoryRecorder& record) const {
  SendTo(ModOrmid(), record);
  return true;
}

// --- CumulativeRunFigures ---

std::vector<ExportFailure> CumulativeRunFigures::Export(Platform& p,
                                                        const std::vector<std::string>& paths,
                                                        const nlohmann::json& manifest) const {
  std::vector<ExportFailure> failures;
  for (const std::string& path : paths) {
    std::string error;
    if (!WriteCumulativeExport(p, path, run.group, run.subgroups, run.exposures.breakdown, manifest,
                               error, headroom ? &*headroom : nullptr))
      failures.push_back({path, error});
  }
  return failures;
}

bool CumulativeRunFigures::Record(HistoryRecorder& record) const {
  record.Cumulative(RecordedFrom(run.group, run.subgroups));
  return true;
}

std::vector<SubgroupFigures> CumulativeRunFigures::Subgroups() const {
  std::vector<SubgroupFigures> out;
  const double cpad = run.group.chemicals.empty() ? 0 : run.group.Cpad();
  for (const CumulativeSubgroup& c : run.subgroups) {
    LongTermResult r;
    r.row = c.row;
    r.subgroup = c.subgroup;
    r.column = c.column;
    SubgroupFigures g(r);
    g.cumulative =
        CumulativeSubgroupFigures{c.indexEquivalent, c.percentCpad, cpad, c.moet, c.hazardIndex};
    out.push_back(std::move(g));
  }
  return out;
}

std::vector<RecordedCumulative> RecordedFrom(const AssessmentGroup& group,
                                             const std::vector<CumulativeSubgroup>& subgroups) {
  std::vector<RecordedCumulative> out;
  for (const CumulativeSubgroup& s : subgroups) {
    RecordedCumulative r{s.row,         s.subgroup,     s.indexEquivalent,
                         s.percentCpad, s.moet,         s.hazardIndex,
                         s.margin,      s.targetMargin, {}};
    for (std::size_t j = 0; j < group.chemicals.size(); ++j)
      r.chemicals.push_back({group.chemicals[j].chemical, group.chemicals[j].rpf, s.exposure[j],
                             s.equivalent[j], s.share[j], group.chemicals[j].podSource});
    out.push_back(std::move(r));
  }
  return out;
}

void FiguresFrom(const std::vector<RecordedCumulative>& recorded, AssessmentGroup& group,
                 std::vector<CumulativeSubgroup>& subgroups) {
  group = AssessmentGroup();
  subgroups.clear();
  for (const RecordedCumulative& r : recorded) {
    if (group.chemicals.empty())
      for (const RecordedCumulative::Chemical& c : r.chemicals) {
        GroupChemical g;
        g.chemical = c.chemical;
        g.rpf = c.rpf;
        g.podSource = c.podSource;
        group.chemicals.push_back(std::move(g));
      }
    CumulativeSubgroup s;
    s.row = r.row;
    s.subgroup = r.subgroup;
    s.indexEquivalent = r.indexEquivalent;
    s.percentCpad = r.percentCpad;
    s.moet = r.moet;
    s.hazardIndex = r.hazardIndex;
    s.margin = r.margin;
    s.targetMargin = r.targetMargin;
    for (const RecordedCumulative::Chemical& c : r.chemicals) {
      s.exposure.push_back(c.exposure);
      s.equivalent.push_back(c.equivalent);
      s.share.push_back(c.share);
    }
    subgroups.push_back(std::move(s));
  }
}

// --- AggregateRunFigures ---

namespace {

double PercentOfLimit(const AggregateFigures& f, const AggregateDurationFigures& d,
                      const AggregateSubgroup& s) {
  if (d.duration == Duration::Cancer) return 100.0 * s.risk.value_or(0) / f.settings.cancerLimit;
  return 100.0 * s.hazardIndex;
}

}  // namespace

std::vector<ExportFailure> AggregateRunFigures::Export(Platform& p,
                                                       const std::vector<std::string>& paths,
                                                       const nlohmann::json& manifest) const {
  std::vector<ExportFailure> failures;
  for (const std::string& path : paths) {
    std::string error;
    if (!WriteAggregateExport(p, path, run, manifest, error)) failures.push_back({path, error});
  }
  return failures;
}

bool AggregateRunFigures::Record(HistoryRecorder& record) const {
  std::vector<RecordedAggregate> subgroups;
  for (const AggregateDurationFigures& d : run.durations)
    for (const AggregateSubgroup& s : d.subgroups)
      subgroups.push_back({s.row, s.subgroup + " (" + DurationName(d.duration) + ")",
                           s.dose[0] + s.dose[1] + s.dose[2], PercentOfLimit(run, d, s)});
  record.Aggregate(std::move(subgroups), AggregateJson(run));
  return true;
}

std::vector<SubgroupFigures> AggregateRunFigures::Subgroups() const {
  std::vector<SubgroupFigures> out;
  for (const AggregateDurationFigures& d : run.durations)
    for (const AggregateSubgroup& s : d.subgroups) {
      LongTermResult r;
      r.row = s.row;
      r.subgroup = s.subgroup;
      r.column = s.column;
      SubgroupFigures g(r);
      g.aggregate = AggregateSubgroupFigures{DurationName(d.duration),
                                             s.dose[0] + s.dose[1] + s.dose[2],
                                             PercentOfLimit(run, d, s),
                                             s.ari,
                                             s.aggregateMoe,
                                             s.risk};
      out.push_back(std::move(g));
    }
  return out;
}

// --- HeadroomRunFigures ---

std::vector<ExportFailure> HeadroomRunFigures::Export(Platform& p,
                                                      const std::vector<std::string>& paths,
                                                      const nlohmann::json& manifest) const {
  std::vector<ExportFailure> failures;
  for (const std::string& path : paths) {
    std::string error;
    if (!ExportHeadroom(p, path, subgroupNames, table, manifest, error))
      failures.push_back({path, error});
  }
  return failures;
}

// --- ResidueBuildRunFigures ---

std::vector<ExportFailure> ResidueBuildRunFigures::Export(Platform& p,
                                                          const std::vector<std::string>& paths,
                                                          const nlohmann::json& manifest) const {
  std::vector<ExportFailure> failures;
  for (const std::string& path : paths) {
    std::string error;
    if (!ExportResidueBuild(p, path, build, manifest, error)) failures.push_back({path, error});
  }
  return failures;
}

}  // namespace ormid
