// The run manifest: what a run read (every installation file and the
// residue file, with their SHA-256), how it was set up (the command and
// every setting), and what it wrote. Saved reports get one beside them
// ("NAME.manifest.json") and exports carry one, so that a result can be
// shown to come from given inputs and be run again.
#pragma once

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/window_settings.h"
#include "manifest/output_digests.h"

namespace ormid {

struct ModOrmid;

// 2: paths inside the working folder relative to it; 1: every path as the
// run saw it (still read).
inline constexpr int kManifestVersion = 2;

// A run as the manifest records it.
struct ManifestRun {
  std::string command;  // "longterm" or "commodity"
  WindowSettings settings;
  DateTime date;
  bool utc = false;  // the clock came from SOURCE_DATE_EPOCH
  // Crop group and commodity codes whose residues the run left out
  // (longterm --exclude); the settings are those before the exclusion.
  std::vector<std::string> excluded = {};
  // The report line count a long-term run started from: 0 in a fresh
  // program, else what the session's earlier report left (its header then
  // has no leading blank line).
  int lineCount = 0;
};

// The source revision the program was built from ("unknown" outside a
// checkout).
std::string SourceRevision();

// "2024-03-05T09:07:01Z" (UTC) or "2024-03-05T09:07:01" (local time).
std::string IsoDateTime(const DateTime& t, bool utc);
// Reads IsoDateTime's text back; nullopt when it is not one.
std::optional<DateTime> ParseIsoDateTime(const std::string& text, bool& utc);

// Digests of input files taken once and used by many manifests (a batch
// reads the installation once for all its runs), by full path.
using InputDigests = std::map<std::string, FileDigest>;
// The digests of the started installation's files.
InputDigests InstallationDigests(const ModOrmid& m);
// The files a run's manifest lists as read: the installation's and the
// opened residue file, by full path.
std::vector<std::string> ManifestInputs(const ModOrmid& m);
// The installation's files alone.
std::vector<std::string> InstallationInputs(const ModOrmid& m);
// The digests of the named files (those that can be read), taken on any
// thread: a run has them taken beside it, before its manifest needs them.
InputDigests DigestInputs(const std::vector<std::string>& paths);

// The manifest of a run whose parameters are set (after the run request),
// without outputs. Inputs found in `known` are not read again.
nlohmann::json BuildManifest(const ModOrmid& m, const ManifestRun& run,
                             const InputDigests* known = nullptr);

// The manifest of a cumulative run, without outputs: the installation's
// files, the assessment group file and each chemical's residue file
// (chemical, path), with their digests, and the settings given.
nlohmann::json BuildCumulativeManifest(
    const ModOrmid& m, const DateTime& date, bool utc, const std::string& groupFile,
    const std::vector<std::pair<std::string, std::string>>& residueFiles, nlohmann::json settings);

// The manifest of a residue build, without outputs: the installation's
// files, the samples and the rules files with their digests, and the
// settings given. The rules file of the arguments ("--rules=PATH") is
// written as its entry is: relative to the working folder when inside it.
nlohmann::json BuildResidueBuildManifest(const ModOrmid& m, const DateTime& date, bool utc,
                                         const std::string& samplesFile,
                                         const std::string& rulesFile, nlohmann::json settings);
// The manifest of an aggregate run, without outputs: the installation's
// files, the residue file, the toxicology file and the residential file
// ("" for none), with their digests, and the settings given.
nlohmann::json BuildAggregateManifest(const ModOrmid& m, const DateTime& date, bool utc,
                                      const InputDigests* known, const std::string& toxFile,
                                      const std::string& residentialFile, nlohmann::json settings);
// The members of a manifest that each name one input file of the run
// beside the installation's files, its residue file and its group file: a
// residue build's samples and rules, an aggregate run's toxicology and
// residential files.
inline constexpr const char* kSingleInputFiles[] = {"samples_file", "rules_file", "toxicology_file",
                                                    "residential_file"};

// The command-line arguments that repeat the run's window settings:
// the command, the residue file, then the options.
std::vector<std::string> ArgumentsFor(const ModOrmid& m, const std::string& command,
                                      const WindowSettings& s);

// Adds a written file to the manifest's outputs, with its digest from
// `known` when it was taken as the file was written. False when it cannot be
// read.
bool AddOutput(nlohmann::json& manifest, const std::string& role, const std::string& path,
               const OutputDigests* known = nullptr);

// "FILE.manifest.json" for a report or export FILE.
std::string ManifestPathFor(const std::string& file);

// Writes the manifest as a file of its own, replacing an old one only whole.
bool WriteManifest(Platform& p, const std::string& path, const nlohmann::json& manifest,
                   std::string& error);

// Reads a manifest file; nullopt with error when it is not one.
std::optional<nlohmann::json> ReadManifest(const std::string& path, std::string& error);

// Reads a manifest's text within the bounds of a manifest file (its size,
// how deep it is nested, its members), wherever the text was kept: a file's
// or one the run history holds. nullopt with error ("is not a run
// manifest: it is nested deeper than a manifest is") when it is not one.
std::optional<nlohmann::json> ParseManifest(std::string_view text, std::string& error);
// Whether a JSON text is nested deeper than a manifest may be: such a text
// is never parsed (its parse would go as deep as the text does).
bool NestedTooDeep(std::string_view text);

// One input of a manifest checked against the disk.
enum class InputState { Unchanged, Changed, Missing };
struct InputCheck {
  std::string path;
  InputState state;
};
// Every input the manifest names (installation files and residue file),
// re-hashed.
// The manifest's inputs checked against the disk, their paths taken in
// `workingFolder` (ManifestWorkingFolder) where they are relative.
std::vector<InputCheck> CheckInputs(const nlohmann::json& manifest,
                                    const std::string& workingFolder);

// The folder a manifest's relative paths are taken in: `given` (-C) when
// there is one; else the working folder found from where the manifest file
// lies (it records the way from its own folder to the working folder), so
// that a project folder copied or moved whole checks its own files; else,
// for a manifest of the first version, the working folder it records.
// A way that does not only climb from the manifest's folder (".." steps) is
// taken only when it leads to the working folder the manifest records:
// nullopt, with the problem, otherwise.
std::optional<std::string> ManifestWorkingFolder(const nlohmann::json& manifest,
                                                 const std::string& manifestPath,
                                                 const std::string& given, std::string& problem);
// A file entry's path as the disk names it: its "path", or where the name is
// not UTF-8 (which a JSON text cannot hold; "path" then shows it with U+FFFD)
// the bytes its "path_bytes" gives, each byte that is not a printable ASCII
// character, and "%", written %XX.
std::string EntryPath(const nlohmann::json& entry);
// The working folder the manifest records (installation.working_folder, or
// the bytes of installation.working_folder_bytes).
std::string RecordedWorkingFolder(const nlohmann::json& manifest);
// A path of a manifest as a path on the disk: a relative one in the working
// folder, an absolute one as it is.
std::string ResolveManifestPath(const std::string& recorded, const std::string& workingFolder);
// Writes the paths of files inside the manifest's working folder relative to
// it, and marks the others ("outside_working_folder"). Done by BuildManifest
// and AddOutput; for a manifest put together otherwise.
void RelativeToWorkingFolder(nlohmann::json& manifest);

}  // namespace ormid
