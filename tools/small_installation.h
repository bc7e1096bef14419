// The small installations the tests and the fuzz targets run on, and a
// residue file for each.
#pragma once

#include <string>

#include "tools/installation_writer.h"

namespace ormid::testdata {

// A small installation: six master foods (one with three food forms, one
// with two), every subgroup of the survey base, a crop group list long enough
// for its rule set, consumption values that are easy to follow by hand.
//   food 1 "01010000" apple      group "11"  (CSFII codes; NHANES: 10 digits)
//   food 2 "02020000" carrot     group "1A"  forms 110, 120, 130
//   food 3 "03030000" wheat      group "15"  forms 200, 210
//   food 4 "04040000" beef       group "M"
//   food 5 "05050000" lettuce    group "4A"
//   food 6 "06060000" no-consumption food, group "20"
Installation SmallInstallation(int surveyBase);

// A residue file on SmallInstallation covering foods 1, 2 (all forms), 3
// (first form), 4 and 5, with the installation's tag.
ResidueFile SmallResidueFile(int surveyBase);

// The residue file's tag for the installation's kind.
std::string TagFor(int surveyBase);

}  // namespace ormid::testdata
