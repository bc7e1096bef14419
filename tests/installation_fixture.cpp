#include "tests/installation_fixture.h"

#include "residue/residue_reader.h"
#include "setup/startup.h"

namespace ormid::test {

namespace td = testdata;

StartedInstallation::StartedInstallation(const td::Installation& inst) {
  td::WriteInstallation(inst, dir.path());
  std::filesystem::create_directories(dir.path() / "residues");
  cwd = std::make_unique<ScopedCurrentDir>(dir.path());
  started = StartUp(m, platform, false);
}

bool StartedInstallation::Open(const td::ResidueFile& file, const std::string& name) {
  auto path = dir.path() / "residues" / name;
  td::WriteResidueFile(file, path);
  platform.openAnswers.push_back(path.string());
  int cancelled = 0;
  OpenResidueFile(m, platform, cancelled);
  return cancelled == 0;
}

}  // namespace ormid::test
