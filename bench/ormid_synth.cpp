// ormid-synth SCALE OUT_DIR: writes a synthetic CSFII installation of SCALE
// times 600 master foods and 3,000 food-form entries into OUT_DIR, with the
// residue file residues/BENCH.R98 (see synthetic_installation.h).
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "bench/synthetic_installation.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: ormid-synth SCALE OUT_DIR\n";
    return 2;
  }
  try {
    const int scale = std::stoi(argv[1]);
    const auto residue = ormid::bench::WriteSyntheticInstallation(scale, argv[2]);
    std::cout << argv[2] << ": " << scale * ormid::bench::kFoodsPerScale << " foods, "
              << scale * ormid::bench::kFormsPerScale << " food-form entries, residue file "
              << residue.string() << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "ormid-synth: " << e.what() << "\n";
    return 1;
  }
}
