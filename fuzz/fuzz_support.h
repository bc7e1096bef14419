// What the fuzz targets share: a workspace of installations in a temporary
// folder, a platform that keeps written reports in memory, and the run of
// everything a loaded installation and residue file feed (the residue file
// listing, the long-term analysis and the commodity analysis), so that a
// value a reader lets through is also followed into its use.
//
// An input's first byte picks the installation (its value modulo kKinds) and
// the variant of the runs (the value divided by kKinds): 0 to 2 run all three
// with one of three endpoint sets, 3 to 5 the long-term analysis alone, and
// any other value nothing (the readers alone, much faster). The rest of the
// input is the file, or files, under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <memory>
#include <nlohmann/json.hpp>

#include "core/mod_ormid.h"
#include "core/platform.h"
#include "history/recorded_run.h"

namespace ormid::fuzz {

// The installations: generated ones of the three survey bases and copies of
// the two bundled samples.
enum Kind { kCsfiiSmall, kNhanesOneDaySmall, kNhanesTwoDaySmall, kCsfiiSample, kNhanesSample };
inline constexpr int kKinds = 5;

// Message boxes are counted and answered with their first button; written
// files are kept in memory; the clock stands still.
class FuzzPlatform : public Platform {
 public:
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override;
  std::string InputBox(const std::string&, const std::string&, const std::string&) override {
    return "";
  }
  DateTime Now() override { return DateTime{2024, 3, 14, 9, 26, 53}; }
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path,
                                               std::string& error) override;
  bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) override;
  void RemoveFile(const std::string& path) override;

  int messages = 0;
  // Finished files by name, and files still being written.
  std::map<std::string, std::string> written;
  std::map<std::string, std::string> pending;
};

struct Input {
  int kind = 0;
  int variant = 0;  // which runs, with which endpoints
  std::string_view file;
};
Input SplitInput(const std::uint8_t* data, std::size_t size);
// The first byte of an input for a kind and variant.
char SelectorByte(int kind, int variant);

// Two files in one input: the first one's length (4 bytes, little-endian,
// cut to what is there), the first, the second.
std::pair<std::string_view, std::string_view> SplitPair(std::string_view both);
std::string JoinPair(const std::string& first, const std::string& second);

// The folder of a kind's installation; the workspace is made on first use
// and removed when the process ends.
std::string KindFolder(int kind);
// The kind's installation as the start-up leaves it (support file names,
// master lists), from its unchanged files.
const ModOrmid& StartedKind(int kind);
// The kind's residue file, relative to its folder.
std::string KindResidueFile(int kind);
// A file of the kind's installation as the workspace was made (name relative
// to its folder).
std::string PristineFile(int kind, const std::string& name);

// Replaces a file of the kind's installation.
void PutFile(int kind, const std::string& name, std::string_view bytes);

// The start-up in the kind's folder, then its residue file and the runs.
// Both leave the current directory as they found it.
void StartAndRun(int kind, int variant);
// The kind's started installation with this residue file text, then the runs.
void ReadResidueAndRun(int kind, int variant, std::string text);

// A finished run on the kind's installation and residue file (RfD 0.005), as
// the seeds of the manifest and run history targets take it: the manifest,
// with the report listed as written, and the figures the history keeps.
struct SeedRun {
  nlohmann::json manifest;
  std::shared_ptr<HistoryRecorder> figures;
};
SeedRun RunForSeeds(int kind, bool commodity);

// A file in the workspace's scratch folder (for inputs the targets write
// out to be read back by name).
std::string ScratchPath(const std::string& name);

// Stops the process (a finding) when a condition that must hold does not.
void Require(bool condition, const char* what);

}  // namespace ormid::fuzz
