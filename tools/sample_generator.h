// The sample generator behind ormid-gen: builds an Ormid installation from
// plain-text source tables that a person can read and diff.
//
//   installation.txt  "key: value" lines: survey base, data version, support
//                     file names, support lists, setup file values
//   subgroups.csv     row, consumption column, name, then one consumption
//                     multiplier per food category (the header names them)
//   forms.csv         list (1-3), digit, text: the food-form digit descriptions
//   cropgroups.csv    index, code, number, name: the crop group list in order
//   foods.csv         number, code, crop group, category, base consumption,
//                     name, forms ("code:share" separated by blanks)
//   residues/*.txt    one residue file each; the output name is the source
//                     name without ".txt". "key: value" lines:
//       chemical, rfd, tag, item 4, item 5, noel, item 7, q star, date
//       comment        the file comment (item 11 is then -1)
//       value pairs    K, the value pairs per entry of a multi-chemical file
//       chemical line  one chemical of a multi-chemical file, as written;
//       second line    its second line, written when the first ends in a
//                      number other than 0
//       food           number, code, residue, factor 1, factor 2, comment,
//                      pair values...; an empty code takes the master food's,
//                      a 9-character code may stand for a 10-character code
//                      that starts with 0
//       form           code, residue, factor 1, factor 2, comment, pair
//                      values...; belongs to the food above it
//
// Lines starting with "#" and blank lines are skipped everywhere. CSV fields
// may be double-quoted.
//
// The consumption of food f by the subgroup in column c is
//   base(f) x multiplier(subgroup, category(f)) x (0.85 + 0.0003 h),
//   h = (7919 f + 104729 c) mod 1000,
// rounded to 1E-6 g/kg bw/day; a food form takes its share of the unrounded
// value. A base or share of "-" gives a record without data (blank code). The
// output depends on the source tables alone.
#pragma once

#include <filesystem>
#include <string>

namespace ormid::testdata {

// Writes the installation described by the source tables in source into out,
// with the residue files in its residue folder. Returns a one-line summary;
// throws std::runtime_error naming the source file and line of a fault.
std::string GenerateSample(const std::filesystem::path& source, const std::filesystem::path& out);

}  // namespace ormid::testdata
