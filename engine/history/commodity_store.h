// How a history of schema 5 keeps a commodity run's breakdown, so that it
// stays small and other tools can read it with SQL:
//
// - each item (food, food form, crop group, subgroup total) once per run,
//   its texts in a description shared by every run that names them;
// - the crop group subtotals and subgroup totals of each subgroup as rows
//   of their own, every figure as it is;
// - the food and food-form rows of each subgroup as one zlib-compressed
//   JSON text (the sqlite3 shell's sqlar_uncompress reads it), each row its
//   exposure and which figures it has: a share, a percent of the reference
//   dose or of the NOEL, a margin of exposure or a risk that follows from
//   the exposure and the subgroup's constants (its total, reference dose,
//   NOEL and Q*) by the formulas below is not written, any other is.
//
// docs/history.md describes the layout for other tools.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/recorded_run.h"

namespace ormid::history {

// The formulas a figure that is not written follows from: single-precision
// results of double-precision arithmetic on the single-precision exposure
// and constant, as the analyses compute them.
float PercentOf(float exposure, float of);          // exposure * 100 / of
float QuotientOf(float numerator, float exposure);  // numerator / exposure
float ProductOf(float exposure, float factor);      // exposure * factor

// A figure's JSON text: the shortest text that reads back as the same
// single-precision value ("1.25e-05", "34519502848").
std::string NumberText(float v);

// zlib, as the sqlite3 shell's sqlar_compress and sqlar_uncompress use it:
// the compressed bytes, or the text as it is when compressing would not make
// it smaller (its stored size is then its own length).
std::string Compressed(std::string_view text);
// The text of a stored blob and its size; false when the blob does not
// uncompress to that size.
bool Uncompressed(std::string_view blob, long long size, std::string& text);

// A row of a subgroup's breakdown with its item's number.
using StoredRow = PackedRow;

// The constants of a subgroup that its food rows' unwritten figures follow
// from.
struct SubgroupConstants {
  std::optional<float> total;  // the subgroup total's exposure
  ReferenceKind reference = ReferenceKind::None;
  std::optional<float> referenceDose;
  std::optional<float> noel, qStar;
};

// A commodity run as schema 5 stores it.
struct StoredCommodity {
  // The items, numbered: foods and food forms first, in the order the rows
  // first name them, then crop groups and subgroup totals.
  std::vector<RecordedContribution> items;
  struct Subgroup {
    int row = 0;
    std::string name;
    std::optional<StoredRow> total;  // the subgroup total's row, for its columns
    SubgroupConstants constants;
    // Crop group subtotals and subgroup totals, with their places in the
    // subgroup's breakdown (from 0).
    std::vector<std::pair<int, StoredRow>> totals;
    std::string foods;  // the food rows' JSON text
  };
  std::vector<Subgroup> subgroups;
};

// The packed items and subgroups' rows a run was gathered in (or a history
// of schema 4 or earlier kept), as schema 5 stores them. False when the
// bytes are not a packing this program wrote.
struct PackedSubgroup {
  int row = 0;
  std::string name;
  std::string_view rows;
};
bool StoreCommodity(std::string_view packedItems, const std::vector<PackedSubgroup>& subgroups,
                    StoredCommodity& out);

// The food rows of a subgroup from their JSON text, each figure taken as
// written or worked out from the constants; false when the text is not one
// StoreCommodity writes or a figure cannot be worked out. Items are
// numbered below itemCount.
bool ReadFoodRows(std::string_view json, const SubgroupConstants& constants, std::size_t itemCount,
                  std::vector<StoredRow>& out);

}  // namespace ormid::history
