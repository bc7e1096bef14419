// The two consumption files (support files 5 and 6), one input holding both
// (see SplitPair), as the totals and the commodity look-ups read them: the
// variants without runs take the long-term analysis.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto in = ormid::fuzz::SplitInput(data, size);
  auto [foods, forms] = ormid::fuzz::SplitPair(in.file);
  const ormid::ModOrmid& m = ormid::fuzz::StartedKind(in.kind);
  ormid::fuzz::PutFile(in.kind, m.gConsumptionFile1, foods);
  ormid::fuzz::PutFile(in.kind, m.gConsumptionFile2, forms);
  ormid::fuzz::StartAndRun(in.kind, in.variant % 6);
  return 0;
}
