// Small generated installations for tests: written by the installation
// writers into a temporary folder and started up like the program does.
#pragma once

#include <filesystem>
#include <string>

#include "core/mod_ormid.h"
#include "tests/test_support.h"
#include "tools/installation_writer.h"

namespace ormid::test {

// A small installation: six master foods (one with three food forms, one
// with two), every subgroup of the survey base, a crop group list long enough
// for its rule set, consumption values that are easy to follow by hand.
//   food 1 "01010000" apple      group "11"  (CSFII codes; NHANES: 10 digits)
//   food 2 "02020000" carrot     group "1A"  forms 110, 120, 130
//   food 3 "03030000" wheat      group "15"  forms 200, 210
//   food 4 "04040000" beef       group "M"
//   food 5 "05050000" lettuce    group "4A"
//   food 6 "06060000" no-consumption food, group "20"
testdata::Installation SmallInstallation(int surveyBase);

// A residue file on SmallInstallation covering foods 1, 2 (all forms), 3
// (first form), 4 and 5, with the installation's tag.
testdata::ResidueFile SmallResidueFile(int surveyBase);

// The residue file's tag for the installation's kind.
std::string TagFor(int surveyBase);

// Writes an installation into dir and runs the start-up there (the current
// directory is left at dir while `cwd` lives).
struct StartedInstallation {
  TempDir dir;
  std::unique_ptr<ScopedCurrentDir> cwd;
  FakePlatform platform;
  ModOrmid m;
  bool started = false;

  explicit StartedInstallation(const testdata::Installation& inst);
  // Writes the residue file under residues/ and opens it; true on success.
  bool Open(const testdata::ResidueFile& file, const std::string& name = "test.R98");
};

}  // namespace ormid::test
