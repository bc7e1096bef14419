// A samples file and a rules file, as a monitoring programme's export and a
// hand-made spreadsheet may be, read and checked against the chosen
// installation with the options the selector's variant picks. Every problem
// names its file; two files that pass every check must make residue files
// that Ormid reads without a message, the three bounds in order.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/mod_ormid.h"
#include "fuzz/fuzz_support.h"
#include "residue/residue_file_writer.h"
#include "residue/residue_reader.h"
#include "residue_build/build_report.h"
#include "residue_build/residue_build.h"
#include "residue_table/residue_table.h"

namespace {

using namespace ormid;

const MasterFoods& FoodsOf(int kind) {
  static MasterFoods foods[fuzz::kKinds];
  static bool loaded[fuzz::kKinds] = {};
  if (!loaded[kind]) {
    ModOrmid m = fuzz::StartedKind(kind);
    m.gFoodFile = (std::filesystem::path(fuzz::KindFolder(kind)) / m.gFoodFile).string();
    std::string error;
    fuzz::Require(LoadMasterFoods(m, foods[kind], error), "the master food list");
    loaded[kind] = true;
  }
  return foods[kind];
}

bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto in = fuzz::SplitInput(data, size);
  const auto [samples, rules] = fuzz::SplitPair(in.file);
  const ModOrmid& m = fuzz::StartedKind(in.kind);
  if (ResidueExtension(m).empty()) return 0;

  // The variant picks the rules for the values below the limits; the upper
  // and lower bounds come with every one of them.
  ResidueBuildSettings s;
  s.samples = s.samplesShown = "samples.csv";
  s.rules = s.rulesShown = "rules.csv";
  s.output = "built" + ResidueExtension(m);
  s.chemical = "Fuzzed";
  s.nonDetects = static_cast<NonDetectRule>(in.variant % 5);
  s.notQuantified = static_cast<NotQuantifiedRule>(in.variant % 3);
  s.cropTreated = in.variant % 2 == 0 ? CropTreatedRule::ZeroNonDetects : CropTreatedRule::Factor;
  s.bound = BoundChoice::All;

  BuildInputs inputs;
  BuildProblems problems;
  const bool read = ReadBuildInputText(m, FoodsOf(in.kind), s, samples, rules, inputs, problems);
  fuzz::Require(read == (problems.count == 0), "a build is refused exactly when it has problems");
  fuzz::Require(problems.lines.size() <= kBuildProblemsKept, "the problems kept");
  for (const std::string& line : problems.lines)
    fuzz::Require(StartsWith(line, "samples.csv:") || StartsWith(line, "rules.csv:"),
                  "a problem names its file");
  if (!read) return 0;

  const ResidueBuild build = ComputeResidueBuild(m, FoodsOf(in.kind), inputs, s, "03-14-2024");
  fuzz::Require(build.files.size() == 3, "three bounds");
  for (std::size_t r = 0; r < build.rows.size(); ++r) {
    const BuildRow& row = build.rows[r];
    fuzz::Require(row.zeros >= 0 && row.zeros <= row.nonDetects, "the zeros are non-detects");
    fuzz::Require(row.residue >= 0, "a residue of 0 or more");
  }
  // The rows of the three bounds come in the same order.
  const std::size_t per = build.rows.size() / 3;
  fuzz::Require(per * 3 == build.rows.size(), "as many rows in each bound");
  for (std::size_t r = 0; r < per; ++r)
    fuzz::Require(build.rows[r].residue <= build.rows[per + r].residue &&
                      build.rows[per + r].residue <= build.rows[2 * per + r].residue,
                  "lower <= middle <= upper");

  for (const ResidueFile& file : build.files) {
    std::string text;
    try {
      text = ResidueFileText(file);
    } catch (const std::exception&) {
      fuzz::Require(false, "a checked build writes its residue file");
    }
    ModOrmid again = m;
    fuzz::FuzzPlatform platform;
    int failed = 0;
    ReadResidueText(again, platform, text, failed);
    fuzz::Require(failed == 0 && platform.messages == 0,
                  "Ormid reads a built residue file without a message");
  }
  fuzz::Require(!ResidueBuildReportText(m, build, DateTime{2024, 3, 14, 9, 26, 53}).empty(),
                "the build report");
  return 0;
}
