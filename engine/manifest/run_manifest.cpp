#include "manifest/run_manifest.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "manifest/sha256.h"

#ifndef ORMID_SOURCE_REVISION
#define ORMID_SOURCE_REVISION "unknown"
#endif

namespace ormid {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// A single-precision setting as the nearest double of its shortest text, so
// that the manifest reads "0.0005", not the float's binary expansion.
json Number(float v) {
  if (!std::isfinite(v)) return nullptr;
  return std::stod(ShortestText(v));
}

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

// One file entry's path made relative, or marked as outside the folder.
void Travel(json& entry, const std::string& folder) {
  if (!entry.is_object() || !entry.contains("path") || !entry["path"].is_string()) return;
  const std::string path = entry["path"].get<std::string>();
  if (!fs::path(path).is_absolute()) return;
  if (const std::string inside = InsideFolder(path, folder); !inside.empty())
    entry["path"] = inside;
  else
    entry["outside_working_folder"] = true;
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

std::string SourceRevision() {
  return ORMID_SOURCE_REVISION;
}

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
  if (UsesPad(m.gEndpoint))
    for (int k = 1; k <= m.gPopCount; ++k)
      if (const float pad = m.gPAD[static_cast<std::size_t>(k)]; pad > 0)
        pads.push_back({{"row", k},
                        {"subgroup", m.gPopNames2[static_cast<std::size_t>(k)]},
                        {"pad_mg_per_kg_bw_day", Number(pad)}});
  json subgroups = json::array();
  if (run.command == "commodity")
    for (int k = 1; k <= m.gPopCount; ++k)
      if (const std::string& kind = m.gCommodityKind[static_cast<std::size_t>(k)]; !kind.empty())
        subgroups.push_back({{"row", k},
                             {"subgroup", m.gPopNames2[static_cast<std::size_t>(k)]},
                             {"reports", ReportsOfKind(kind)}});

  // A value the run's endpoint does not use is recorded as none (null), as
  // the exports leave a figure the endpoint does not report empty.
  auto used = [](bool uses, float v) { return uses ? Number(v) : json(nullptr); };
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

void RelativeToWorkingFolder(json& manifest) {
  if (!manifest.is_object() || !manifest.contains("installation") ||
      !manifest["installation"].is_object() ||
      !manifest["installation"].value("working_folder", json()).is_string())
    return;
  const std::string folder = manifest["installation"]["working_folder"].get<std::string>();
  if (manifest["installation"].contains("files") && manifest["installation"]["files"].is_array())
    for (json& f : manifest["installation"]["files"]) Travel(f, folder);
  if (manifest.contains("residue_file")) Travel(manifest["residue_file"], folder);
  if (manifest.contains("group_file")) Travel(manifest["group_file"], folder);
  if (manifest.contains("residue_files") && manifest["residue_files"].is_array())
    for (json& f : manifest["residue_files"]) Travel(f, folder);
  if (manifest.contains("outputs") && manifest["outputs"].is_array())
    for (json& o : manifest["outputs"]) Travel(o, folder);
  // The residue file the arguments name, as the run would be started from
  // the working folder.
  if (manifest.contains("settings") && manifest["settings"].is_object()) {
    json& args = manifest["settings"]["arguments"];
    if (args.is_array() && args.size() > 1 && args[1].is_string())
      if (const std::string inside = InsideFolder(args[1].get<std::string>(), folder);
          !inside.empty())
        args[1] = inside;
  }
}

std::string ResolveManifestPath(const std::string& recorded, const std::string& workingFolder) {
  const fs::path p(recorded);
  if (p.is_absolute() || workingFolder.empty()) return recorded;
  return (fs::path(workingFolder) / p).lexically_normal().string();
}

std::string ManifestWorkingFolder(const json& manifest, const std::string& manifestPath,
                                  const std::string& given) {
  if (!given.empty()) return given;
  if (auto it = manifest.find("working_folder_from_manifest");
      it != manifest.end() && it->is_string()) {
    std::error_code ec;
    const fs::path here = fs::absolute(manifestPath, ec).parent_path();
    return (here / it->get<std::string>()).lexically_normal().string();
  }
  return manifest["installation"]["working_folder"].get<std::string>();
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
  return p.WriteFile(path, copy.dump(2, ' ', false, json::error_handler_t::replace) + "\n",
                     FileKind::SavedCopy, error);
}

namespace {

// Manifests are a few levels deep; a document nested deeper is refused
// before it is parsed, so that no reader recurses without bound.
constexpr int kManifestDepth = 32;
// A manifest lists a run's inputs and outputs: a few kilobytes.
constexpr std::uintmax_t kManifestBytes = 16u << 20;

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
  // A file: an object with a path and a SHA-256 text (null for an input
  // that could not be read when the run was made).
  auto file = [&](const json& f, const std::string& name, bool output) -> std::string {
    if (!f.is_object()) return name + " is not an object";
    if (auto p = text(f, "path", name + ".path"); !p.empty()) return p;
    if (!output && f.contains("sha256") && f["sha256"].is_null()) return "";
    if (auto p = text(f, "sha256", name + ".sha256"); !p.empty()) return p;
    return output ? text(f, "role", name + ".role") : "";
  };
  auto files = [&](const json& list, const std::string& name, bool output) -> std::string {
    if (!list.is_array()) return name + " is not a list";
    for (std::size_t i = 0; i < list.size(); ++i)
      if (auto p = file(list[i], name + "[" + std::to_string(i) + "]", output); !p.empty())
        return p;
    return "";
  };
  std::string problem;
  const json* run = object(m, "run", "run", problem);
  if (!run) return problem;
  for (const char* key : {"command", "date"})
    if (auto p = text(*run, key, std::string("run.") + key); !p.empty()) return p;
  const json* installation = object(m, "installation", "installation", problem);
  if (!installation) return problem;
  if (auto p = text(*installation, "working_folder", "installation.working_folder"); !p.empty())
    return p;
  if (!installation->contains("files")) return "installation.files is missing";
  if (auto p = files((*installation)["files"], "installation.files", false); !p.empty()) return p;
  // A cumulative run read a group file and a residue file per chemical; any
  // other run one residue file.
  if ((*run)["command"] == "cumulative") {
    if (!m.contains("group_file")) return "group_file is missing";
    if (auto p = file(m["group_file"], "group_file", false); !p.empty()) return p;
    if (!m.contains("residue_files")) return "residue_files is missing";
    if (auto p = files(m["residue_files"], "residue_files", false); !p.empty()) return p;
  } else {
    if (!m.contains("residue_file")) return "residue_file is missing";
    if (auto p = file(m["residue_file"], "residue_file", false); !p.empty()) return p;
  }
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
    const std::string path = ResolveManifestPath(entry["path"].get<std::string>(), workingFolder);
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
  if (auto it = manifest.find("residue_files"); it != manifest.end() && it->is_array())
    for (const json& f : *it) check(f);
  return checks;
}

}  // namespace ormid
