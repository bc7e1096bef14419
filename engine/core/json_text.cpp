#include "core/json_text.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "core/float_text.h"

#include "core/utf8.h"

namespace ormid {

namespace {

void AppendExponent(std::string& out, int e) {
  out += e < 0 ? '-' : '+';
  e = std::abs(e);
  // At least two digits, as printf's %g.
  if (e < 10) out += '0';
  out += std::to_string(e);
}

void Append(std::string& out, const nlohmann::json& j, int indent, int current) {
  switch (j.type()) {
    case nlohmann::json::value_t::object: {
      if (j.empty()) {
        out += "{}";
        return;
      }
      out += indent >= 0 ? "{\n" : "{";
      const int inner = current + indent;
      bool first = true;
      for (auto it = j.begin(); it != j.end(); ++it) {
        if (!first) out += indent >= 0 ? ",\n" : ",";
        first = false;
        if (indent > 0) out.append(static_cast<std::size_t>(inner), ' ');
        AppendJsonString(out, it.key());
        out += indent >= 0 ? ": " : ":";
        Append(out, it.value(), indent, inner);
      }
      if (indent >= 0) {
        out += '\n';
        out.append(static_cast<std::size_t>(current), ' ');
      }
      out += '}';
      return;
    }
    case nlohmann::json::value_t::array: {
      if (j.empty()) {
        out += "[]";
        return;
      }
      out += indent >= 0 ? "[\n" : "[";
      const int inner = current + indent;
      bool first = true;
      for (const auto& element : j) {
        if (!first) out += indent >= 0 ? ",\n" : ",";
        first = false;
        if (indent > 0) out.append(static_cast<std::size_t>(inner), ' ');
        Append(out, element, indent, inner);
      }
      if (indent >= 0) {
        out += '\n';
        out.append(static_cast<std::size_t>(current), ' ');
      }
      out += ']';
      return;
    }
    case nlohmann::json::value_t::string:
      AppendJsonString(out, j.get_ref<const std::string&>());
      return;
    case nlohmann::json::value_t::boolean:
      out += j.get<bool>() ? "true" : "false";
      return;
    case nlohmann::json::value_t::number_integer:
      out += std::to_string(j.get<std::int64_t>());
      return;
    case nlohmann::json::value_t::number_unsigned:
      out += std::to_string(j.get<std::uint64_t>());
      return;
    case nlohmann::json::value_t::number_float:
      AppendJsonNumber(out, j.get<double>());
      return;
    case nlohmann::json::value_t::binary:
    case nlohmann::json::value_t::discarded:
    case nlohmann::json::value_t::null:
      out += "null";
      return;
  }
}

}  // namespace

void AppendJsonNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  if (std::signbit(value)) {
    out += '-';
    value = -value;
  }
  if (value == 0) {
    out += "0.0";
    return;
  }
  // The shortest digits, as d.ddde+X.
  char buffer[64];
  const auto r =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<std::size_t>(r.ptr - buffer));
  const auto e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e))
    if (c != '.') digits += c;
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), exponent);
  // dump()'s layout of k digits whose point stands after the n-th.
  const int k = static_cast<int>(digits.size());
  const int n = exponent + 1;
  constexpr int kMinExp = -4, kMaxExp = 15;
  if (k <= n && n <= kMaxExp) {
    out += digits;
    out.append(static_cast<std::size_t>(n - k), '0');
    out += ".0";
  } else if (0 < n && n <= kMaxExp) {
    out.append(digits, 0, static_cast<std::size_t>(n));
    out += '.';
    out.append(digits, static_cast<std::size_t>(n));
  } else if (kMinExp < n && n <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-n), '0');
    out += digits;
  } else {
    out += digits[0];
    if (k > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'e';
    AppendExponent(out, n - 1);
  }
}

void AppendJsonString(std::string& out, std::string_view text) {
  std::string valid;
  if (!IsValidUtf8(text)) {
    valid = ValidUtf8(text);
    text = valid;
  }
  out += '"';
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          static constexpr char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

std::string JsonText(const nlohmann::json& j, int indent) {
  std::string out;
  Append(out, j, indent, 0);
  return out;
}

nlohmann::json JsonSingle(float v) {
  if (!std::isfinite(v)) return nullptr;
  return std::stod(ShortestText(v));
}

}  // namespace ormid
