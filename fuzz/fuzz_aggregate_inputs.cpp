// Toxicology and residential files of an aggregate run as anyone may write
// them: the input is the toxicology file, then after a form feed the
// residential file, read against an installation of three subgroups. A file
// is either refused with problems that each name the file and, where there
// is one, a line from 1, or read into rows whose every figure a run can use:
// each duration with its oral row, no duration and route twice, points of
// departure and levels of concern above 0 and finite, absorption above 0
// and at most 100; residential exposures finite and not below 0, of a
// subgroup of the installation, for a duration the toxicology file assesses
// and, when above 0, a route it has a row for.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "aggregate/aggregate_inputs.h"
#include "core/mod_ormid.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace ormid;

bool Usable(double v) {
  return v > 0 && std::isfinite(v);
}

void RequireNamed(const std::vector<std::string>& problems, const std::string& name) {
  for (const std::string& p : problems) {
    const std::string head = name + ":";
    fuzz::Require(
        p.rfind(name + ": ", 0) == 0 ||
            (p.rfind(head, 0) == 0 && p.size() > head.size() &&
             std::isdigit(static_cast<unsigned char>(p[head.size()])) && p[head.size()] != '0'),
        "a problem names the file and a line from 1");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t split = bytes.find('\f');
  const std::string toxText = bytes.substr(0, split);
  ToxTable tox;
  std::vector<std::string> problems;
  const bool read = ReadToxText(toxText, "/nonexistent/tox.csv", "tox.csv", tox, problems);
  fuzz::Require(read == problems.empty(),
                "a toxicology file is read exactly when nothing is wrong");
  RequireNamed(problems, "tox.csv");
  if (!read) return 0;
  fuzz::Require(!tox.rows.empty(), "a toxicology file has rows");
  std::set<std::pair<Duration, Route>> seen;
  for (const ToxRow& t : tox.rows) {
    fuzz::Require(seen.insert({t.duration, t.route}).second, "a duration and route once");
    fuzz::Require(tox.Has(t.duration), "every duration has its oral row");
    fuzz::Require(t.absorptionPercent > 0 && t.absorptionPercent <= 100, "an absorption");
    if (t.duration == Duration::Cancer) {
      if (t.route == Route::Oral) fuzz::Require(Usable(t.qStar), "the oral cancer row's Q*");
    } else {
      fuzz::Require(Usable(t.pod) && Usable(t.loc), "a point of departure and level of concern");
    }
  }
  if (split == std::string::npos) return 0;
  ModOrmid m;
  m.gPopCount = 3;
  m.gPopNames2 = {"", "U.S. Population", "Children 1-2", "Adults"};
  ResidentialTable res;
  problems.clear();
  const bool resRead = ReadResidentialText(m, tox, bytes.substr(split + 1), "/nonexistent/res.csv",
                                           "res.csv", res, problems);
  fuzz::Require(resRead == problems.empty(),
                "a residential file is read exactly when nothing is wrong");
  RequireNamed(problems, "res.csv");
  if (!resRead) return 0;
  for (const ResidentialRow& r : res.rows) {
    fuzz::Require(!r.scenario.empty(), "a scenario");
    fuzz::Require(r.exposure >= 0 && std::isfinite(r.exposure), "an exposure");
    fuzz::Require(r.row >= 0 && r.row <= m.gPopCount, "a subgroup of the installation");
    fuzz::Require(tox.Has(r.duration), "a duration the toxicology file assesses");
    fuzz::Require(r.exposure == 0 || tox.Find(r.duration, r.route) != nullptr,
                  "an exposure by a route the toxicology file has");
  }
  return 0;
}
