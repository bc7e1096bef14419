#include "batch/batch_run.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "core/collecting_platform.h"
#include "core/mod_ormid.h"
#include "core/names.h"
#include "core/run_host.h"
#include "core/worst_subgroup.h"
#include "export/results_export.h"
#include "manifest/output_digests.h"
#include "manifest/run_manifest.h"
#include "report/number_format.h"
#include "residue/residue_reader.h"
#include "session/run_session.h"

namespace ormid {

namespace fs = std::filesystem;

namespace {

// A file whose Sync only passes the bytes to the system.
class UnsyncedFile : public OutputFile {
 public:
  explicit UnsyncedFile(std::unique_ptr<OutputFile> file) : file_(std::move(file)) {}
  bool Write(std::string_view bytes, std::string& error) override {
    return file_->Write(bytes, error);
  }
  bool Sync(std::string&) override { return true; }
  bool Close(std::string& error) override { return file_->Close(error); }

 private:
  std::unique_ptr<OutputFile> file_;
};

// A worker's platform: messages are kept for the scenario's outcome instead
// of shown, and the clock is the batch's.
class WorkerPlatform : public CollectingPlatform {
 public:
  using CollectingPlatform::CollectingPlatform;

  // A batch's files are replaced whole but, like the temporary reports,
  // not forced to the disk one by one: a sync per manifest would keep the
  // workers waiting on the disk most of the time, and a batch cut short by
  // a power failure is run again.
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path,
                                               std::string& error) override {
    auto file = Platform::CreateOutputFile(path, error);
    if (file) file = std::make_unique<UnsyncedFile>(std::move(file));
    return digests.Watch(path, std::move(file));
  }
  bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) override {
    if (!Platform::ReplaceFile(from, to, error)) return false;
    digests.Moved(from, to);
    return true;
  }
  void RemoveFile(const std::string& path) override {
    Platform::RemoveFile(path);
    digests.Removed(path);
  }
  // The working folder is the process's current directory for the whole
  // batch, entered once before the workers start.
  bool ChangeDir(const std::string&) override { return true; }

  OutputDigests digests;
};

std::string ExportPath(const std::string& outDir, const std::string& id, ExportFormat f) {
  return (fs::path(outDir) / (id + ExportExtension(f))).string();
}

// The first problems of a group file, as one message.
std::string GroupProblems(const std::vector<std::string>& problems) {
  constexpr std::size_t kShown = 3;
  std::string text;
  for (std::size_t i = 0; i < problems.size() && i < kShown; ++i)
    text += (i == 0 ? "" : " / ") + problems[i];
  if (const std::size_t more = problems.size() > kShown ? problems.size() - kShown : 0; more > 0)
    text += " / " + std::to_string(more) + (more == 1 ? " more problem" : " more problems");
  return text.empty() ? "the group file cannot be used" : text;
}

const std::vector<ExportFormat> kEveryFormat = {ExportFormat::Csv, ExportFormat::Json,
                                                ExportFormat::Xlsx};

// The earlier batch's files of a scenario (of any export format), gone
// before the scenario writes its own: whatever happens to the batch, even a
// kill, a scenario's files in the output folder are all of one batch.
void RemoveEarlierFiles(Platform& p, const std::string& outDir, const BatchScenario& s) {
  for (const std::string& path : ScenarioOutputPaths(outDir, s, kEveryFormat))
    if (p.FileExists(path)) p.RemoveFile(path);
}

// A scenario: the single run itself through the run session, its report and
// manifest in the output folder instead of the working folder, its figures
// handed back for the summary and the run history.
ScenarioOutcome RunScenario(const ModOrmid& started, const BatchScenario& s, const BatchOptions& o,
                            const InputDigests& installation) {
  ScenarioOutcome out;
  auto fail = [&](const std::string& text) {
    out.status = ScenarioStatus::Failed;
    out.message = s.origin + ": " + text;
    out.subgroups.clear();
    return out;
  };
  if (!s.problem.empty()) return fail(s.problem);

  WorkerPlatform p(o.date, o.yes);
  ModOrmid m = started;
  RunRequest request;
  request.kind = s.kind;
  std::string problem;
  if (s.kind == RunKind::Cumulative) {
    request.cumulative.group = s.residueFile;
    request.cumulative.shownName = s.residueFile;
    if (!s.cumulativeSettings) return fail("the scenario has no cumulative settings");
    if (!s.cumulativeSettings(started, request.cumulative, problem)) return fail(problem);
  } else if (s.kind == RunKind::Aggregate) {
    if (!s.aggregateSettings) return fail("the scenario has no aggregate settings");
    if (!s.aggregateSettings(started, request.aggregate, problem)) return fail(problem);
    if (!OpenNamedResidueFile(m, p, s.residueFile)) return fail(p.Messages());
  } else {
    if (!OpenNamedResidueFile(m, p, s.residueFile)) return fail(p.Messages());
    if (s.settings && !s.settings(m, request.settings, problem)) return fail(problem);
  }
  request.settings.chkSaveRpt = false;
  request.report = ScenarioReportPath(o.outDir, s);
  for (ExportFormat f : o.exports) request.exports.push_back(ExportPath(o.outDir, s.id, f));
  // The run history takes every row, as from a single run; RunBatch records
  // the scenarios in their order.
  if (o.history) request.history = RunRequest::History::HandBack;
  request.outputDigests = &p.digests;
  request.inputDigests = &installation;
  request.clockIsUtc = o.utc;
  RemoveEarlierFiles(p, o.outDir, s);

  RunHost host;
  RunSession session(m, p);
  const RunOutcome run = session.Run(request, host);
  if (run.status != RunStatus::Done) {
    if (!run.problems.empty()) return fail(GroupProblems(run.problems));
    if (run.notice) ShowNotice(p, *run.notice);
    return fail(p.Messages());
  }
  std::string failures;
  const auto finished = session.Finish([&](const OutputFailure& f) {
    failures += (f.kind == OutputFailure::Kind::Export ? " The export file " : " The manifest ") +
                f.path + " could not be written: " + f.reason + ".";
  });
  out.outputs = finished->outputs;
  if (!failures.empty())
    return fail("Export Results:" + failures + " The reports of the run stand.");
  out.status = ScenarioStatus::Done;
  if (finished->figures) out.subgroups = finished->figures->Subgroups();
  if (auto figures = session.TakeHistory()) {
    out.record = std::make_shared<ScenarioOutcome::Record>();
    out.record->manifest = finished->manifest;
    out.record->figures = std::move(figures);
  }
  return out;
}

}  // namespace

std::string ScenarioReportPath(const std::string& outDir, const BatchScenario& s) {
  return (fs::path(outDir) / (s.id + SavedReportExtensionOf(s.kind))).string();
}

std::vector<std::string> ScenarioOutputPaths(const std::string& outDir, const BatchScenario& s,
                                             const std::vector<ExportFormat>& exports) {
  const std::string report = ScenarioReportPath(outDir, s);
  std::vector<std::string> paths = {report, ManifestPathFor(report)};
  for (ExportFormat f : exports) {
    paths.push_back(ExportPath(outDir, s.id, f));
    if (f == ExportFormat::Csv) paths.push_back(ManifestPathFor(paths.back()));
  }
  return paths;
}

std::string ScenarioFilesProblem(const std::vector<BatchScenario>& scenarios) {
  constexpr std::size_t kSummary = static_cast<std::size_t>(-1);
  std::map<std::string, std::size_t> owner = {{"summary.csv", kSummary},
                                              {"summary.xlsx", kSummary}};
  for (std::size_t i = 0; i < scenarios.size(); ++i) {
    for (const std::string& path : ScenarioOutputPaths("", scenarios[i], kEveryFormat)) {
      const std::string name = fs::path(path).filename().string();
      auto [it, added] = owner.emplace(FoldedName(name), i);
      if (added || it->second == i) continue;
      const std::string other =
          it->second == kSummary
              ? std::string("the batch's summary")
              : "scenario " + scenarios[it->second].id + " (" + scenarios[it->second].origin + ")";
      return scenarios[i].origin + ": the id " + scenarios[i].id + " would write " + name +
             ", a file of " + other;
    }
  }
  return "";
}

std::vector<std::string> ExistingBatchFiles(Platform& p, const std::string& outDir,
                                            const std::vector<BatchScenario>& scenarios) {
  std::vector<std::string> existing;
  for (const char* name : {"summary.csv", "summary.xlsx"})
    if (const std::string path = (fs::path(outDir) / name).string(); p.FileExists(path))
      existing.push_back(path);
  for (const BatchScenario& s : scenarios)
    for (const std::string& path : ScenarioOutputPaths(outDir, s, kEveryFormat))
      if (p.FileExists(path)) existing.push_back(path);
  return existing;
}

std::string OverwriteQuestion(const std::string& outDir, const std::vector<std::string>& existing) {
  const std::size_t n = existing.size();
  std::string text = "The output folder " + outDir +
                     " already holds files of this batch: " + std::to_string(n) +
                     (n == 1 ? " file" : " files") + " would be replaced";
  if (n > 0) text += " (" + existing.front() + (n > 1 ? ", ..." : "") + ")";
  return text + ". Do you want to write over them?";
}

const SubgroupFigures* WorstSubgroup(const ScenarioOutcome& o) {
  const int worst = WorstSubgroup(o.subgroups);
  return worst < 0 ? nullptr : &o.subgroups[static_cast<std::size_t>(worst)];
}

BatchCounts RunBatch(const ModOrmid& started, const std::vector<BatchScenario>& scenarios,
                     const BatchOptions& options, BatchListener& listener) {
  const InputDigests installation = InstallationDigests(started);
  RemoveStaleTemporaryFiles(options.outDir);
  // An earlier batch's summary goes first: it would not describe the
  // scenarios this batch replaces.
  for (const char* name : {"summary.csv", "summary.xlsx"}) {
    std::error_code ec;
    const fs::path summary = fs::path(options.outDir) / name;
    if (fs::is_regular_file(fs::symlink_status(summary, ec))) fs::remove(summary, ec);
  }
  const std::size_t total = scenarios.size();
  const int workers = std::max(1, options.workers);
  // Outcomes wait for the ones before them only this far, so that the
  // figures kept at any time stay few whatever the batch's size.
  const std::size_t window = 16 * static_cast<std::size_t>(workers);

  std::mutex mutex;
  std::condition_variable moved;
  std::size_t next = 0, delivered = 0;
  std::map<std::size_t, ScenarioOutcome> waiting;
  // One thread at a time hands the outcomes on, in order, and without the
  // lock: the others go on running scenarios meanwhile.
  bool delivering = false;
  BatchCounts counts;
  auto stopped = [&] { return options.stop && options.stop->load(); };

  // The run history: one connection for the whole batch, the scenarios
  // recorded in their order, so that run ids follow the scenario file
  // whatever the number of workers. After a recording that failed, the
  // rest are not tried (each would wait out the busy timeout again).
  std::optional<HistoryWriter> history;
  if (options.history) history.emplace(*options.history);
  auto record = [&](const BatchScenario& s, const ScenarioOutcome::Record& r) {
    if (!history) return;
    RecordOutcome recorded = history->Record(r.manifest, *r.figures);
    if (!recorded.note.empty() && counts.historyNote.empty()) counts.historyNote = recorded.note;
    if (!recorded.recorded) {
      counts.historyProblem = "Run history not recorded: " + recorded.problem +
                              ". The scenarios from " + s.id + " on are not in the run history.";
      history.reset();
    }
  };
  auto deliver = [&](std::size_t i, ScenarioOutcome& o) {
    if (o.record) {
      record(scenarios[i], *o.record);
      o.record.reset();
    }
    if (o.status == ScenarioStatus::Done)
      ++counts.done;
    else if (o.status == ScenarioStatus::Failed)
      ++counts.failed;
    else
      ++counts.notRun;
    listener.Finished(i, scenarios[i], o);
  };

  auto work = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      moved.wait(lock, [&] { return stopped() || next >= total || next < delivered + window; });
      if (stopped() || next >= total) return;
      const std::size_t i = next++;
      lock.unlock();
      ScenarioOutcome outcome;
      try {
        outcome = RunScenario(started, scenarios[i], options, installation);
      } catch (const std::exception& e) {
        outcome.status = ScenarioStatus::Failed;
        outcome.message = scenarios[i].origin + ": " + e.what();
      }
      lock.lock();
      waiting.emplace(i, std::move(outcome));
      if (delivering) continue;
      delivering = true;
      while (!waiting.empty() && waiting.begin()->first == delivered) {
        auto ready = waiting.extract(waiting.begin());
        lock.unlock();
        deliver(ready.key(), ready.mapped());
        ready = {};  // the outcome's figures go before the lock is taken again
        lock.lock();
        ++delivered;
        listener.Progress(delivered, total);
        moved.notify_all();
      }
      delivering = false;
    }
  };

  std::vector<std::thread> threads;
  for (int k = 1; k < workers && static_cast<std::size_t>(k) < total; ++k)
    threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();

  // Stopped: what was started has finished; the rest is not run.
  for (std::size_t i = delivered; i < total; ++i) {
    ScenarioOutcome notRun;
    deliver(i, notRun);
  }
  return counts;
}

void TakeFileValues(const ModOrmid& m, const TypedValues& typed, WindowSettings& s) {
  s.txtMOE1 = typed.noel.value_or(DefaultNumberText(m.gNOEL));
  s.txtMOE2 = typed.rfd.value_or(DefaultNumberText(m.gRefDose));
  s.txtMOE3 = typed.qstar.value_or(DefaultNumberText(m.gQStar));
  s.txtComment = typed.comment.value_or(m.gRunComment);
}

FileValues ValuesOfResidueFile(const ModOrmid& started, const std::string& path,
                               const WindowSettings& base, const TypedValues& typed) {
  FileValues v;
  CollectingPlatform p;
  ModOrmid m = started;
  if (!OpenNamedResidueFile(m, p, path)) {
    v.problem = p.Messages();
    return v;
  }
  v.chemical = m.gChemicalName;
  v.settings = base;
  TakeFileValues(m, typed, v.settings);
  return v;
}

}  // namespace ormid
