// A bundled sample installation copied to a temporary folder and started
// up, with a residue file open, the main window's endpoint settings, and
// residue files regenerated from the open residue table.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/mod_ormid.h"
#include "core/run_host.h"
#include "exposure/exposure_terms.h"
#include "results/run_figures.h"
#include "setup/run_request.h"
#include "tests/test_support.h"

namespace ormid::test {

// Keeps the terms of every run it starts.
struct QuietHost : RunHost {
  ExposureTerms* Terms() override { return &terms; }
  ExposureTerms terms;
};

// Keeps the terms and the figures of every run it starts.
struct KeepingHost : QuietHost {
  ResultsSink* Results() override { return &figures; }
  RunFigures figures;
};

struct SampleRun {
  TempDir dir;
  std::unique_ptr<ScopedCurrentDir> cwd;
  FakePlatform platform;
  QuietHost host;
  ModOrmid m;
  WindowSettings settings;
  int files = 0;

  // endpoint: 'R', 'P', 'N' or 'Q' (NOEL 0.5, RfD 0.005, Q* 0.05).
  SampleRun(const std::string& sample, const std::string& residue, char endpoint);

  bool Open(const std::filesystem::path& file);
  // The long-term report of the open residue file.
  std::string LongTermReport();
  // Runs the long-term analysis as it stands; the terms it kept.
  ExposureTerms Terms();
  // Writes the open residue table as a new residue file, each residue passed
  // through `residue` (food f, food-form entry j or 0), the foods `keep`
  // refuses left out; returns its path.
  std::filesystem::path Regenerate(
      const std::function<float(int, int, float)>& residue,
      const std::function<bool(int)>& keep = [](int) { return true; });
  // Regenerate, then open the new file.
  void Reopen(
      const std::function<float(int, int, float)>& residue,
      const std::function<bool(int)>& keep = [](int) { return true; });
};

}  // namespace ormid::test
