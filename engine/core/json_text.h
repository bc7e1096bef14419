// JSON text of the program's files (exports, manifests): laid out as
// nlohmann::json's dump() lays it out, every figure in the shortest text
// that reads back to the same double.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

namespace ormid {

// The document as j.dump(indent, ' ', false, error_handler_t::replace)
// writes it (indent < 0: on one line), but for numbers that are not whole
// numbers: dump() finds their digits with Grisu2, which now and then gives
// a digit more than needed (0.0026454146000000002 for 0.0026454146); here
// they are the shortest that read back, in dump()'s layout (a point and a
// zero after a whole value, the exponent form below 1e-4 and from 1e15).
// Values that are not finite are null, as there.
std::string JsonText(const nlohmann::json& j, int indent = -1);

// A single-precision figure as a JSON number: the double nearest its
// shortest text, so that the document reads "0.0005", not the float's
// binary expansion; null when it is not finite.
nlohmann::json JsonSingle(float v);

// A number as JsonText writes it.
void AppendJsonNumber(std::string& out, double value);

// A JSON string as dump() writes it: valid UTF-8 (a byte that is not part
// of a sequence becomes U+FFFD), quotes, backslashes and control
// characters escaped.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace ormid
