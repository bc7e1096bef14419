#include "history/recorded_run.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/worst_subgroup.h"

namespace ormid {

static_assert(std::endian::native == std::endian::little,
              "the packed rows are little-endian, as the machine's own floats");

namespace {

// Bits of a row's optional figures in its presence mask.
enum : std::uint8_t {
  kShare = 1,
  kReferenceDose = 2,
  kPercentReference = 4,
  kPercentNoel = 8,
  kMoe = 16,
  kRisk = 32,
  kExpectedItem = 64,    // the item is the one expected at this place (not written)
  kSameReference = 128,  // the reference dose is the previous row's (not written)
};
// An item's presence mask: its residue and factors, and whether its crop
// group's code follows them (items recorded before the code was kept have
// none).
enum : std::uint8_t { kResidue = 1, kAdj1 = 2, kAdj2 = 4, kCropGroupCode = 8 };

template <typename T>
void Put(std::string& out, T v) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &v, sizeof(T));
  out.append(bytes, sizeof(T));
}

void PutText(std::string& out, std::string_view text) {
  Put<std::uint32_t>(out, static_cast<std::uint32_t>(text.size()));
  out.append(text);
}

void PutOptional(std::string& out, const std::optional<float>& v) {
  if (v) Put<float>(out, *v);
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool AtEnd() const { return at_ == bytes_.size(); }
  bool ok = true;

  template <typename T>
  T Get() {
    T v{};
    if (bytes_.size() - at_ < sizeof(T)) {
      ok = false;
      at_ = bytes_.size();
      return v;
    }
    std::memcpy(&v, bytes_.data() + at_, sizeof(T));
    at_ += sizeof(T);
    return v;
  }
  std::string Text() {
    auto n = Get<std::uint32_t>();
    if (!ok || bytes_.size() - at_ < n) {
      ok = false;
      at_ = bytes_.size();
      return {};
    }
    std::string t(bytes_.substr(at_, n));
    at_ += n;
    return t;
  }
  std::optional<float> Optional(std::uint8_t mask, std::uint8_t bit) {
    if (!(mask & bit)) return std::nullopt;
    return Get<float>();
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

bool Same(const std::optional<float>& a, const std::optional<float>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || std::bit_cast<std::uint32_t>(*a) == std::bit_cast<std::uint32_t>(*b);
}

void PackItem(std::string& out, const ContributionResult& r) {
  out.clear();
  Put<std::uint8_t>(out, static_cast<std::uint8_t>(r.kind));
  Put<std::int32_t>(out, r.cropGroup);
  PutText(out, r.cropGroupName);
  PutText(out, r.commodityCode);
  PutText(out, r.commodityName);
  Put<std::int32_t>(out, r.formCode);
  PutText(out, r.formLabel);
  Put<std::uint8_t>(out, static_cast<std::uint8_t>((r.residue ? kResidue : 0) |
                                                   (r.adj1 ? kAdj1 : 0) | (r.adj2 ? kAdj2 : 0) |
                                                   (r.cropGroupCode.empty() ? 0 : kCropGroupCode)));
  PutOptional(out, r.residue);
  PutOptional(out, r.adj1);
  PutOptional(out, r.adj2);
  if (!r.cropGroupCode.empty()) PutText(out, r.cropGroupCode);
}

bool SameFigures(const RecordedContribution& item, const ContributionResult& r) {
  return item.kind == r.kind && item.cropGroup == r.cropGroup && item.formCode == r.formCode &&
         Same(item.residue, r.residue) && Same(item.adj1, r.adj1) && Same(item.adj2, r.adj2);
}

bool SameTexts(const RecordedContribution& item, const ContributionResult& r) {
  return item.commodityCode == r.commodityCode && item.commodityName == r.commodityName &&
         item.formLabel == r.formLabel && item.cropGroupName == r.cropGroupName &&
         item.cropGroupCode == r.cropGroupCode;
}

// The endpoint figures of a long-term or contribution row, and back.
template <class Result>
RecordedFigures FiguresOf(const Result& r) {
  return {r.reference,   r.referenceDose,    r.percentReference,
          r.percentNoel, r.marginOfExposure, r.lifetimeRisk};
}

template <class Result>
void SetFigures(const RecordedFigures& f, Result& r) {
  r.reference = f.reference;
  r.referenceDose = f.referenceDose;
  r.percentReference = f.percentReference;
  r.percentNoel = f.percentNoel;
  r.marginOfExposure = f.marginOfExposure;
  r.lifetimeRisk = f.lifetimeRisk;
}

}  // namespace

HistoryRecorder::TextSource HistoryRecorder::SourceOf(const ContributionResult& r) {
  return {r.commodityCode.data(), r.commodityName.data(), r.formLabel.data(),
          r.cropGroupName.data(), r.commodityCode.size(), r.commodityName.size(),
          r.formLabel.size(),     r.cropGroupName.size()};
}

const char* FigureName(FigureKind kind) {
  switch (kind) {
    case FigureKind::PercentRfD:
      return "% RfD";
    case FigureKind::PercentPAD:
      return "% PAD";
    case FigureKind::PercentNoel:
      return "% NOEL";
    case FigureKind::MarginOfExposure:
      return "MOE";
    case FigureKind::Risk:
      return "risk";
    case FigureKind::PercentCpad:
      return "% cPAD";
    case FigureKind::PercentOfLimit:
      return "% of limit";
    case FigureKind::None:
      break;
  }
  return "";
}

Figure HeadlineOf(const std::optional<float>& percentReference, ReferenceKind reference,
                  const std::optional<float>& percentNoel, const std::optional<float>& moe,
                  const std::optional<float>& risk) {
  if (percentReference)
    return {reference == ReferenceKind::PAD ? FigureKind::PercentPAD : FigureKind::PercentRfD,
            *percentReference};
  if (moe) return {FigureKind::MarginOfExposure, *moe};
  if (risk) return {FigureKind::Risk, *risk};
  if (percentNoel) return {FigureKind::PercentNoel, *percentNoel};
  return {};
}

LongTermResult RecordedLongTerm::View() const {
  LongTermResult r;
  r.row = row;
  r.subgroup = subgroup;
  r.column = column;
  r.exposure = exposure;
  SetFigures(figures, r);
  return r;
}

ContributionResult RecordedContribution::View() const {
  ContributionResult r;
  r.kind = kind;
  r.row = row;
  r.subgroup = subgroup;
  r.cropGroup = cropGroup;
  r.cropGroupName = cropGroupName;
  r.cropGroupCode = cropGroupCode;
  r.commodityCode = commodityCode;
  r.commodityName = commodityName;
  r.formCode = formCode;
  r.formLabel = formLabel;
  r.residue = residue;
  r.adj1 = adj1;
  r.adj2 = adj2;
  r.exposure = exposure;
  r.sharePercent = sharePercent;
  SetFigures(figures, r);
  return r;
}

void RecordedRun::Replay(const ModOrmid& m, ResultsSink& sink) const {
  for (const RecordedLongTerm& r : longTerm) sink.LongTerm(m, r.View());
  for (const RecordedContribution& r : commodity) sink.Contribution(m, r.View());
}

void HistoryRecorder::LongTerm(const ModOrmid&, const LongTermResult& r) {
  longTerm_.push_back({r.row, std::string(r.subgroup), r.column, r.exposure, FiguresOf(r)});
}

std::uint32_t HistoryRecorder::ItemOf(const ContributionResult& r) {
  // Every subgroup lists the same foods in the same order, as a rule: try
  // the previous subgroup's item at this place first.
  // A run's texts stay where they are while it sends its rows: texts at the
  // addresses an item's texts were last found equal at are those texts.
  const std::size_t at = current_.size();
  if (at < previous_.size()) {
    const std::uint32_t i = previous_[at];
    const RecordedContribution& item = itemList_[i];
    if (SameFigures(item, r)) {
      const TextSource source = SourceOf(r);
      if (source == itemSource_[i]) return i;
      if (SameTexts(item, r)) {
        itemSource_[i] = source;
        return i;
      }
    }
  }
  PackItem(key_, r);
  auto [it, added] = itemIndex_.try_emplace(key_, static_cast<std::uint32_t>(itemList_.size()));
  if (added) {
    items_ += key_;
    RecordedContribution item;
    item.kind = r.kind;
    item.cropGroup = r.cropGroup;
    item.cropGroupName = r.cropGroupName;
    item.cropGroupCode = r.cropGroupCode;
    item.commodityCode = r.commodityCode;
    item.commodityName = r.commodityName;
    item.formCode = r.formCode;
    item.formLabel = r.formLabel;
    item.residue = r.residue;
    item.adj1 = r.adj1;
    item.adj2 = r.adj2;
    itemList_.push_back(std::move(item));
    itemSource_.push_back(SourceOf(r));
  }
  return it->second;
}

void HistoryRecorder::Contribution(const ModOrmid&, const ContributionResult& r) {
  if (subgroups_.empty() || subgroups_.back().row != r.row) {
    std::size_t room = 0;
    if (!subgroups_.empty()) {
      previous_.swap(current_);
      room = subgroups_.back().rows.size();
    }
    current_.clear();
    Subgroup s;
    s.row = r.row;
    s.name = r.subgroup;
    s.rows.reserve(room + room / 8);
    subgroups_.push_back(std::move(s));
  }
  Subgroup& s = subgroups_.back();
  const std::size_t at = current_.size();
  const std::uint32_t expected =
      at < previous_.size() ? previous_[at] : static_cast<std::uint32_t>(itemList_.size());
  const std::uint32_t item = ItemOf(r);
  current_.push_back(item);
  const bool sameReference =
      at > 0 && lastReference_ == r.reference && Same(lastReferenceDose_, r.referenceDose);
  lastReference_ = r.reference;
  lastReferenceDose_ = r.referenceDose;
  // The row is packed on the stack and appended at once (at most a mask,
  // an item, a reference kind and eight figures).
  char packed[64];
  char* at_end = packed;
  auto put = [&](auto v) {
    std::memcpy(at_end, &v, sizeof v);
    at_end += sizeof v;
  };
  auto putOptional = [&](const std::optional<float>& v) {
    if (v) put(*v);
  };
  put(static_cast<std::uint8_t>(
      (r.sharePercent ? kShare : 0) | (r.referenceDose ? kReferenceDose : 0) |
      (r.percentReference ? kPercentReference : 0) | (r.percentNoel ? kPercentNoel : 0) |
      (r.marginOfExposure ? kMoe : 0) | (r.lifetimeRisk ? kRisk : 0) |
      (item == expected ? kExpectedItem : 0) | (sameReference ? kSameReference : 0)));
  if (item != expected) put(item);
  if (!sameReference) {
    put(static_cast<std::uint8_t>(r.reference));
    putOptional(r.referenceDose);
  }
  put(r.exposure);
  putOptional(r.sharePercent);
  putOptional(r.percentReference);
  putOptional(r.percentNoel);
  putOptional(r.marginOfExposure);
  putOptional(r.lifetimeRisk);
  s.rows.append(packed, at_end);
  if (r.kind == ContributionKind::SubgroupTotal) {
    RecordedContribution t = itemList_[item];
    t.row = r.row;
    t.subgroup = r.subgroup;
    t.exposure = r.exposure;
    t.sharePercent = r.sharePercent;
    t.figures = FiguresOf(r);
    s.total = std::move(t);
  }
}

std::string HistoryRecorder::WorstSubgroup(Figure& worst) const {
  // An aggregate run: the highest percent of its limit over every duration.
  if (!aggregateSubgroups_.empty()) {
    std::vector<SubgroupStanding> standings;
    for (const RecordedAggregate& a : aggregateSubgroups_)
      standings.push_back({static_cast<float>(a.totalDose), static_cast<float>(a.percentOfLimit),
                           std::nullopt, std::nullopt});
    worst = {};
    const int i = ormid::WorstSubgroup(standings);
    if (i < 0) return {};
    const RecordedAggregate& a = aggregateSubgroups_[static_cast<std::size_t>(i)];
    worst = {FigureKind::PercentOfLimit, static_cast<float>(a.percentOfLimit)};
    return a.subgroup;
  }
  // A cumulative run: the highest percent of the index chemical's PAD, the
  // first of equals, as the one rule ranks percents of a reference dose.
  if (!cumulative_.empty()) {
    std::vector<SubgroupStanding> standings;
    for (const RecordedCumulative& c : cumulative_)
      standings.push_back(StandingOf(
          CumulativeSubgroupFigures{c.indexEquivalent, c.percentCpad, 0, c.moet, c.hazardIndex}));
    worst = {};
    const int i = ormid::WorstSubgroup(standings);
    if (i < 0) return {};
    const RecordedCumulative& c = cumulative_[static_cast<std::size_t>(i)];
    worst = {FigureKind::PercentCpad, static_cast<float>(c.percentCpad)};
    return c.subgroup;
  }
  std::vector<SubgroupStanding> standings;
  std::vector<std::pair<const std::string*, const RecordedFigures*>> rows;
  auto add = [&](const std::string& subgroup, float exposure, const RecordedFigures& f) {
    standings.push_back({exposure, f.percentReference, f.marginOfExposure, f.lifetimeRisk});
    rows.emplace_back(&subgroup, &f);
  };
  for (const RecordedLongTerm& r : longTerm_) add(r.subgroup, r.exposure, r.figures);
  for (const Subgroup& s : subgroups_)
    if (s.total) add(s.name, s.total->exposure, s.total->figures);
  worst = {};
  const int i = ormid::WorstSubgroup(standings);
  if (i < 0) return {};
  const auto& [name, f] = rows[static_cast<std::size_t>(i)];
  worst = HeadlineOf(f->percentReference, f->reference, f->percentNoel, f->marginOfExposure,
                     f->lifetimeRisk);
  return *name;
}

bool UnpackItems(std::string_view items, std::vector<RecordedContribution>& out) {
  Reader in(items);
  while (in.ok && !in.AtEnd()) {
    RecordedContribution item;
    auto kind = in.Get<std::uint8_t>();
    if (kind > static_cast<std::uint8_t>(ContributionKind::SubgroupTotal)) return false;
    item.kind = static_cast<ContributionKind>(kind);
    item.cropGroup = in.Get<std::int32_t>();
    item.cropGroupName = in.Text();
    item.commodityCode = in.Text();
    item.commodityName = in.Text();
    item.formCode = in.Get<std::int32_t>();
    item.formLabel = in.Text();
    auto mask = in.Get<std::uint8_t>();
    if (mask >= 2 * kCropGroupCode) return false;
    item.residue = in.Optional(mask, kResidue);
    item.adj1 = in.Optional(mask, kAdj1);
    item.adj2 = in.Optional(mask, kAdj2);
    if (mask & kCropGroupCode) item.cropGroupCode = in.Text();
    out.push_back(std::move(item));
  }
  return in.ok;
}

bool ReadPackedRows(std::string_view rows, std::size_t itemCount, UnpackState& state,
                    std::vector<PackedRow>& out) {
  state.previous.swap(state.current);
  state.current.clear();
  Reader in(rows);
  ReferenceKind reference = ReferenceKind::None;
  std::optional<float> referenceDose;
  while (in.ok && !in.AtEnd()) {
    const auto mask = in.Get<std::uint8_t>();
    const std::size_t at = state.current.size();
    std::uint32_t item = at < state.previous.size() ? state.previous[at] : state.nextNew;
    if (!(mask & kExpectedItem)) item = in.Get<std::uint32_t>();
    if (!(mask & kSameReference)) {
      const auto kind = in.Get<std::uint8_t>();
      if (kind > static_cast<int>(ReferenceKind::PAD)) return false;
      reference = static_cast<ReferenceKind>(kind);
      referenceDose = in.Optional(mask, kReferenceDose);
    } else if (at == 0) {
      return false;
    }
    if (!in.ok || item >= itemCount) return false;
    state.current.push_back(item);
    state.nextNew = std::max(state.nextNew, item + 1);
    PackedRow r;
    r.item = item;
    r.figures.reference = reference;
    r.figures.referenceDose = referenceDose;
    r.exposure = in.Get<float>();
    r.sharePercent = in.Optional(mask, kShare);
    r.figures.percentReference = in.Optional(mask, kPercentReference);
    r.figures.percentNoel = in.Optional(mask, kPercentNoel);
    r.figures.marginOfExposure = in.Optional(mask, kMoe);
    r.figures.lifetimeRisk = in.Optional(mask, kRisk);
    out.push_back(r);
  }
  return in.ok;
}

bool UnpackRows(const std::vector<RecordedContribution>& items, int row,
                const std::string& subgroup, std::string_view rows, UnpackState& state,
                std::vector<RecordedContribution>& out, bool totalsOnly) {
  std::vector<PackedRow> packed;
  if (!ReadPackedRows(rows, items.size(), state, packed)) return false;
  for (const PackedRow& p : packed) {
    const ContributionKind kind = items[p.item].kind;
    if (totalsOnly && kind != ContributionKind::CropGroupSubtotal &&
        kind != ContributionKind::SubgroupTotal)
      continue;
    RecordedContribution r = items[p.item];
    r.row = row;
    r.subgroup = subgroup;
    r.exposure = p.exposure;
    r.sharePercent = p.sharePercent;
    r.figures = p.figures;
    out.push_back(std::move(r));
  }
  return true;
}

}  // namespace ormid
