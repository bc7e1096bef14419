// Residue files of every kind (.R98, .R1D, .R10; plain and multi-chemical),
// read on the chosen installation and followed into the runs.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto in = ormid::fuzz::SplitInput(data, size);
  ormid::fuzz::ReadResidueAndRun(in.kind, in.variant, std::string(in.file));
  return 0;
}
