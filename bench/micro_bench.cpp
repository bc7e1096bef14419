// Micro-benchmarks of the pieces a long-term or commodity run spends its time
// in: number formatting and alignment, the report line writer, the residue
// file reader, the exposure totals and the two commodity report writers. The
// data is the full-size synthetic installation (600 foods, 3,000 food-form
// entries, 33 subgroups), written once into a temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "bench/synthetic_installation.h"
#include "commodity/commodity_run.h"
#include "commodity/complete_report.h"
#include "commodity/critical_report.h"
#include "commodity/crop_groups.h"
#include "core/mod_ormid.h"
#include "core/platform.h"
#include "exposure/exposure_rows.h"
#include "exposure/exposure_terms.h"
#include "exposure/total_exposure.h"
#include "headroom/headroom.h"
#include "headroom/what_if.h"
#include "report/number_format.h"
#include "report/report_writer.h"
#include "residue/residue_reader.h"
#include "setup/startup.h"

namespace ormid {
namespace {

namespace fs = std::filesystem;

// Any message box means the data is not what the benchmarks expect.
class BenchPlatform : public Platform {
 public:
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon,
                       MsgButtons) override {
    std::cerr << title << ": " << text << "\n";
    std::abort();
  }
  std::string InputBox(const std::string&, const std::string&, const std::string&) override {
    return "";
  }
  DateTime Now() override { return {2024, 1, 15, 9, 30, 0}; }
};

// The installation, started up and with its residue file read; the current
// directory stays its working folder.
struct Loaded {
  BenchPlatform p;
  ModOrmid m;
  fs::path dir;

  Loaded() {
    dir = fs::temp_directory_path() / ("ormid-bench-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const fs::path residue = bench::WriteSyntheticInstallation(1, dir);
    fs::current_path(dir);
    if (!StartUp(m, p, false)) std::abort();
    m.gResidueFileName = residue.string();
    int failed = 0;
    ReadResidueFile(m, p, failed);
    if (failed != 0) std::abort();
    SetEndpoint("R");
  }
  ~Loaded() {
    std::error_code ignored;
    fs::current_path(dir.parent_path(), ignored);
    fs::remove_all(dir, ignored);
  }

  void SetEndpoint(const std::string& endpoint) {
    m.gEndpoint = *EndpointFromCode(endpoint);
    m.gRefDose = 0.0005f;
    m.gNOEL = 0.05f;
    m.gQStar = 0.02f;
    m.gUseAdj2 = 1;
    m.gCritFoodPct = 1;
    m.gCritCropPct = 5;
  }
};

Loaded& Data() {
  static Loaded loaded;
  return loaded;
}

// Exposure-like values over several magnitudes, and a few zeros.
std::vector<float> SampleValues() {
  std::vector<float> values;
  float v = 1.234567e-7f;
  for (int i = 0; i < 256; ++i) {
    values.push_back(i % 16 == 0 ? 0.0f : v);
    v *= 1.37f;
    if (v > 5e5f) v = 3.21e-7f;
  }
  return values;
}

const char* const kPatterns[] = {"###.#######", "###,###.#", "#,###,###", "scientific"};

void BM_FormatPattern(benchmark::State& state) {
  const std::vector<float> values = SampleValues();
  const char* pattern = kPatterns[state.range(0)];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatPattern(values[i++ % values.size()], pattern));
  }
  state.SetLabel(pattern);
}
BENCHMARK(BM_FormatPattern)->DenseRange(0, 3);

void BM_AlignedCell(benchmark::State& state) {
  const std::vector<float> values = SampleValues();
  const char* pattern = kPatterns[state.range(0)];
  std::size_t i = 0;
  for (auto _ : state) {
    if (state.range(0) == 3)
      benchmark::DoNotOptimize(AlignedScientific(values[i++ % values.size()]));
    else
      benchmark::DoNotOptimize(AlignedCell(values[i++ % values.size()], pattern));
  }
  state.SetLabel(pattern);
}
BENCHMARK(BM_AlignedCell)->DenseRange(0, 3);

// The same cells as the commodity tables write them, straight into a buffer.
void BM_WriteAlignedCell(benchmark::State& state) {
  const std::vector<float> values = SampleValues();
  const CellPattern pattern(kPatterns[state.range(0)]);
  char cell[kMaxCellLength];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(WriteAlignedCell(cell, values[i++ % values.size()], pattern));
    benchmark::ClobberMemory();
  }
  state.SetLabel(kPatterns[state.range(0)]);
}
BENCHMARK(BM_WriteAlignedCell)->DenseRange(0, 2);

void BM_ShortNumberText(benchmark::State& state) {
  const std::vector<float> values = SampleValues();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(ShortNumberText(values[i++ % values.size()]));
}
BENCHMARK(BM_ShortNumberText);

// One food-form row of the complete report, cells already formatted.
void BM_ReportWriterRow(benchmark::State& state) {
  const std::string label = "   213-Cooked Frozen Baby food";
  const std::string residue = "  0.125000", factor = " 1.000", exposure = "  0.0001234";
  ReportWriter w;
  std::int64_t rows = 0;
  for (auto _ : state) {
    w.Text(label).Col(31).Text(residue).Col(43).Text(factor).Col(50).Text(factor);
    w.Col(57).Text(exposure).Col(70).Text("      24.7%").End();
    if (++rows % 4096 == 0) w.clear();
  }
  state.SetItemsProcessed(rows);
}
BENCHMARK(BM_ReportWriterRow);

void BM_ReadResidueFile(benchmark::State& state) {
  Loaded& d = Data();
  const auto bytes = static_cast<std::int64_t>(fs::file_size(d.m.gResidueFileName));
  for (auto _ : state) {
    int failed = 0;
    ReadResidueFile(d.m, d.p, failed);
    if (failed != 0) state.SkipWithError("the residue file was refused");
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_ReadResidueFile)->Unit(benchmark::kMillisecond);

void BM_ComputeTotalExposure(benchmark::State& state) {
  Loaded& d = Data();
  for (auto _ : state) {
    int failed = 0;
    ComputeTotalExposure(d.m, d.p, failed);
    if (failed != 0) state.SkipWithError("the consumption records do not match");
  }
}
BENCHMARK(BM_ComputeTotalExposure)->Unit(benchmark::kMillisecond);

const char* const kEndpoints[] = {"R", "N", "NR", "Q"};

// One subgroup's complete (range 1 = 0) or critical (1) report, for the
// first and the second subgroup in turn (a run remembers a subgroup's
// figures while it writes its reports).
void BM_CommodityReport(benchmark::State& state) {
  Loaded& d = Data();
  d.SetEndpoint(kEndpoints[state.range(0)]);
  int failed = 0;
  ComputeTotalExposure(d.m, d.p, failed);
  CommodityRun run(d.m, d.p);
  std::string failedFile;
  if (failed != 0 || !run.files.Open(d.m, failedFile)) std::abort();
  ClassifyCropGroups(d.m);
  const bool critical = state.range(1) != 0;
  std::int64_t bytes = 0;
  int row = 1;
  for (auto _ : state) {
    run.w.clear();
    d.m.gLineCount = 0;
    d.m.gPageNumber = 0;
    row = 3 - row;
    if (critical)
      WriteCriticalReport(run, row);
    else
      WriteCompleteReport(run, row);
    bytes += static_cast<std::int64_t>(run.w.str().size());
  }
  state.SetBytesProcessed(bytes);
  state.SetLabel(std::string(critical ? "critical " : "complete ") + kEndpoints[state.range(0)]);
  d.SetEndpoint("R");
}
BENCHMARK(BM_CommodityReport)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond);

// What-if, as the desktop program's check boxes ask for it: every subgroup's
// figures made again from the run's terms with one crop group left out (a
// different one each time), no file read. The bar is 50 ms.
void BM_WhatIf(benchmark::State& state) {
  Loaded& d = Data();
  ExposureTerms terms;
  int failed = 0;
  ComputeTotalExposure(d.m, d.p, failed, &terms);
  if (failed != 0) std::abort();
  ClassifyCropGroups(d.m);
  std::vector<std::vector<bool>> leftOut;
  for (int k = 1; k <= d.m.gCropGroupCount; ++k) leftOut.push_back(FoodsOfGroup(d.m, k));
  std::size_t i = 0;
  for (auto _ : state) {
    WhatIfFigures figures = WhatIf(d.m, terms, leftOut[i++ % leftOut.size()]);
    benchmark::DoNotOptimize(figures.table.rows.data());
  }
  state.SetLabel(std::to_string(terms.size()) + " entries x " + std::to_string(terms.columns()) +
                 " columns");
}
BENCHMARK(BM_WhatIf)->Unit(benchmark::kMillisecond);

// The whole headroom table by crop group (0), food (1) and food form (2), all
// subgroups, with a target above the most exposed subgroup so that every
// line gets a multiplier.
void BM_Headroom(benchmark::State& state) {
  Loaded& d = Data();
  ExposureTerms terms;
  int failed = 0;
  ComputeTotalExposure(d.m, d.p, failed, &terms);
  if (failed != 0) std::abort();
  float worst = 0;
  for (const ExposureRow& row : BuildExposureRows(d.m).rows)
    worst = std::max(worst, row.percentRef);
  HeadroomRequest request;
  request.by = static_cast<HeadroomBy>(state.range(0));
  request.target = {TargetKind::PercentRef, 2.0 * worst};
  std::size_t lines = 0;
  for (auto _ : state) {
    HeadroomTable table = ComputeHeadroom(d.m, terms, request);
    lines = table.rows.size();
    benchmark::DoNotOptimize(table.rows.data());
  }
  state.SetLabel(std::to_string(lines) + " lines");
}
BENCHMARK(BM_Headroom)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ormid

BENCHMARK_MAIN();
