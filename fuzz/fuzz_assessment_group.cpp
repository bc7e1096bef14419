// Assessment group files as anyone may write them. A file is either refused
// with problems that each name the file and, where there is one, a line, or
// read into a group with exactly one index chemical (with an uncertainty
// factor), chemicals listed once each, and every point of departure,
// uncertainty factor and relative potency above 0 and finite.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "cumulative/assessment_group.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace ormid;

bool Positive(double v) {
  return v > 0 && std::isfinite(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  AssessmentGroup group;
  std::vector<std::string> problems;
  const bool read = ReadAssessmentGroupText(bytes, "/nonexistent/group", "/nonexistent/group/g.csv",
                                            "g.csv", group, problems);
  fuzz::Require(read == problems.empty(), "a group is read exactly when nothing is wrong");
  for (const std::string& p : problems) {
    fuzz::Require(p.rfind("g.csv: ", 0) == 0 ||
                      (p.rfind("g.csv:", 0) == 0 && p.size() > 6 &&
                       std::isdigit(static_cast<unsigned char>(p[6])) && p[6] != '0'),
                  "a problem names the file and a line from 1");
  }
  if (!read) return 0;
  fuzz::Require(!group.chemicals.empty(), "a group has chemicals");
  fuzz::Require(group.index < group.chemicals.size() && group.chemicals[group.index].index,
                "the index chemical is one of them");
  fuzz::Require(group.chemicals[group.index].uncertaintyFactor.has_value(),
                "the index chemical has an uncertainty factor");
  std::set<std::string> names;
  int indexes = 0;
  for (const GroupChemical& g : group.chemicals) {
    std::string lower = g.chemical;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fuzz::Require(!g.chemical.empty() && names.insert(lower).second, "chemicals listed once");
    fuzz::Require(!g.residuePath.empty(), "a residue file");
    fuzz::Require(Positive(g.pod) && Positive(g.rpf), "a point of departure and a potency");
    fuzz::Require(!g.uncertaintyFactor || Positive(*g.uncertaintyFactor), "an uncertainty factor");
    indexes += g.index ? 1 : 0;
  }
  fuzz::Require(indexes == 1, "exactly one index chemical");
  fuzz::Require(Positive(group.Cpad()), "a cPAD");
  return 0;
}
