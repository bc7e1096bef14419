// Synthetic CSFII installations for timing Ormid at scale: `scale` times 600
// master foods with 3,000 food-form entries in all, 33 population subgroups,
// the 38 CSFII crop groups, and a residue file that gives every food and every
// food form a residue. Everything is derived from the scale alone, so two
// runs write identical files.
#pragma once

#include <filesystem>
#include <string>

#include "tools/installation_writer.h"

namespace ormid::bench {

inline constexpr int kFoodsPerScale = 600;
inline constexpr int kFormsPerScale = 3000;

testdata::Installation SyntheticInstallation(int scale);
// The residue file covering every food and food form of inst.
testdata::ResidueFile SyntheticResidueFile(const testdata::Installation& inst);

// Writes the installation into dir and its residue file as
// dir/residues/BENCH.R98; returns the residue file's path.
std::filesystem::path WriteSyntheticInstallation(int scale, const std::filesystem::path& dir);

}  // namespace ormid::bench
