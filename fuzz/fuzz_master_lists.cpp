// The master food file and the master food-form file (support files 2 and
// 3), one input holding both (see SplitPair), followed by the whole start-up
// and the runs.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto in = ormid::fuzz::SplitInput(data, size);
  auto [foods, forms] = ormid::fuzz::SplitPair(in.file);
  const ormid::ModOrmid& m = ormid::fuzz::StartedKind(in.kind);
  ormid::fuzz::PutFile(in.kind, m.gFoodFile, foods);
  ormid::fuzz::PutFile(in.kind, m.gRacFile, forms);
  ormid::fuzz::StartAndRun(in.kind, in.variant);
  return 0;
}
