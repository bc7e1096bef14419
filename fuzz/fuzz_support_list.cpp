// The support list KavriSupport.txt, followed by the whole start-up and the runs.
#include <cstddef>
#include <cstdint>

#include "core/mod_ormid.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto in = ormid::fuzz::SplitInput(data, size);
  ormid::fuzz::PutFile(in.kind, ormid::kSupportListFile, in.file);
  ormid::fuzz::StartAndRun(in.kind, in.variant);
  return 0;
}
