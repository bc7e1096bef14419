// The toxicology endpoint a run reports against, and its one-letter code as
// the manifests, the run history and the scenario files write it.
#pragma once

#include <optional>
#include <string_view>

namespace ormid {

enum class Endpoint {
  None,     // no run request has set one yet
  Noel,     // "N": margin of exposure and percent of the NOEL
  RfD,      // "R": percent of the reference dose
  Pad,      // "P": percent of each subgroup's PAD, the RfD where none is entered
  NoelRfD,  // "NR": margin of exposure and percent of the RfD
  NoelPad,  // "NP": margin of exposure and percent of the PAD or RfD
  QStar,    // "Q": lifetime cancer risk from the Q*
};

// "N", "R", "P", "NR", "NP", "Q"; "" for None.
constexpr std::string_view EndpointCode(Endpoint e) {
  switch (e) {
    case Endpoint::Noel:
      return "N";
    case Endpoint::RfD:
      return "R";
    case Endpoint::Pad:
      return "P";
    case Endpoint::NoelRfD:
      return "NR";
    case Endpoint::NoelPad:
      return "NP";
    case Endpoint::QStar:
      return "Q";
    case Endpoint::None:
      break;
  }
  return "";
}

// The endpoint of a code; nullopt for any other text.
constexpr std::optional<Endpoint> EndpointFromCode(std::string_view code) {
  for (Endpoint e : {Endpoint::Noel, Endpoint::RfD, Endpoint::Pad, Endpoint::NoelRfD,
                     Endpoint::NoelPad, Endpoint::QStar})
    if (EndpointCode(e) == code) return e;
  return std::nullopt;
}

// The endpoint reports a percent of a reference dose (the RfD, or a PAD).
constexpr bool UsesReferenceDose(Endpoint e) {
  return e == Endpoint::RfD || e == Endpoint::Pad || e == Endpoint::NoelRfD ||
         e == Endpoint::NoelPad;
}
// The endpoint takes each subgroup's PAD where one is entered.
constexpr bool UsesPad(Endpoint e) {
  return e == Endpoint::Pad || e == Endpoint::NoelPad;
}
// The endpoint reports margins of exposure against the NOEL.
constexpr bool UsesNoel(Endpoint e) {
  return e == Endpoint::Noel || e == Endpoint::NoelRfD || e == Endpoint::NoelPad;
}

}  // namespace ormid
