#include "fuzz/fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "core/record_file.h"
#include "core/run_host.h"
#include "manifest/sha256.h"
#include "residue/residue_listing.h"
#include "residue/residue_reader.h"
#include "session/run_session.h"
#include "setup/startup.h"
#include "tools/small_installation.h"

namespace ormid::fuzz {

namespace fs = std::filesystem;
namespace td = testdata;

namespace {

struct Workspace {
  fs::path start;  // the current directory when the process began
  fs::path root;
  std::array<ModOrmid, kKinds> started;
};

Workspace* workspace = nullptr;

const char* const kFolders[kKinds] = {"small-csfii", "small-nhanes-1", "small-nhanes-2", "csfii",
                                      "nhanes-2005-2010"};
const char* const kResidueFiles[kKinds] = {"residues/small.R98", "residues/small.R1D",
                                           "residues/small.R10", "residues/DEMOFOS.R98",
                                           "residues/DEMOGRP.R10"};

void RemoveWorkspace() {
  std::error_code ec;
  if (workspace) fs::remove_all(workspace->root, ec);
}

Workspace& Get() {
  if (workspace) return *workspace;
  auto w = std::make_unique<Workspace>();
  std::string name = (fs::temp_directory_path() / "ormid-fuzz-XXXXXX").string();
  Require(mkdtemp(name.data()) != nullptr, "a temporary folder for the installations");
  w->root = name;
  w->start = fs::current_path();
  workspace = w.release();
  std::atexit(RemoveWorkspace);
  Workspace& ws = *workspace;
  for (int base = 0; base < 3; ++base) {
    fs::path dir = ws.root / kFolders[base];
    td::WriteInstallation(td::SmallInstallation(base), dir);
    td::WriteResidueFile(td::SmallResidueFile(base), dir / kResidueFiles[base]);
  }
  for (int kind : {kCsfiiSample, kNhanesSample})
    fs::copy(fs::path(ORMID_SOURCE_DIR) / "samples" / kFolders[kind], ws.root / kFolders[kind],
             fs::copy_options::recursive);
  for (int kind = 0; kind < kKinds; ++kind) {
    Require(::chdir((ws.root / kFolders[kind]).c_str()) == 0, "the installation's folder");
    FuzzPlatform p;
    Require(StartUp(ws.started[static_cast<std::size_t>(kind)], p, false),
            "the start-up of an unchanged installation");
  }
  Require(::chdir(ws.start.c_str()) == 0, "the starting folder");
  return ws;
}

// The kind's folder is the current directory while this lives.
class InKindFolder {
 public:
  explicit InKindFolder(int kind) {
    Require(::chdir((Get().root / kFolders[kind]).c_str()) == 0, "the installation's folder");
  }
  ~InKindFolder() { Require(::chdir(Get().start.c_str()) == 0, "the starting folder"); }
};

class NullHost : public RunHost {};

// The residue file listing, the long-term and the commodity analysis with the
// variant's endpoints. A run either writes its report or shows why not.
void RunAnalyses(ModOrmid& m, FuzzPlatform& p, int variant) {
  if (variant >= 6) return;
  const bool all = variant < 3;
  NullHost host;
  WindowSettings s;
  switch (variant % 3) {
    case 0:
      s.chkMOE1 = s.chkMOE2 = s.chkSecondAdj = true;
      s.txtMOE1 = "0.5";
      s.txtMOE2 = "0.005";
      break;
    case 1:
      s.chkMOE2 = s.chkMOE4 = true;
      s.txtMOE2 = "0.005";
      for (std::size_t k = static_cast<std::size_t>(std::max<int>(m.gPADFirstPop, 0));
           k < m.gPAD.size(); k += 3)
        m.gPAD[k] = 0.0001f;
      break;
    default:
      s.chkMOE3 = true;
      s.txtMOE3 = "0.05";
      break;
  }
  s.chkComplete = s.chkCritical = true;
  s.txtCrit1 = "1";
  s.txtCrit2 = "5";
  s.chkStandard.assign(static_cast<std::size_t>(std::max<int>(m.gPopCount, 1)), 0);
  s.chkStandard.front() = s.chkStandard.back() = 1;

  Control focus;
  if (all && CheckResidueListing(m, p, s, focus))
    Require(WriteResidueListing(m, p, s, kResidueListingFile), "the listing is written");
  for (RunKind report : {RunKind::LongTerm, RunKind::Commodity}) {
    if (report == RunKind::Commodity && !all) break;
    p.written.clear();
    const int before = p.messages;
    RunRequest request;
    request.kind = report;
    request.settings = s;
    RunSession session(m, p);
    const RunOutcome run = session.Run(request, host);
    if (run.notice) ShowNotice(p, *run.notice);
    if (run.status == RunStatus::Done) {
      Require(
          p.written.count(report == RunKind::LongTerm ? kLongTermReportFile : kCommodityReportFile),
          "a finished run wrote its report");
    } else {
      Require(p.messages > before, "a run that stopped said why");
      Require(p.written.empty(), "a run that stopped wrote no report");
    }
    Require(p.pending.empty(), "no temporary report is left behind");
  }
}

}  // namespace

SeedRun RunForSeeds(int kind, bool commodity) {
  InKindFolder in(kind);
  ModOrmid m = StartedKind(kind);
  FuzzPlatform p;
  Require(OpenNamedResidueFile(m, p, kResidueFiles[kind]), "the kind's residue file opens");
  RunRequest request;
  request.kind = commodity ? RunKind::Commodity : RunKind::LongTerm;
  request.settings.chkMOE2 = true;
  request.settings.txtMOE2 = "0.005";
  request.settings.chkComplete = request.settings.chkCritical = commodity;
  request.settings.txtCrit1 = "1";
  request.settings.txtCrit2 = "5";
  request.settings.chkStandard.assign(static_cast<std::size_t>(m.gPopCount), 1);
  request.history = RunRequest::History::HandBack;
  NullHost host;
  RunSession session(m, p);
  Require(session.Run(request, host).status == RunStatus::Done, "a seed run is done");
  const std::shared_ptr<const FinishedRun> finished = session.Finish({});
  SeedRun run{finished->manifest, session.TakeHistory()};
  // The report lives in the platform's memory: listed with its digest.
  const std::string report = session.ReportFile();
  Require(p.written.count(report) == 1, "a seed run wrote its report");
  run.manifest["outputs"] =
      nlohmann::json::array({{{"role", "report"},
                              {"path", (fs::path(KindFolder(kind)) / report).string()},
                              {"size", p.written[report].size()},
                              {"sha256", Sha256Hex(p.written[report])}}});
  return run;
}

std::string ScratchPath(const std::string& name) {
  const fs::path folder = Get().root / "scratch";
  std::error_code ec;
  fs::create_directories(folder, ec);
  return (folder / name).string();
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "ormid fuzz: does not hold: %s\n", what);
  std::abort();
}

MsgAnswer FuzzPlatform::MessageBox(const std::string& text, const std::string& title, MsgIcon,
                                   MsgButtons buttons) {
  Require(!text.empty() && !title.empty(), "a message box has a text and a title");
  ++messages;
  return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ||
                 buttons == MsgButtons::YesNoDefaultNo
             ? MsgAnswer::Yes
             : MsgAnswer::OK;
}

namespace {

// A file that is kept in memory under its name until it is renamed.
class MemoryFile : public OutputFile {
 public:
  explicit MemoryFile(std::string& bytes) : bytes_(bytes) {}
  bool Write(std::string_view bytes, std::string&) override {
    bytes_ += bytes;
    return true;
  }
  bool Sync(std::string&) override { return true; }
  bool Close(std::string&) override { return true; }

 private:
  std::string& bytes_;
};

}  // namespace

std::unique_ptr<OutputFile> FuzzPlatform::CreateOutputFile(const std::string& path, std::string&) {
  std::string& bytes = pending[path];
  bytes.clear();
  return std::make_unique<MemoryFile>(bytes);
}

bool FuzzPlatform::ReplaceFile(const std::string& from, const std::string& to, std::string&) {
  auto it = pending.find(from);
  Require(it != pending.end(), "only a written file replaces another");
  written[to] = std::move(it->second);
  pending.erase(it);
  return true;
}

void FuzzPlatform::RemoveFile(const std::string& path) {
  pending.erase(path);
}

Input SplitInput(const std::uint8_t* data, std::size_t size) {
  Input in;
  if (size == 0) return in;
  in.kind = data[0] % kKinds;
  in.variant = data[0] / kKinds;
  in.file = std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1);
  return in;
}

char SelectorByte(int kind, int variant) {
  return static_cast<char>(variant * kKinds + kind);
}

std::pair<std::string_view, std::string_view> SplitPair(std::string_view both) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < 4 && i < both.size(); ++i)
    length |= static_cast<std::size_t>(static_cast<unsigned char>(both[i])) << (8 * i);
  both.remove_prefix(std::min<std::size_t>(4, both.size()));
  length = std::min(length, both.size());
  return {both.substr(0, length), both.substr(length)};
}

std::string JoinPair(const std::string& first, const std::string& second) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((first.size() >> (8 * i)) & 0xff));
  return out + first + second;
}

std::string KindFolder(int kind) {
  return (Get().root / kFolders[kind]).string();
}

const ModOrmid& StartedKind(int kind) {
  return Get().started[static_cast<std::size_t>(kind)];
}

std::string KindResidueFile(int kind) {
  return kResidueFiles[kind];
}

std::string PristineFile(int kind, const std::string& name) {
  auto bytes = ReadWholeFile((Get().root / kFolders[kind] / name).string());
  Require(bytes.has_value(), "a file of the installation");
  return *bytes;
}

void PutFile(int kind, const std::string& name, std::string_view bytes) {
  td::WriteFile(Get().root / kFolders[kind] / name, std::string(bytes));
}

void StartAndRun(int kind, int variant) {
  InKindFolder in(kind);
  ModOrmid m;
  FuzzPlatform p;
  if (!StartUp(m, p, false)) {
    Require(p.messages > 0, "a start-up that failed said why");
    return;
  }
  Require(p.messages == 0, "a start-up that succeeded said nothing");
  m.gResidueFileName = kResidueFiles[kind];
  int failed = 0;
  ReadResidueFile(m, p, failed);
  if (failed != 0) {
    // An installation of another survey base refuses every residue file
    // without a message.
    Require(p.messages > 0 || m.gSurveyBase < 0 || m.gSurveyBase > 2,
            "a residue file that was refused said why");
    return;
  }
  m.gResidueLoaded = 1;
  RunAnalyses(m, p, variant);
}

void ReadResidueAndRun(int kind, int variant, std::string text) {
  ModOrmid m = StartedKind(kind);
  InKindFolder in(kind);
  FuzzPlatform p;
  m.gResidueFileName = kResidueFiles[kind];
  int failed = 0;
  ReadResidueText(m, p, std::move(text), failed);
  if (failed != 0) {
    Require(p.messages > 0, "a residue file that was refused said why");
    return;
  }
  Require(m.gResFoodCount > 0 && m.gResFoodCount <= m.gFoodCount,
          "the table holds 1 to gFoodCount foods");
  m.gResidueLoaded = 1;
  RunAnalyses(m, p, variant);
}

}  // namespace ormid::fuzz
