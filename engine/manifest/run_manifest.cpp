#include "manifest/run_manifest.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "core/endpoint_figures.h"
#include "core/float_text.h"
#include "core/json_text.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "core/utf8.h"
#include "manifest/sha256.h"

namespace ormid {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* SurveyName(int base) {
  switch (base) {
    case kSurveyCsfii:
      return "CSFII 1994-96, 1998";
    case kSurveyNhanesOneDay:
      return "NHANES 1999-2006, 1-day";
    case kSurveyNhanesTwoDay:
      return "NHANES 2005-2010, 2-day";
  }
  return "unknown";
}

std::string InWorkingFolder(const ModOrmid& m, const std::string& name) {
  fs::path p(name);
  if (p.is_absolute() || m.gWorkingDir.empty()) return p.lexically_normal().string();
  return (fs::path(m.gWorkingDir) / p).lexically_normal().string();
}

// `path` relative to the working folder when it lies inside it; "" when it
// does not.
std::string InsideFolder(const std::string& path, const std::string& folder) {
  if (folder.empty()) return "";
  const fs::path p = fs::path(path).lexically_normal();
  fs::path f = fs::path(folder).lexically_normal();
  if (f.filename().empty()) f = f.parent_path();  // "/work/wf/" is "/work/wf"
  if (!p.is_absolute() || !f.is_absolute()) return "";
  const fs::path relative = p.lexically_relative(f);
  if (relative.empty() || *relative.begin() == "..") return "";
  return relative.generic_string();
}

// A file name that is not UTF-8 as a text: every byte that is not a
// printable ASCII character, and "%", as %XX.
std::string BytesText(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b > 0x20 && b < 0x7F && b != '%') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

// BytesText's text read back; nullopt when it is not one.
std::optional<std::string> FromBytesText(std::string_view text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = digit(text[i + 1]), low = digit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// Records a path in a file entry: as a text, and where the name is not UTF-8
// (which a JSON text cannot hold) also its bytes as "path_bytes".
void RecordPath(json& entry, const char* member, const std::string& path) {
  const std::string bytes = std::string(member) + "_bytes";
  if (IsValidUtf8(path)) {
    entry[member] = path;
    entry.erase(bytes);
    return;
  }
  entry[member] = ValidUtf8(path);
  entry[bytes] = BytesText(path);
}

// One file entry's path made relative, or marked as outside the folder.
void Travel(json& entry, const std::string& folder) {
  if (!entry.is_object() || !entry.contains("path") || !entry["path"].is_string()) return;
  std::string path = EntryPath(entry);
  if (fs::path(path).is_absolute()) {
    if (const std::string inside = InsideFolder(path, folder); !inside.empty())
      path = inside;
    else
      entry["outside_working_folder"] = true;
  }
  RecordPath(entry, "path", path);
}

json FileEntry(const std::string& role, const std::string& path,
               const InputDigests* known = nullptr) {
  json f = {{"role", role}, {"path", path}};
  std::optional<FileDigest> d;
  if (known)
    if (auto it = known->find(path); it != known->end()) d = it->second;
  if (!d) d = DigestFile(path);
  if (d) {
    f["size"] = d->size;
    f["sha256"] = d->sha256;
  } else {
    f["size"] = nullptr;
    f["sha256"] = nullptr;
  }
  return f;
}

const char* ReportsOfKind(const std::string& kind) {
  if (kind == "A") return "complete";
  if (kind == "B") return "critical";
  return "complete and critical";
}

}  // namespace

std::string IsoDateTime(const DateTime& t, bool utc) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%s", t.year, t.month, t.day,
                t.hour, t.minute, t.second, utc ? "Z" : "");
  return text;
}

std::optional<DateTime> ParseIsoDateTime(const std::string& text, bool& utc) {
  DateTime t;
  char zone[4] = "";
  int n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%3s", &t.year, &t.month, &t.day,
                      &t.hour, &t.minute, &t.second, zone);
  if (n < 6 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
      t.minute > 59 || t.second > 60)
    return std::nullopt;
  utc = std::string(zone) == "Z";
  if (n == 7 && !utc) return std::nullopt;
  return t;
}

std::vector<std::string> ArgumentsFor(const ModOrmid& m, const std::string& command,
                                      const WindowSettings& s) {
  std::vector<std::string> a = {command, m.gResidueFileName};
  if (s.chkMOE1) a.push_back("--noel=" + s.txtMOE1);
  if (s.chkMOE2) a.push_back("--rfd=" + s.txtMOE2);
  if (s.chkMOE3) a.push_back("--qstar=" + s.txtMOE3);
  if (s.chkMOE4) {
    a.push_back("--pad");
    // Only the PAD form's rows can hold a PAD.
    for (int k = 1; k < static_cast<int>(m.gPAD.size()) && k <= m.gPopCount; ++k)
      if (const float pad = m.gPAD[static_cast<std::size_t>(k)]; pad != 0)
        a.push_back("--pad-value=" + std::to_string(k) + "=" + ShortestText(pad));
  }
  if (s.chkSecondAdj) a.push_back("--adj2");
  a.push_back("--comment=" + s.txtComment);
  // A listing has no commodity analysis boxes, whatever the window holds.
  if (command == "listing") return a;
  if (s.chkComplete) a.push_back("--complete");
  if (s.chkCritical) {
    a.push_back("--critical");
    a.push_back("--food-pct=" + s.txtCrit1);
    a.push_back("--crop-pct=" + s.txtCrit2);
  }
  std::string rows;
  for (std::size_t k = 0; k < s.chkStandard.size(); ++k)
    if (s.chkStandard[k] == 1) rows += (rows.empty() ? "" : ",") + std::to_string(k + 1);
  if (!rows.empty() && (s.chkComplete || s.chkCritical)) a.push_back("--subgroups=" + rows);
  return a;
}

namespace {

std::vector<std::pair<const char*, std::string>> InstallationFiles(const ModOrmid& m) {
  return {
      {"support list", InWorkingFolder(m, kSupportListFile)},
      {"setup file", InWorkingFolder(m, kSetupFile)},
      {"food-form and crop group descriptions", InWorkingFolder(m, m.gFoodFormFile)},
      {"master food list", InWorkingFolder(m, m.gFoodFile)},
      {"master food-form list", InWorkingFolder(m, m.gRacFile)},
      {"food consumption", InWorkingFolder(m, m.gConsumptionFile1)},
      {"food-form consumption", InWorkingFolder(m, m.gConsumptionFile2)},
  };
}

}  // namespace

namespace {

std::vector<std::string> InstallationPaths(const ModOrmid& m) {
  std::vector<std::string> paths;
  for (const auto& [role, path] : InstallationFiles(m)) paths.push_back(path);
  return paths;
}

}  // namespace

std::vector<std::string> InstallationInputs(const ModOrmid& m) {
  return InstallationPaths(m);
}

InputDigests InstallationDigests(const ModOrmid& m) {
  return DigestInputs(InstallationPaths(m));
}

std::vector<std::string> ManifestInputs(const ModOrmid& m) {
  std::vector<std::string> paths = InstallationPaths(m);
  paths.push_back(InWorkingFolder(m, m.gResidueFileName));
  return paths;
}

InputDigests DigestInputs(const std::vector<std::string>& paths) {
  InputDigests digests;
  for (const std::string& path : paths)
    if (auto d = DigestFile(path)) digests[path] = *d;
  return digests;
}

namespace {

// What every manifest begins with: its version, the program, the run's
// command and date, and the installation with its files.
json ManifestHead(const ModOrmid& m, const std::string& command, const DateTime& date, bool utc,
                  const InputDigests* known = nullptr) {
  json files = json::array();
  for (const auto& [role, path] : InstallationFiles(m))
    files.push_back(FileEntry(role, path, known));
  return {
      {"manifest_version", kManifestVersion},
      {"program",
       {{"name", "Ormid"}, {"version", m.gProgramVersion}, {"revision", SourceRevision()}}},
      {"run", {{"command", command}, {"date", IsoDateTime(date, utc)}}},
      {"installation",
       {{"working_folder", m.gWorkingDir},
        {"survey_base", m.gSurveyBase},
        {"survey", SurveyName(m.gSurveyBase)},
        {"data_version", m.gDataVersion},
        {"files", files}}},
  };
}

}  // namespace

json BuildManifest(const ModOrmid& m, const ManifestRun& run, const InputDigests* known) {
  json residue = FileEntry("residue file", InWorkingFolder(m, m.gResidueFileName), known);
  residue.erase("role");
  residue["chemical"] = m.gChemicalName;
  residue["date"] = m.gResidueFileDate;
  residue["format_tag"] = m.gResidueFormatTag;

  json pads = json::array();
  for (int k = 1; k <= m.gPopCount; ++k)
    if (PadApplies(m, k))
      pads.push_back({{"row", k},
                      {"subgroup", m.gPopNames2[static_cast<std::size_t>(k)]},
                      {"pad_mg_per_kg_bw_day", JsonSingle(m.gPAD[static_cast<std::size_t>(k)])}});
  json subgroups = json::array();
  if (run.command == "commodity")
    for (int k = 1; k <= m.gPopCount; ++k)
      if (const std::string& kind = m.gCommodityKind[static_cast<std::size_t>(k)]; !kind.empty())
        subgroups.push_back({{"row", k},
                             {"subgroup", m.gPopNames2[static_cast<std::size_t>(k)]},
                             {"reports", ReportsOfKind(kind)}});

  // A value the run's endpoint does not use is recorded as none (null), as
  // the exports leave a figure the endpoint does not report empty.
  auto used = [](bool uses, float v) { return uses ? JsonSingle(v) : json(nullptr); };
  json settings = {
      {"endpoint", EndpointCode(m.gEndpoint)},
      {"noel_mg_per_kg_bw_day", used(UsesNoel(m.gEndpoint), m.gNOEL)},
      {"rfd_mg_per_kg_bw_day", used(UsesReferenceDose(m.gEndpoint), m.gRefDose)},
      {"qstar_per_mg_per_kg_bw_day", used(m.gEndpoint == Endpoint::QStar, m.gQStar)},
      {"pad", pads},
      {"second_adjustment_factor", m.gUseAdj2 != 0},
      {"comment", m.gRunComment},
  };
  if (run.command == "commodity") {
    settings["subgroups"] = subgroups;
    bool critical = false;
    for (const std::string& kind : m.gCommodityKind)
      critical = critical || kind == "B" || kind == "C";
    settings["critical_food_percent"] = used(critical, m.gCritFoodPct);
    settings["critical_crop_group_percent"] = used(critical, m.gCritCropPct);
  }
  settings["arguments"] = ArgumentsFor(m, run.command, run.settings);
  if (!run.excluded.empty()) {
    settings["excluded"] = run.excluded;
    std::string codes;
    for (const std::string& code : run.excluded) codes += (codes.empty() ? "" : ",") + code;
    settings["arguments"].push_back("--exclude=" + codes);
  }
  if (run.command == "longterm" && run.lineCount != 0)
    settings["arguments"].push_back("--line-count=" + std::to_string(run.lineCount));

  json manifest = ManifestHead(m, run.command, run.date, run.utc, known);
  manifest["residue_file"] = residue;
  manifest["settings"] = settings;
  manifest["outputs"] = json::array();
  RelativeToWorkingFolder(manifest);
  return manifest;
}

json BuildCumulativeManifest(const ModOrmid& m, const DateTime& date, bool utc,
                             const std::string& groupFile,
                             const std::vector<std::pair<std::string, std::string>>& residueFiles,
                             json settings) {
  json group = FileEntry("assessment group file", groupFile);
  group.erase("role");
  json residues = json::array();
  for (const auto& [chemical, path] : residueFiles) {
    json r = FileEntry("residue file", path);
    r.erase("role");
    r["chemical"] = chemical;
    residues.push_back(std::move(r));
  }
  json manifest = ManifestHead(m, "cumulative", date, utc);
  manifest["group_file"] = std::move(group);
  manifest["residue_files"] = std::move(residues);
  manifest["settings"] = std::move(settings);
  manifest["outputs"] = json::array();
  RelativeToWorkingFolder(manifest);
  return manifest;
}

json BuildResidueBuildManifest(const ModOrmid& m, const DateTime& date, bool utc,
                               const std::string& samplesFile, const std::string& rulesFile,
                               json settings) {
  json manifest = ManifestHead(m, "residue-build", date, utc);
  for (const auto& [member, path] :
       {std::pair{"samples_file", samplesFile}, {"rules_file", rulesFile}}) {
    json f = FileEntry("", path);
    f.erase("role");
    manifest[member] = std::move(f);
  }
  manifest["settings"] = std::move(settings);
  manifest["outputs"] = json::array();
  RelativeToWorkingFolder(manifest);
  // The rules file of the arguments is written as its entry is.
  json& recorded = manifest["settings"];
  if (recorded.contains("arguments") && recorded["arguments"].is_array())
    for (json& a : recorded["arguments"])
      if (a.is_string() && a.get<std::string>().rfind("--rules=", 0) == 0)
        a = "--rules=" + manifest["rules_file"]["path"].get<std::string>();
  return manifest;
}

json BuildAggregateManifest(const ModOrmid& m, const DateTime& date, bool utc,
                            const InputDigests* known, const std::string& toxFile,
                            const std::string& residentialFile, json settings) {
  json residue = FileEntry("residue file", InWorkingFolder(m, m.gResidueFileName), known);
  residue.erase("role");
  residue["chemical"] = m.gChemicalName;
  residue["date"] = m.gResidueFileDate;
  residue["format_tag"] = m.gResidueFormatTag;
  json manifest = ManifestHead(m, "aggregate", date, utc, known);
  manifest["residue_file"] = std::move(residue);
  json tox = FileEntry("toxicology file", toxFile);
  tox.erase("role");
  manifest["toxicology_file"] = std::move(tox);
  if (!residentialFile.empty()) {
    json res = FileEntry("residential file", residentialFile);
    res.erase("role");
    manifest["residential_file"] = std::move(res);
  }
  manifest["settings"] = std::move(settings);
  manifest["outputs"] = json::array();
  RelativeToWorkingFolder(manifest);
  return manifest;
}

void RelativeToWorkingFolder(json& manifest) {
  if (!manifest.is_object() || !manifest.contains("installation") ||
      !manifest["installation"].is_object() ||
      !manifest["installation"].value("working_folder", json()).is_string())
    return;
  const std::string folder = RecordedWorkingFolder(manifest);
  if (!IsValidUtf8(folder)) manifest["installation"]["working_folder_bytes"] = BytesText(folder);
  if (manifest["installation"].contains("files") && manifest["installation"]["files"].is_array())
    for (json& f : manifest["installation"]["files"]) Travel(f, folder);
  if (manifest.contains("residue_file")) Travel(manifest["residue_file"], folder);
  if (manifest.contains("group_file")) Travel(manifest["group_file"], folder);
  for (const char* key : kSingleInputFiles)
    if (manifest.contains(key)) Travel(manifest[key], folder);
  if (manifest.contains("residue_files") && manifest["residue_files"].is_array())
    for (json& f : manifest["residue_files"]) Travel(f, folder);
  if (manifest.contains("outputs") && manifest["outputs"].is_array())
    for (json& o : manifest["outputs"]) Travel(o, folder);
  // The residue file the arguments name, as the run would be started from
  // the working folder.
  if (manifest.contains("settings") && manifest["settings"].is_object()) {
    json& args = manifest["settings"]["arguments"];
    if (args.is_array() && args.size() > 1 && args[1].is_string()) {
      if (const std::string inside = InsideFolder(args[1].get<std::string>(), folder);
          !inside.empty())
        args[1] = inside;
      // As its file entry's text (rerun runs the file the entry names).
      args[1] = ValidUtf8(args[1].get<std::string>());
    }
    // An aggregate run's other input files, as their entries name them.
    if (args.is_array())
      for (json& a : args) {
        if (!a.is_string()) continue;
        const std::string text = a.get<std::string>();
        for (const char* option : {"--tox=", "--residential="}) {
          const std::string o(option);
          if (text.rfind(o, 0) != 0) continue;
          std::string path = text.substr(o.size());
          if (const std::string inside = InsideFolder(path, folder); !inside.empty()) path = inside;
          a = o + ValidUtf8(path);
        }
      }
  }
}

std::string ResolveManifestPath(const std::string& recorded, const std::string& workingFolder) {
  const fs::path p(recorded);
  if (p.is_absolute() || workingFolder.empty()) return recorded;
  return (fs::path(workingFolder) / p).lexically_normal().string();
}

std::string EntryPath(const json& entry) {
  if (!entry.is_object()) return "";
  if (auto it = entry.find("path_bytes"); it != entry.end() && it->is_string())
    if (auto bytes = FromBytesText(it->get<std::string>())) return *bytes;
  auto it = entry.find("path");
  return it != entry.end() && it->is_string() ? it->get<std::string>() : "";
}

std::string RecordedWorkingFolder(const json& manifest) {
  auto installation = manifest.find("installation");
  if (installation == manifest.end() || !installation->is_object()) return "";
  if (auto it = installation->find("working_folder_bytes");
      it != installation->end() && it->is_string())
    if (auto bytes = FromBytesText(it->get<std::string>())) return *bytes;
  auto it = installation->find("working_folder");
  return it != installation->end() && it->is_string() ? it->get<std::string>() : "";
}

namespace {

// The folder without a separator at its end ("/w/" is "/w").
fs::path FolderPath(const fs::path& folder) {
  fs::path f = folder.lexically_normal();
  return f.has_filename() || f == f.root_path() ? f : f.parent_path();
}

// Whether two paths name one folder: the same text, or the same folder on
// the disk (reached through a link).
bool SameFolder(const fs::path& a, const fs::path& b) {
  if (FolderPath(a) == FolderPath(b)) return true;
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::optional<std::string> ManifestWorkingFolder(const json& manifest,
                                                 const std::string& manifestPath,
                                                 const std::string& given, std::string& problem) {
  if (!given.empty()) return given;
  const std::string recorded = RecordedWorkingFolder(manifest);
  auto it = manifest.find("working_folder_from_manifest");
  if (it == manifest.end() || !it->is_string()) return recorded;
  std::error_code ec;
  const fs::path here = FolderPath(fs::absolute(manifestPath, ec).parent_path());
  const fs::path way(it->get<std::string>());
  const std::string folder = FolderPath(here / way).string();
  // A way up from the manifest's folder (a saved report's in residues/ is
  // ".."): the folder travels with its manifests. Any other way may lead
  // anywhere; it is taken only to the folder the run was made in.
  bool up = !way.is_absolute();
  for (const fs::path& step : way) up = up && (step == ".." || step == "." || step.empty());
  if (up || SameFolder(folder, recorded)) return folder;
  problem = "records the way " + it->get<std::string>() +
            " from its folder to its working folder, which leads to " + folder +
            ", neither the manifest's own folder nor one above it, nor the working folder it "
            "records (" +
            recorded + "); name the working folder with -C";
  return std::nullopt;
}

bool AddOutput(json& manifest, const std::string& role, const std::string& path,
               const OutputDigests* known) {
  const std::string full = DigestKey(path);
  json entry;
  if (auto d = known ? known->Of(full) : std::nullopt) {
    entry = {{"role", role}, {"path", full}, {"size", d->size}, {"sha256", d->sha256}};
  } else {
    entry = FileEntry(role, full);
    if (entry["sha256"].is_null()) return false;
  }
  if (manifest.contains("installation") && manifest["installation"].is_object())
    Travel(entry, manifest["installation"].value("working_folder", std::string()));
  manifest["outputs"].push_back(std::move(entry));
  return true;
}

std::string ManifestPathFor(const std::string& file) {
  return file + ".manifest.json";
}

bool WriteManifest(Platform& p, const std::string& path, const json& manifest, std::string& error) {
  // Each copy records the way from its own folder to the working folder,
  // so that the folder can be copied or moved whole.
  json copy = manifest;
  if (copy.contains("installation") && copy["installation"].is_object() &&
      copy["installation"].value("working_folder", json()).is_string()) {
    std::error_code ec;
    const fs::path here = fs::absolute(path, ec).lexically_normal().parent_path();
    const fs::path way = fs::path(copy["installation"]["working_folder"].get<std::string>())
                             .lexically_relative(here);
    if (!ec && !way.empty()) copy["working_folder_from_manifest"] = way.generic_string();
  }
  return p.WriteFile(path, JsonText(copy, 2) + "\n", FileKind::SavedCopy, error);
}

namespace {

// Manifests are a few levels deep; a document nested deeper is refused
// before it is parsed, so that no reader recurses without bound.
constexpr int kManifestDepth = 32;
// A manifest lists a run's inputs and outputs: a few kilobytes.
constexpr std::uintmax_t kManifestBytes = 16u << 20;

// "MEMBER is missing" or "MEMBER is not TYPE" for the first member that is
// not as a manifest has it; "" when every member checked is.
std::string MemberProblem(const json& m) {
  auto object = [](const json& j, const char* key, const std::string& name,
                   std::string& problem) -> const json* {
    auto it = j.find(key);
    if (it == j.end()) {
      problem = name + " is missing";
      return nullptr;
    }
    if (!it->is_object()) {
      problem = name + " is not an object";
      return nullptr;
    }
    return &*it;
  };
  auto text = [](const json& j, const char* key, const std::string& name) -> std::string {
    auto it = j.find(key);
    if (it == j.end()) return name + " is missing";
    if (!it->is_string()) return name + " is not a text";
    return "";
  };
  // A file's name: a text that is not empty and holds no NUL (the system
  // would read a shorter name), with its bytes as BytesText gives them when
  // it is not UTF-8.
  auto name = [&](const json& j, const char* key, const std::string& shown) -> std::string {
    if (auto p = text(j, key, shown); !p.empty()) return p;
    const std::string& path = j[key].get_ref<const std::string&>();
    if (path.empty()) return shown + " is empty";
    auto it = j.find(std::string(key) + "_bytes");
    if (it == j.end()) return path.find('\0') == std::string::npos ? "" : shown + " holds a NUL";
    const std::optional<std::string> bytes =
        it->is_string() ? FromBytesText(it->get<std::string>()) : std::nullopt;
    if (!bytes || bytes->empty() || bytes->find('\0') != std::string::npos)
      return shown + "_bytes is not the bytes of a file name";
    if (ValidUtf8(*bytes) != path) return shown + "_bytes is not the bytes of " + shown;
    return "";
  };
  // A file: an object with a path, a size in bytes and a SHA-256 digest
  // (both null for an input that could not be read when the run was made).
  auto file = [&](const json& f, const std::string& shown, bool output) -> std::string {
    if (!f.is_object()) return shown + " is not an object";
    if (auto p = name(f, "path", shown + ".path"); !p.empty()) return p;
    if (output)
      if (auto p = text(f, "role", shown + ".role"); !p.empty()) return p;
    const auto digest = f.find("sha256"), size = f.find("size");
    if (!output && digest != f.end() && digest->is_null())
      return size == f.end() || size->is_null() ? "" : shown + ".size is given for a file not read";
    if (auto p = text(f, "sha256", shown + ".sha256"); !p.empty()) return p;
    if (const std::string& d = digest->get_ref<const std::string&>();
        d.size() != 64 || d.find_first_not_of("0123456789abcdef") != std::string::npos)
      return shown + ".sha256 is not a SHA-256 digest";
    if (size == f.end()) return shown + ".size is missing";
    // A whole number from 0 to 2^64 - 1: a negative one, a fraction or one
    // beyond that is read as another kind of number.
    if (!size->is_number_unsigned()) return shown + ".size is not a number of bytes";
    return "";
  };
  auto files = [&](const json& list, const std::string& shown, bool output) -> std::string {
    if (!list.is_array()) return shown + " is not a list";
    for (std::size_t i = 0; i < list.size(); ++i)
      if (auto p = file(list[i], shown + "[" + std::to_string(i) + "]", output); !p.empty())
        return p;
    return "";
  };
  std::string problem;
  const json* run = object(m, "run", "run", problem);
  if (!run) return problem;
  for (const char* key : {"command", "date"})
    if (auto p = text(*run, key, std::string("run.") + key); !p.empty()) return p;
  bool utc = false;
  if (!ParseIsoDateTime((*run)["date"].get<std::string>(), utc))
    return "run.date is not a date and time";
  const json* installation = object(m, "installation", "installation", problem);
  if (!installation) return problem;
  if (auto p = text(*installation, "working_folder", "installation.working_folder"); !p.empty())
    return p;
  if (installation->contains("working_folder_bytes"))
    if (auto p = name(*installation, "working_folder", "installation.working_folder"); !p.empty())
      return p;
  if (m.contains("working_folder_from_manifest") && !m["working_folder_from_manifest"].is_string())
    return "working_folder_from_manifest is not a text";
  if (!installation->contains("files")) return "installation.files is missing";
  if (auto p = files((*installation)["files"], "installation.files", false); !p.empty()) return p;
  if ((*installation)["files"].empty()) return "installation.files lists no file";
  // A cumulative run read a group file and a residue file per chemical; a
  // residue build its samples and rules files; any other run one residue
  // file.
  if ((*run)["command"] == "residue-build") {
    for (const char* member : {"samples_file", "rules_file"}) {
      if (!m.contains(member)) return std::string(member) + " is missing";
      if (auto p = file(m[member], member, false); !p.empty()) return p;
    }
  } else if ((*run)["command"] == "cumulative") {
    if (!m.contains("group_file")) return "group_file is missing";
    if (auto p = file(m["group_file"], "group_file", false); !p.empty()) return p;
    if (!m.contains("residue_files")) return "residue_files is missing";
    if (auto p = files(m["residue_files"], "residue_files", false); !p.empty()) return p;
    if (m["residue_files"].empty()) return "residue_files lists no residue file";
  } else {
    if (!m.contains("residue_file")) return "residue_file is missing";
    if (auto p = file(m["residue_file"], "residue_file", false); !p.empty()) return p;
  }
  // An aggregate run also read its toxicology file and, where it had one,
  // its residential file.
  if ((*run)["command"] == "aggregate" && !m.contains("toxicology_file"))
    return "toxicology_file is missing";
  for (const char* key : kSingleInputFiles)
    if (m.contains(key))
      if (auto p = file(m[key], key, false); !p.empty()) return p;
  const json* settings = object(m, "settings", "settings", problem);
  if (!settings) return problem;
  if (auto it = settings->find("arguments"); it != settings->end()) {
    if (!it->is_array()) return "settings.arguments is not a list";
    for (const json& a : *it)
      if (!a.is_string()) return "settings.arguments holds a value that is not a text";
  }
  if (!m.contains("outputs")) return "outputs is missing";
  return files(m["outputs"], "outputs", true);
}

}  // namespace

bool NestedTooDeep(std::string_view text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > kManifestDepth) return true;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return false;
}

std::optional<json> ReadManifest(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    error = fs::exists(path, ec) ? "is not a file" : "cannot be read";
    return std::nullopt;
  }
  // Too large a file is not read at all.
  if (fs::file_size(path, ec) > kManifestBytes) {
    error = "is not a run manifest: it is larger than a manifest can be";
    return std::nullopt;
  }
  auto bytes = ReadWholeFile(path);
  if (!bytes) {
    error = "cannot be read";
    return std::nullopt;
  }
  return ParseManifest(*bytes, error);
}

std::optional<json> ParseManifest(std::string_view text, std::string& error) {
  if (text.size() > kManifestBytes) {
    error = "is not a run manifest: it is larger than a manifest can be";
    return std::nullopt;
  }
  if (NestedTooDeep(text)) {
    error = "is not a run manifest: it is nested deeper than a manifest is";
    return std::nullopt;
  }
  json j = json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object() || !j.contains("manifest_version")) {
    error = "is not a run manifest";
    return std::nullopt;
  }
  if (!j["manifest_version"].is_number_integer() || j["manifest_version"].get<long long>() < 1 ||
      j["manifest_version"].get<long long>() > kManifestVersion) {
    error = j["manifest_version"].is_number_integer() &&
                    j["manifest_version"].get<long long>() > kManifestVersion
                ? "was written by a newer program (manifest version " +
                      j["manifest_version"].dump() + ")"
                : "is not a run manifest: manifest_version is not a version number";
    return std::nullopt;
  }
  if (const std::string problem = MemberProblem(j); !problem.empty()) {
    error = "is not a run manifest: " + problem;
    return std::nullopt;
  }
  return j;
}

std::vector<InputCheck> CheckInputs(const json& manifest, const std::string& workingFolder) {
  std::vector<InputCheck> checks;
  auto check = [&](const json& entry) {
    if (!entry.is_object() || !entry.contains("path") || !entry["path"].is_string()) return;
    // A device or a pipe named as an input is not the recorded file: it is
    // never read (it would not end).
    const std::string path = ResolveManifestPath(EntryPath(entry), workingFolder);
    auto d = DigestFile(path);
    InputState state = !d                                                 ? InputState::Missing
                       : entry.value("sha256", json()) == json(d->sha256) ? InputState::Unchanged
                                                                          : InputState::Changed;
    checks.push_back({path, state});
  };
  if (auto it = manifest.find("installation");
      it != manifest.end() && it->is_object() && it->contains("files") && (*it)["files"].is_array())
    for (const json& f : (*it)["files"]) check(f);
  if (auto it = manifest.find("residue_file"); it != manifest.end()) check(*it);
  if (auto it = manifest.find("group_file"); it != manifest.end()) check(*it);
  for (const char* key : kSingleInputFiles)
    if (auto it = manifest.find(key); it != manifest.end()) check(*it);
  if (auto it = manifest.find("residue_files"); it != manifest.end() && it->is_array())
    for (const json& f : *it) check(f);
  return checks;
}

}  // namespace ormid
