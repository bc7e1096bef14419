// ormid-gen SOURCE_DIR OUT_DIR: builds an Ormid installation from the source
// tables in SOURCE_DIR (see sample_generator.h) and writes it into OUT_DIR.
#include <exception>
#include <iostream>
#include <string>

#include "tools/sample_generator.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: ormid-gen SOURCE_DIR OUT_DIR\n";
    return 2;
  }
  try {
    const std::string summary = ormid::testdata::GenerateSample(argv[1], argv[2]);
    std::cout << argv[2] << ": " << summary << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "ormid-gen: " << e.what() << "\n";
    return 1;
  }
}
