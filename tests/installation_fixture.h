// Small generated installations for tests: written by the installation
// writers into a temporary folder and started up like the program does.
#pragma once

#include <filesystem>
#include <string>

#include "core/mod_ormid.h"
#include "tests/test_support.h"
#include "tools/installation_writer.h"
#include "tools/small_installation.h"

namespace ormid::test {

// The small installations (tools/small_installation.h).
using testdata::SmallInstallation;
using testdata::SmallResidueFile;
using testdata::TagFor;

// Writes an installation into dir and runs the start-up there (the current
// directory is left at dir while `cwd` lives).
struct StartedInstallation {
  TempDir dir;
  std::unique_ptr<ScopedCurrentDir> cwd;
  FakePlatform platform;
  ModOrmid m;
  bool started = false;

  explicit StartedInstallation(const testdata::Installation& inst);
  // Writes the residue file under residues/ and opens it; true on success.
  bool Open(const testdata::ResidueFile& file, const std::string& name = "test.R98");
};

}  // namespace ormid::test
