// The food-form and crop group description file (support file 1), followed
// by the whole start-up and the runs.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto in = ormid::fuzz::SplitInput(data, size);
  ormid::fuzz::PutFile(in.kind, ormid::fuzz::StartedKind(in.kind).gFoodFormFile, in.file);
  ormid::fuzz::StartAndRun(in.kind, in.variant);
  return 0;
}
