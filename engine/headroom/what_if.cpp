#include "headroom/what_if.h"

#include <algorithm>

#include "commodity/crop_groups.h"
#include "core/mod_ormid.h"
#include "exposure/exposure_terms.h"

namespace ormid {

namespace {

// The room a comment has on the report's "COMMENT 1: " line of 79 columns.
constexpr std::size_t kCommentRoom = 79 - 11;

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// A commodity code as compared: a nine-character code gets its leading 0.
std::string CommodityKey(std::string_view code) {
  std::string key(code);
  if (key.size() == 9) key.insert(key.begin(), '0');
  return key;
}

std::string Note(const std::vector<std::string>& codes, std::size_t listed) {
  std::string note = "(excluded: ";
  for (std::size_t i = 0; i < listed; ++i) {
    if (i > 0) note += ", ";
    note += codes[i];
  }
  if (listed < codes.size()) {
    note += listed == 0 ? "" : " and ";
    note += std::to_string(codes.size() - listed) + (listed == 0 ? " codes" : " more");
  }
  return note + ")";
}

}  // namespace

std::vector<std::string> SplitCodes(std::string_view list) {
  std::vector<std::string> codes;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    std::string_view item = list.substr(start, comma - start);
    const std::size_t b = item.find_first_not_of(" \t");
    if (b != std::string_view::npos) {
      const std::size_t e = item.find_last_not_of(" \t");
      codes.emplace_back(item.substr(b, e - b + 1));
    }
    start = comma + 1;
  }
  return codes;
}

std::vector<bool> FoodsOfGroup(const ModOrmid& m, int k) {
  std::vector<bool> foods(static_cast<std::size_t>(std::max<int>(m.gResFoodCount, 0)) + 1, false);
  if (m.gFoodGroups.size() < foods.size()) return foods;
  for (int f = 1; f <= m.gResFoodCount; ++f)
    if (FoodInGroup(m, f, k)) foods[static_cast<std::size_t>(f)] = true;
  return foods;
}

bool ResolveExclusion(ModOrmid& m, const std::vector<std::string>& codes, Exclusion& out,
                      std::string& unknown) {
  out = Exclusion{};
  out.foods.assign(static_cast<std::size_t>(std::max<int>(m.gResFoodCount, 0)) + 1, false);
  if (codes.empty()) return true;
  ClassifyCropGroups(m);
  for (const std::string& code : codes) {
    bool known = false;
    const std::string upper = Upper(code);
    for (int k = 1; k <= m.gCropGroupCount; ++k) {
      if (Upper(CropGroupCode(m, k)) != upper) continue;
      known = true;
      const std::vector<bool> members = FoodsOfGroup(m, k);
      for (std::size_t f = 0; f < members.size(); ++f)
        if (members[f]) out.foods[f] = true;
    }
    const std::string key = CommodityKey(code);
    for (int f = 1; f <= m.gResFoodCount; ++f) {
      if (CommodityKey(m.gFoodCode[static_cast<std::size_t>(f)]) != key) continue;
      known = true;
      out.foods[static_cast<std::size_t>(f)] = true;
    }
    if (!known) {
      unknown = code;
      return false;
    }
    if (std::find(out.codes.begin(), out.codes.end(), code) == out.codes.end())
      out.codes.push_back(code);
  }
  return true;
}

void ClearExcludedResidues(ModOrmid& m, const Exclusion& exclusion) {
  for (int f = 1; f <= m.gResFoodCount; ++f) {
    if (!exclusion.Excludes(f)) continue;
    const auto fi = static_cast<std::size_t>(f);
    m.gFoodResidue[fi] = 0.0f;
    const int first = m.gFoodFirstForm[fi];
    for (int j = first; j < first + m.gFoodFormCount[fi]; ++j)
      m.gFormResidue[static_cast<std::size_t>(j)] = 0.0f;
  }
}

std::string CommentWithExclusion(const std::string& comment, const Exclusion& exclusion) {
  if (exclusion.empty()) return comment;
  const std::vector<std::string>& codes = exclusion.codes;
  std::size_t listed = codes.size();
  std::string note = Note(codes, listed);
  while (note.size() > kCommentRoom && listed > 0) note = Note(codes, --listed);
  if (comment.empty()) return note;
  if (comment.size() + 1 + note.size() <= kCommentRoom) return comment + " " + note;
  if (note.size() + 1 + 4 > kCommentRoom) return note;
  const std::size_t keep = kCommentRoom - note.size() - 1 - 3;
  return comment.substr(0, keep) + "... " + note;
}

WhatIfFigures WhatIf(const ModOrmid& m, const ExposureTerms& terms,
                     const std::vector<bool>& leftOut) {
  WhatIfFigures figures;
  figures.popExposure = TotalsWithout(m, terms, leftOut);
  figures.table = BuildExposureRows(m, figures.popExposure);
  return figures;
}

}  // namespace ormid
