// ormid-fuzz-seeds OUTDIR: writes the seed corpus of every fuzz target into
// OUTDIR/<target>/: the files of the generated installations and of the
// bundled samples (all their residue files too), each behind the selector
// byte of its installation.
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/mod_ormid.h"
#include "core/record_file.h"
#include "fuzz/fuzz_support.h"
#include "history/run_history.h"
#include "residue/residue_reader.h"
#include "residue_table/residue_table.h"
#include "tools/small_installation.h"

namespace fs = std::filesystem;
namespace td = ormid::testdata;
using namespace ormid::fuzz;

namespace {

fs::path out;
int written = 0;

void Seed(const std::string& target, int kind, int variant, const std::string& bytes) {
  fs::create_directories(out / target);
  const std::string name = "seed-" + std::to_string(++written);
  td::WriteFile(out / target / name, SelectorByte(kind, variant) + bytes);
}

// A seed of a target that takes a whole file, without a selector byte.
void Whole(const std::string& target, const std::string& bytes) {
  fs::create_directories(out / target);
  td::WriteFile(out / target / ("seed-" + std::to_string(++written)), bytes);
}

// The generated residue file of a survey base in its multi-chemical layout.
std::string MultiChemicalText(int base) {
  td::ResidueFile file = td::SmallResidueFile(base);
  file.tag = base == 0 ? "FCIDMC1" : "05-10-cMCNH2";
  file.chemicals = {{"\"Chem A\", 1", "5,\"second line\""}, {"\"Chem B\", 0", ""}};
  file.pairCount = 2;
  file.foods[0].pairs = {{0.5f, 0.25f}, {1, 2}};
  return td::ResidueFileText(file);
}

}  // namespace

// Assessment group files of every column and both separators.
void GroupSeeds() {
  Whole("assessment_group",
        "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,rpf\n"
        "A,a.R98,0.5,100,yes,\nB,b.R98,0.1,,,2\n");
  Whole("assessment_group",
        "\xEF\xBB\xBF"
        "Chemical;Residue_File;POD_mg_per_kg_bw_day;Uncertainty_Factor;Index\r\n"
        "A;a.R10;0,5;100;yes\r\nB;\"b; c.R10\";1e-3;10;\r\n");
  // The uncertainty factor by its three factors, and the sources.
  Whole("assessment_group",
        "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,interspecies_factor,"
        "intraspecies_factor,fqpa_factor,pod_source\n"
        "A,a.R98,0.5,,yes,10,10,3,\"BMDL10, rat\"\nB,b.R98,0.1,30,,10,3,1,NOAEL\n");
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ormid-fuzz-seeds OUTDIR\n");
    return 2;
  }
  out = argv[1];
  GroupSeeds();
  for (int kind = 0; kind < kKinds; ++kind) {
    const ormid::ModOrmid& m = StartedKind(kind);
    const std::string residue = PristineFile(kind, KindResidueFile(kind));
    // The generated installations with all runs, the samples (much slower
    // to run) with the long-term analysis alone; each also without runs.
    const bool sample = kind == kCsfiiSample || kind == kNhanesSample;
    const int runs = (sample ? 3 : 0) + kind % 3;
    for (int variant : {runs - runs % 3, runs - runs % 3 + 1, runs - runs % 3 + 2, 6})
      Seed("residue_file", kind, variant, residue);
    for (int variant : {runs, 6}) {
      Seed("support_list", kind, variant, PristineFile(kind, ormid::kSupportListFile));
      Seed("setup_file", kind, variant, PristineFile(kind, ormid::kSetupFile));
      Seed("description_file", kind, variant, PristineFile(kind, m.gFoodFormFile));
      Seed("master_lists", kind, variant,
           JoinPair(PristineFile(kind, m.gFoodFile), PristineFile(kind, m.gRacFile)));
    }
    for (int variant : {runs, 3 + kind % 3})
      Seed("consumption", kind, variant,
           JoinPair(PristineFile(kind, m.gConsumptionFile1),
                    PristineFile(kind, m.gConsumptionFile2)));
    // The item reader: all texts, and numbers then texts, over each text file.
    for (const std::string& text : {PristineFile(kind, ormid::kSupportListFile),
                                    PristineFile(kind, m.gFoodFormFile), residue}) {
      td::WriteFile(out / "item_reader" / ("seed-" + std::to_string(++written)),
                    std::string("\0\0", 2) + text);
      td::WriteFile(out / "item_reader" / ("seed-" + std::to_string(++written)), "\x41\x08" + text);
    }
  }
  for (int base : {0, 2}) {
    const int kind = base == 0 ? kCsfiiSmall : kNhanesTwoDaySmall;
    for (int variant : {0, 6}) Seed("residue_file", kind, variant, MultiChemicalText(base));
  }
  // Every sample residue file; the short ones with all runs.
  for (int kind : {kCsfiiSample, kNhanesSample}) {
    for (const auto& e : fs::directory_iterator(fs::path(KindFolder(kind)) / "residues")) {
      const std::string text = PristineFile(kind, "residues/" + e.path().filename().string());
      for (int variant : {text.size() < 1000 ? 2 : 5, 6}) Seed("residue_file", kind, variant, text);
    }
  }
  // Residue tables: the export of every single-chemical residue file of the
  // installations, with commas and in a European spreadsheet's semicolons.
  for (int kind = 0; kind < kKinds; ++kind) {
    for (const auto& e : fs::directory_iterator(fs::path(KindFolder(kind)) / "residues")) {
      ormid::ModOrmid m = StartedKind(kind);
      FuzzPlatform p;
      ormid::ResidueFile items;
      int failed = 0;
      ormid::ReadResidueText(m, p, PristineFile(kind, "residues/" + e.path().filename().string()),
                             failed, &items);
      if (failed != 0 || !ormid::ExportRefusal(items).empty()) continue;
      const std::string csv = ormid::CsvTableText(ormid::ResidueTableRows(m, items));
      std::string semicolons = csv;
      for (char& c : semicolons) c = c == ',' ? ';' : c == '.' ? ',' : c;
      for (const std::string& table : {csv, semicolons}) Seed("residue_table", kind, 6, table);
    }
  }
  // Residue builds: each sample's monitoring samples and rules, with every
  // choice of the options, and in a European spreadsheet's semicolons.
  for (int kind : {kCsfiiSample, kNhanesSample}) {
    const std::string samples = PristineFile(kind, "monitoring/samples.csv");
    const std::string rules = PristineFile(kind, "monitoring/rules.csv");
    for (int variant = 0; variant < 5; ++variant)
      Seed("residue_build", kind, variant, JoinPair(samples, rules));
    Seed("residue_build", kind, 1,
         JoinPair(PristineFile(kind, "monitoring/cyclofos-samples.csv"), rules));
    std::string semicolons = samples;
    for (char& c : semicolons) c = c == ',' ? ';' : c == '.' ? ',' : c;
    Seed("residue_build", kind, 0, JoinPair(semicolons, rules));
  }
  // Run manifests and run histories of real runs: a long-term and a
  // commodity run on each generated installation Ormid runs (not the
  // NHANES one-day one, whose residue files it refuses).
  const std::string history = ScratchPath("seed-history.sqlite");
  for (int kind : {kCsfiiSmall, kNhanesTwoDaySmall}) {
    std::error_code ec;
    fs::remove(history, ec);
    for (bool commodity : {false, true}) {
      SeedRun run = RunForSeeds(kind, commodity);
      Whole("manifest", run.manifest.dump(2));
      ormid::RecordRequest request;
      request.path = history;
      Require(ormid::RecordRun(request, run.manifest, *run.figures).recorded,
              "a seed run is recorded");
    }
    // A cumulative run beside them: its manifest's head and two subgroups
    // of two chemicals.
    {
      SeedRun run = RunForSeeds(kind, false);
      nlohmann::json manifest = run.manifest;
      manifest["run"]["command"] = "cumulative";
      manifest["group_file"] = manifest["residue_file"];
      manifest["residue_files"] = nlohmann::json::array({manifest["residue_file"]});
      manifest.erase("residue_file");
      ormid::HistoryRecorder figures;
      std::vector<ormid::RecordedCumulative> rows;
      for (int row : {1, 2})
        rows.push_back({row,
                        "Subgroup " + std::to_string(row),
                        0.5 * row,
                        25.0 * row,
                        4.0,
                        1.5,
                        4.0 / row,
                        100.0,
                        {{"A", 1, 0.25f, 0.25, 50.0, "BMDL10"}, {"B", 2, 0.125f, 0.25, 50.0, ""}}});
      figures.Cumulative(rows);
      ormid::RecordRequest request;
      request.path = history;
      Require(ormid::RecordRun(request, manifest, figures).recorded, "a cumulative run");
    }
    auto bytes = ormid::ReadWholeFile(history);
    Require(bytes.has_value(), "the seed history");
    Whole("history", *bytes);
  }
  // Edits of a history of real runs (fuzz_history.cpp): a name with a line
  // feed, a figure that is a text, a manifest nested deep and food rows of
  // an infinite exposure, each with and without the checksums and recorded
  // into; a schema version Ormid never wrote. An edit is a table, a column, a row, a kind
  // of value and its length, then the value.
  auto edit = [](char flags, std::initializer_list<int> head, const std::string& value) {
    std::string bytes = {'\1', flags};
    for (int b : head) bytes += static_cast<char>(b);
    bytes += static_cast<char>(value.size());
    return bytes + value;
  };
  for (char flags : {'\0', '\1', '\3'}) {
    Whole("history", edit(flags, {2, 6, 0, 3}, "ab\ncd"));
    Whole("history", edit(flags, {5, 4, 1, 3}, "x"));
    Whole("history", edit(flags, {7, 9, 0, 6}, std::string(64, 'x')));
    Whole("history", edit(flags, {2, 15, 0, 5}, "[[1e999,5]]"));
  }
  Whole("history", std::string("\1\x3e"));  // checked, recorded into, schema version -1
  // The scenario files of the samples.
  for (int kind : {kCsfiiSample, kNhanesSample}) {
    const fs::path file = fs::path(KindFolder(kind)) / "scenarios.csv";
    if (fs::exists(file)) Whole("scenarios", *ormid::ReadWholeFile(file.string()));
    const fs::path group = fs::path(KindFolder(kind)) / "op-group.csv";
    if (fs::exists(group)) Whole("assessment_group", *ormid::ReadWholeFile(group.string()));
    // The example toxicology file, then after a form feed the residential.
    const fs::path tox = fs::path(KindFolder(kind)) / "tox.csv";
    const fs::path residential = fs::path(KindFolder(kind)) / "residential.csv";
    if (fs::exists(tox) && fs::exists(residential))
      Whole("aggregate_inputs", *ormid::ReadWholeFile(tox.string()) + "\f" +
                                    *ormid::ReadWholeFile(residential.string()));
  }
  std::printf("%d seeds in %s\n", written, out.string().c_str());
  return 0;
}
