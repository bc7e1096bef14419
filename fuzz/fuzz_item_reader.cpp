// Free-format item input on its own: the first two bytes are a program of
// five read operations (three bits each: text, 16-bit integer, float, whole
// line, count line), repeated until the data ends or a read fails; the rest
// is the data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/item_reader.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned program = data[0] | (data[1] << 8);
  ormid::ItemReader r(std::string(reinterpret_cast<const char*>(data) + 2, size - 2));
  std::string text;
  std::int16_t n;
  float f;
  // Every read that succeeds takes at least one character.
  for (std::size_t step = 0; !r.AtEnd(); ++step) {
    ormid::fuzz::Require(step <= size, "each read moves on");
    bool ok = false;
    switch ((program >> (3 * (step % 5))) % 8 % 5) {
      case 0:
        ok = r.ReadText(text);
        break;
      case 1:
        ok = r.ReadInt16(n);
        break;
      case 2:
        ok = r.ReadFloat(f);
        break;
      case 3:
        ok = r.ReadLine(text);
        break;
      default:
        ok = r.ReadCountLine(n);
        break;
    }
    if (!ok) {
      ormid::fuzz::Require(r.error().rfind("line " + std::to_string(r.line()) + ": ", 0) == 0,
                           "a failed read names its line");
      break;
    }
  }
  return 0;
}
