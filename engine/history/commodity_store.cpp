#include "history/commodity_store.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/float_text.h"

namespace ormid::history {

namespace {

// A food row's presence mask in its JSON text: the figures it has (as in
// the packed rows).
enum : unsigned { kShare = 1, kPercentReference = 4, kPercentNoel = 8, kMoe = 16, kRisk = 32 };
constexpr unsigned kAllFigures = kShare | kPercentReference | kPercentNoel | kMoe | kRisk;
// Places in a food row's array: exposure, mask, item, the five figures, the
// row's own reference kind and dose.
enum Slot { kExposure, kMask, kItem, kFirstFigure, kReferenceKind = 8, kReferenceDose, kSlots };
constexpr unsigned kFigureBits[] = {kShare, kPercentReference, kPercentNoel, kMoe, kRisk};

bool Same(const std::optional<float>& a, const std::optional<float>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || std::bit_cast<std::uint32_t>(*a) == std::bit_cast<std::uint32_t>(*b);
}

std::optional<float> Figure(const StoredRow& r, int k) {
  switch (k) {
    case 0:
      return r.sharePercent;
    case 1:
      return r.figures.percentReference;
    case 2:
      return r.figures.percentNoel;
    case 3:
      return r.figures.marginOfExposure;
    default:
      return r.figures.lifetimeRisk;
  }
}

void SetFigure(StoredRow& r, int k, std::optional<float> v) {
  switch (k) {
    case 0:
      r.sharePercent = v;
      break;
    case 1:
      r.figures.percentReference = v;
      break;
    case 2:
      r.figures.percentNoel = v;
      break;
    case 3:
      r.figures.marginOfExposure = v;
      break;
    default:
      r.figures.lifetimeRisk = v;
      break;
  }
}

// Figure k of a row with this exposure and reference dose, as the formula
// gives it from the subgroup's constants; none when a constant is missing.
std::optional<float> Derived(int k, float e, const std::optional<float>& dose,
                             const SubgroupConstants& c) {
  switch (k) {
    case 0:
      if (c.total) return PercentOf(e, *c.total);
      break;
    case 1:
      if (dose) return PercentOf(e, *dose);
      break;
    case 2:
      if (c.noel) return PercentOf(e, *c.noel);
      break;
    case 3:
      if (c.noel) return QuotientOf(*c.noel, e);
      break;
    default:
      if (c.qStar) return ProductOf(e, *c.qStar);
      break;
  }
  return std::nullopt;
}

// The constant of figure k (2: percent of the NOEL, 3: margin of exposure,
// 4: risk) that the most of these rows follow, tried among the floats next
// to each row's estimate of it.
std::optional<float> Constant(int k, const std::vector<const StoredRow*>& rows) {
  std::vector<float> candidates;
  for (const StoredRow* r : rows) {
    const std::optional<float> f = Figure(*r, k);
    if (!f || r->exposure == 0 || *f == 0 || !std::isfinite(*f)) continue;
    const double e = r->exposure, v = *f;
    const double estimate = k == 2 ? e * 100.0 / v : k == 3 ? v * e : v / e;
    float c = static_cast<float>(estimate);
    if (!std::isfinite(c)) continue;
    for (int step = 0; step < 4; ++step) c = std::nextafter(c, -std::numeric_limits<float>::max());
    for (int step = 0; step < 9; ++step) {
      candidates.push_back(c);
      c = std::nextafter(c, std::numeric_limits<float>::max());
    }
    if (candidates.size() >= 9 * 4) break;  // the estimates of four rows
  }
  std::optional<float> best;
  std::size_t bestCount = 0;
  SubgroupConstants c;
  for (float candidate : candidates) {
    (k == 4 ? c.qStar : c.noel) = candidate;
    std::size_t count = 0;
    for (const StoredRow* r : rows)
      if (const auto f = Figure(*r, k)) count += Same(f, Derived(k, r->exposure, std::nullopt, c));
    if (count > bestCount) {
      best = candidate;
      bestCount = count;
    }
  }
  return best;
}

// The shortest text that reads back as v (a large whole number in full:
// "34519502848"), as std::to_chars writes it.
void Append(std::string& out, float v) {
  char text[kLongestFloatText];
  out.append(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// Reads the food rows' JSON: arrays of numbers and nulls in an array, no
// blanks, as StoreCommodity writes them.
class JsonRows {
 public:
  explicit JsonRows(std::string_view text) : text_(text) {}
  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool AtEnd() const { return at_ == text_.size(); }
  // A number's text up to the next ',' or ']'; empty for "null".
  bool Value(std::string_view& number, bool& null) {
    const std::size_t end = text_.find_first_of(",]", at_);
    if (end == std::string_view::npos || end == at_) return false;
    number = text_.substr(at_, end - at_);
    at_ = end;
    null = number == "null";
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

std::optional<float> FloatOf(std::string_view text) {
  float v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
    return std::nullopt;
  return v;
}

std::optional<long long> WholeOf(std::string_view text, long long most) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < 0 || v > most)
    return std::nullopt;
  return v;
}

}  // namespace

float PercentOf(float exposure, float of) {
  return static_cast<float>(static_cast<double>(exposure) * 100.0 / static_cast<double>(of));
}

float QuotientOf(float numerator, float exposure) {
  return static_cast<float>(static_cast<double>(numerator) / static_cast<double>(exposure));
}

float ProductOf(float exposure, float factor) {
  return static_cast<float>(static_cast<double>(exposure) * static_cast<double>(factor));
}

std::string NumberText(float v) {
  std::string text;
  Append(text, v);
  return text;
}

std::string Compressed(std::string_view text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  // Level 1: most of what level 6 saves on these texts, in a third of the
  // time (docs/performance.md).
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
                1) != Z_OK ||
      size >= text.size())
    return std::string(text);
  out.resize(size);
  return out;
}

bool Uncompressed(std::string_view blob, long long size, std::string& text) {
  if (size < 0) return false;
  if (static_cast<unsigned long long>(size) == blob.size()) {
    text.assign(blob);
    return true;
  }
  // Deflate makes at most 1032 bytes of one: a larger size is not this
  // blob's. Nor is one larger than the food rows of any installation (a
  // full-size subgroup's are 90 KB).
  constexpr unsigned long long kLargest = 64ull << 20;
  if (static_cast<unsigned long long>(size) > std::min(1032ull * blob.size() + 64, kLargest))
    return false;
  text.assign(static_cast<std::size_t>(size), '\0');
  uLongf made = static_cast<uLongf>(size);
  uLong used = static_cast<uLong>(blob.size());
  return uncompress2(reinterpret_cast<Bytef*>(text.data()), &made,
                     reinterpret_cast<const Bytef*>(blob.data()), &used) == Z_OK &&
         made == static_cast<uLongf>(size) && used == blob.size();
}

bool StoreCommodity(std::string_view packedItems, const std::vector<PackedSubgroup>& subgroups,
                    StoredCommodity& out) {
  std::vector<RecordedContribution> items;
  if (!UnpackItems(packedItems, items)) return false;
  auto isTotal = [&](std::uint32_t item) {
    const ContributionKind k = items[item].kind;
    return k == ContributionKind::CropGroupSubtotal || k == ContributionKind::SubgroupTotal;
  };
  // The new numbers: foods and food forms in the order the rows first name
  // them, then the totals, so that a subgroup whose food rows follow the
  // first subgroup's needs no item numbers in its text. The totals are
  // numbered once every subgroup is read.
  constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
  std::vector<std::uint32_t> number(items.size(), kNone);
  std::vector<std::uint32_t> totalsInOrder;
  std::vector<bool> totalSeen(items.size(), false);
  out = StoredCommodity();
  UnpackState state;
  std::vector<StoredRow> rows;
  std::vector<const StoredRow*> foods, sample;
  for (const PackedSubgroup& packed : subgroups) {
    rows.clear();
    if (!ReadPackedRows(packed.rows, items.size(), state, rows)) return false;
    StoredCommodity::Subgroup g;
    g.row = packed.row;
    g.name = packed.name;
    foods.clear();
    for (std::size_t place = 0; place < rows.size(); ++place) {
      const StoredRow& r = rows[place];
      if (!isTotal(r.item)) {
        if (number[r.item] == kNone) {
          number[r.item] = static_cast<std::uint32_t>(out.items.size());
          out.items.push_back(items[r.item]);
        }
        foods.push_back(&r);
        continue;
      }
      if (!totalSeen[r.item]) {
        totalSeen[r.item] = true;
        totalsInOrder.push_back(r.item);
      }
      if (items[r.item].kind == ContributionKind::SubgroupTotal) g.total = r;
      g.totals.emplace_back(static_cast<int>(place), r);  // numbered below
    }
    SubgroupConstants& c = g.constants;
    if (g.total) {
      c.total = g.total->exposure;
      c.reference = g.total->figures.reference;
      c.referenceDose = g.total->figures.referenceDose;
    }
    // The NOEL and Q* are found from the total and the first rows.
    sample.assign(foods.begin(), foods.begin() + std::min<std::size_t>(foods.size(), 64));
    if (g.total) sample.insert(sample.begin(), &*g.total);
    c.noel = Constant(3, sample);
    if (!c.noel) c.noel = Constant(2, sample);
    c.qStar = Constant(4, sample);

    std::string& json = g.foods;
    json.reserve(foods.size() * 20 + 2);
    json += '[';
    std::uint32_t expected = 0;
    char whole[24];
    auto appendWhole = [&](long long v) {
      json.append(whole, std::to_chars(whole, whole + sizeof whole, v).ptr);
    };
    for (const StoredRow* p : foods) {
      const StoredRow& r = *p;
      const std::uint32_t item = number[r.item];
      const bool ownReference =
          r.figures.reference != c.reference || !Same(r.figures.referenceDose, c.referenceDose);
      std::optional<float> written[5];
      unsigned mask = 0;
      for (int k = 0; k < 5; ++k) {
        const std::optional<float> f = Figure(r, k);
        if (!f) continue;
        mask |= kFigureBits[k];
        if (!Same(f, Derived(k, r.exposure, r.figures.referenceDose, c))) written[k] = f;
      }
      int last = kMask;
      if (item != expected) last = kItem;
      for (int k = 0; k < 5; ++k)
        if (written[k]) last = kFirstFigure + k;
      if (ownReference) last = kReferenceDose;
      if (json.size() > 1) json += ',';
      json += '[';
      Append(json, r.exposure);
      json += ',';
      appendWhole(mask);
      for (int slot = kItem; slot <= last; ++slot) {
        json += ',';
        if (slot == kItem) {
          if (item != expected)
            appendWhole(item);
          else
            json += "null";
        } else if (slot < kReferenceKind) {
          if (const auto& w = written[slot - kFirstFigure])
            Append(json, *w);
          else
            json += "null";
        } else if (slot == kReferenceKind) {
          appendWhole(static_cast<int>(r.figures.reference));
        } else if (r.figures.referenceDose) {
          Append(json, *r.figures.referenceDose);
        } else {
          json += "null";
        }
      }
      json += ']';
      ++expected;
    }
    json += ']';
    out.subgroups.push_back(std::move(g));
  }
  for (std::uint32_t item : totalsInOrder) {
    number[item] = static_cast<std::uint32_t>(out.items.size());
    out.items.push_back(items[item]);
  }
  for (StoredCommodity::Subgroup& g : out.subgroups)
    for (auto& [place, r] : g.totals) r.item = number[r.item];
  return true;
}

bool ReadFoodRows(std::string_view json, const SubgroupConstants& constants, std::size_t itemCount,
                  std::vector<StoredRow>& out) {
  JsonRows in(json);
  if (!in.Take('[')) return false;
  if (in.Take(']')) return in.AtEnd();
  for (std::uint32_t place = 0;; ++place) {
    if (!in.Take('[')) return false;
    std::string_view values[kSlots];
    bool nulls[kSlots] = {};
    int count = 0;
    do {
      if (count == kSlots || !in.Value(values[count], nulls[count])) return false;
      ++count;
    } while (in.Take(','));
    if (!in.Take(']') || count < 2 || nulls[kExposure] || nulls[kMask]) return false;
    // The row's own reference gives its kind and dose together.
    if (count == kReferenceKind + 1 || (count == kSlots && nulls[kReferenceKind])) return false;
    const auto exposure = FloatOf(values[kExposure]);
    const auto mask = WholeOf(values[kMask], kAllFigures);
    if (!exposure || !mask || (*mask & ~static_cast<long long>(kAllFigures))) return false;
    StoredRow r;
    r.exposure = *exposure;
    r.item = place;
    if (count > kItem && !nulls[kItem]) {
      const auto item = WholeOf(values[kItem], std::numeric_limits<std::uint32_t>::max());
      if (!item) return false;
      r.item = static_cast<std::uint32_t>(*item);
    }
    if (r.item >= itemCount) return false;
    r.figures.reference = constants.reference;
    r.figures.referenceDose = constants.referenceDose;
    if (count == kSlots) {
      const auto kind = WholeOf(values[kReferenceKind], static_cast<int>(ReferenceKind::PAD));
      if (!kind) return false;
      r.figures.reference = static_cast<ReferenceKind>(*kind);
      r.figures.referenceDose.reset();
      if (!nulls[kReferenceDose]) {
        r.figures.referenceDose = FloatOf(values[kReferenceDose]);
        if (!r.figures.referenceDose) return false;
      }
    }
    for (int k = 0; k < 5; ++k) {
      const int slot = kFirstFigure + k;
      const bool present = (*mask & kFigureBits[k]) != 0;
      if (slot < count && !nulls[slot]) {
        // A figure written for a row that does not have it.
        if (!present) return false;
        const auto v = FloatOf(values[slot]);
        if (!v) return false;
        SetFigure(r, k, v);
      } else if (present) {
        const auto v = Derived(k, r.exposure, r.figures.referenceDose, constants);
        if (!v || !std::isfinite(*v)) return false;
        SetFigure(r, k, v);
      }
    }
    out.push_back(r);
    if (!in.Take(',')) break;
  }
  return in.Take(']') && in.AtEnd();
}

}  // namespace ormid::history
