#include "core/window_settings.h"

#include "core/numbers.h"

namespace ormid {

float BoxValue(const std::string& text) {
  return static_cast<float>(LeadingNumber(text));
}

}  // namespace ormid
