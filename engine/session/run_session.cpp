#include "session/run_session.h"

#include <filesystem>
#include <optional>
#include <set>
#include <stdexcept>

#include "aggregate/aggregate_report.h"
#include "commodity/commodity_run.h"
#include "core/float_text.h"
#include "core/json_text.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/platform.h"
#include "cumulative/cumulative_report.h"
#include "export/headroom_export.h"
#include "exposure/exposure_terms.h"
#include "exposure/long_term_report.h"
#include "exposure/total_exposure.h"
#include "headroom/headroom_text.h"
#include "residue/residue_file_writer.h"
#include "residue/residue_listing.h"
#include "residue_build/build_report.h"
#include "residue_table/residue_table.h"
#include "session/kind_figures.h"

namespace ormid {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// The front end's host, with the run's own figures beside the front end's
// sink.
class SessionHost : public RunHost {
 public:
  SessionHost(RunHost& outer, ResultsSink* own) : outer_(outer), own_(own) {}
  void Progress(int done, int total) override { outer_.Progress(done, total); }
  bool StopRequested() override { return outer_.StopRequested(); }
  void Computing() override { outer_.Computing(); }
  ResultsSink* Results() override {
    all_ = ResultsFanOut();
    all_.Add(own_);
    all_.Add(outer_.Results());
    return all_.Empty() ? nullptr : &all_;
  }
  ExposureTerms* Terms() override { return outer_.Terms(); }

 private:
  RunHost& outer_;
  ResultsSink* own_;
  ResultsFanOut all_;
};

// A file named as the run's file system sees it: absolute, and through the
// links of the folders that exist.
std::string FullPath(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) p = fs::absolute(path, ec).lexically_normal();
  return p.string();
}

// A check that did not pass: its refusal and control become the run's
// outcome.
bool Passed(const RequestCheck& check, RunOutcome& outcome) {
  if (check.status == RunStatus::Done) return true;
  outcome.notice = check.refusal;
  outcome.focus = check.focus;
  return false;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return FullPath(a) == FullPath(b);
}

}  // namespace

// A file the run will write or read, and what it is to the run.
struct RunSession::Planned {
  std::string path;
  std::string what;
  std::string link = {};  // an export named by a symbolic link: the link, `path` its target
};

namespace {

// The file a symbolic link leads to, through every link on the way (a
// relative link read from its own folder), whether that file is there or
// not; the path itself when it is no link; nullopt for links that lead
// round in a loop.
std::optional<std::string> ThroughLinks(const std::string& path) {
  fs::path p(path);
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p.string();
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) return p.string();
    p = (target.is_absolute() ? target : p.parent_path() / target).lexically_normal();
  }
  return std::nullopt;
}

}  // namespace

RunSession::RunSession(ModOrmid& m, Platform& p) : m_(m), p_(p) {}

RunSession::~RunSession() = default;

std::string RunSession::ReportFile() const {
  if (!request_.report.empty()) return request_.report;
  return TemporaryReportOf(request_.kind);
}

bool RunSession::PlanOutputs(RunOutcome& outcome) {
  const RunKind kind = request_.kind;
  const WindowSettings& s = request_.settings;
  std::vector<Planned> outputs;
  const std::string report = ReportFile();
  if (!report.empty()) outputs.push_back({report, "the report"});
  if (s.chkSaveRpt && !TrimBlanks(s.txtRptFile).empty()) {
    const std::string saved = ReportFileNameFor(s.txtRptFile, m_.gResiduePath, kind);
    outputs.push_back({saved, "the saved report"});
    outputs.push_back({ManifestPathFor(saved), "the saved report's manifest"});
  }
  if (!request_.report.empty())
    outputs.push_back({ManifestPathFor(report), "the report's manifest"});
  auto refuse = [&](const std::string& text) {
    outcome.notice = Notice{text, "Ormid", MsgIcon::Exclamation};
    outcome.usage = true;
    return false;
  };
  // An export named by a symbolic link is written to the file the link
  // leads to, as other programs write through a link, and the link stays;
  // the question before it is replaced names the link, even one that leads
  // to no file yet. A CSV export's manifest goes beside the file written.
  for (std::string& e : request_.exports) {
    const std::optional<std::string> target = ThroughLinks(e);
    if (!target)
      return refuse("The export file " + e +
                    " is a symbolic link that leads round in a loop: name another file.");
    outputs.push_back({*target, "an export", *target == e ? std::string() : e});
    e = *target;
    if (ExportFormatOf(e) == ExportFormat::Csv)
      outputs.push_back({ManifestPathFor(e), "the manifest of an export"});
  }
  std::vector<Planned> inputs;
  if (kind == RunKind::ResidueBuild) PlanResidueBuild(outputs, inputs);
  for (std::size_t i = 0; i < outputs.size(); ++i)
    for (std::size_t j = i + 1; j < outputs.size(); ++j)
      if (SameFile(outputs[i].path, outputs[j].path))
        return refuse("The run would write " + outputs[i].path + " twice, as " + outputs[i].what +
                      " and as " + outputs[j].what + ": give each output a file of its own.");

  // The files the run reads, and the run history it records into, are
  // never written over (a cumulative run's residue files are known once its
  // group file is read).
  if (kind == RunKind::Cumulative) {
    inputs.push_back({request_.cumulative.group, "the assessment group file"});
    for (const std::string& path : InstallationInputs(m_))
      inputs.push_back({path, "a file of the installation"});
  } else {
    const std::vector<std::string> read = ManifestInputs(m_);
    for (std::size_t i = 0; i < read.size(); ++i)
      inputs.push_back(
          {read[i], i + 1 == read.size() ? "the residue file" : "a file of the installation"});
  }
  if (kind == RunKind::Aggregate) {
    inputs.push_back({request_.aggregate.tox, "the toxicology file"});
    inputs.push_back({request_.aggregate.residential, "the residential file"});
  }
  inputs.push_back({(fs::path(m_.gWorkingDir) / kHistoryFile).string(), "the run history"});
  for (const Planned& in : inputs)
    for (const Planned& out : outputs)
      if (!in.path.empty() && SameFile(in.path, out.path))
        return refuse("The run would write over " + out.path + ", " + in.what + ", as " + out.what +
                      ": the run never writes over a file it reads.");
  planned_ = std::move(outputs);

  // What runs killed before their end left beside the files this one
  // writes.
  std::set<std::string> folders;
  for (const Planned& out : planned_) {
    const fs::path folder = fs::path(FullPath(out.path)).parent_path();
    if (folders.insert(folder.string()).second) RemoveStaleTemporaryFiles(folder.string());
  }
  return true;
}

bool RunSession::CheckAgainstInputs(const std::vector<std::string>& read, const std::string& what,
                                    RunOutcome& outcome) {
  for (const std::string& in : read)
    for (const Planned& out : planned_)
      if (SameFile(in, out.path)) {
        outcome.notice = Notice{"The run would write over " + out.path + ", " + what + ", as " +
                                    out.what + ": the run never writes over a file it reads.",
                                "Ormid", MsgIcon::Exclamation};
        outcome.usage = true;
        return false;
      }
  return true;
}

bool RunSession::AskBeforeReplacing(RunOutcome&) {
  for (const Planned& out : planned_) {
    if (out.what != "an export") continue;
    const std::string& e = out.link.empty() ? out.path : out.link;
    if ((!out.link.empty() || p_.FileExists(e)) &&
        p_.MessageBox("Export file " + e + " already exists. Do you want to write over this file?",
                      "KAVRI-FCID Ormid Module", MsgIcon::Question,
                      MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
      return false;
  }
  // A manifest beside a file that is not there yet is another file's: it is
  // replaced only when the user says so too.
  for (const Planned& out : planned_) {
    const std::string& path = out.path;
    const std::string suffix = ManifestPathFor("");
    if (path.size() <= suffix.size() ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string beside = path.substr(0, path.size() - suffix.size());
    if (p_.FileExists(path) && !p_.FileExists(beside) &&
        p_.MessageBox(
            "Manifest file " + path + " already exists. Do you want to write over this file?",
            "KAVRI-FCID Ormid Module", MsgIcon::Question,
            MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
      return false;
  }
  return true;
}

RunOutcome RunSession::Run(const RunRequest& request, RunHost& host) {
  request_ = request;
  done_ = false;
  saved_.clear();
  laterCopies_.clear();
  written_.clear();
  planned_.clear();
  manifest_ = json();
  figures_.reset();
  history_.reset();
  // The long-term report's header depends on the line count an earlier
  // report of this program left: the manifest records it.
  lineCount_ = m_.gLineCount;
  date_ = p_.Now();

  RunOutcome outcome;
  if (!PlanOutputs(outcome) || !AskBeforeReplacing(outcome)) return outcome;
  switch (request_.kind) {
    case RunKind::LongTerm:
    case RunKind::Commodity:
      outcome = RunAnalysis(host);
      break;
    case RunKind::Listing:
      outcome = RunListing();
      break;
    case RunKind::Headroom:
      outcome = RunHeadroom(host);
      break;
    case RunKind::Cumulative:
      outcome = RunCumulative();
      break;
    case RunKind::ResidueBuild:
      outcome = RunResidueBuild();
      break;
    case RunKind::Aggregate:
      outcome = RunAggregate(host);
      break;
  }
  done_ = outcome.status == RunStatus::Done;
  if (!done_) figures_.reset();
  return outcome;
}

RunOutcome RunSession::RunAnalysis(RunHost& host) {
  RunOutcome outcome;
  const RequestCheck check = checkstart(m_, p_, request_.settings, request_.kind);
  if (!Passed(check, outcome)) return outcome;
  saved_ = check.savedReport;
  manifest_ = BuildManifest(
      m_,
      ManifestRun{CommandOf(request_.kind), request_.recordedSettings.value_or(request_.settings),
                  date_, request_.clockIsUtc, request_.excluded, lineCount_},
      request_.inputDigests);
  // Without an export, a record or a window to keep them, a commodity run
  // keeps each subgroup's total only.
  const bool allRows = request_.keepFigures || !request_.exports.empty() ||
                       request_.history != RunRequest::History::None;
  auto rows = std::make_shared<RowFigures>(!allRows);
  figures_ = rows;
  SessionHost inner(host, rows.get());
  host.Computing();
  const AnalysisEnd end = request_.kind == RunKind::LongTerm
                              ? RunOrmidAnalysis(m_, p_, inner, saved_, ReportFile())
                              : RunCommodityAnalysis(m_, p_, inner, saved_, ReportFile());
  outcome.focus = end.focus;
  if (!end.done) {
    outcome.status = RunStatus::Stopped;
    return outcome;
  }
  outcome.status = RunStatus::Done;
  outcome.notice = end.closing;
  outcome.showReport = end.showReport;
  return outcome;
}

RunOutcome RunSession::RunListing() {
  RunOutcome outcome;
  Control focus = Control::None;
  // The listing's checks tell their problems themselves.
  if (!CheckResidueListing(m_, p_, request_.settings, focus)) {
    outcome.focus = focus;
    return outcome;
  }
  const RequestCheck saved = CheckSavedReport(m_, p_, request_.settings, RunKind::Listing);
  if (!Passed(saved, outcome)) return outcome;
  saved_ = saved.savedReport;
  manifest_ = BuildManifest(
      m_, ManifestRun{CommandOf(RunKind::Listing), request_.settings, date_, request_.clockIsUtc},
      request_.inputDigests);
  if (!WriteResidueListing(m_, p_, request_.settings, ReportFile())) {
    outcome.status = RunStatus::Stopped;
    return outcome;
  }
  if (!SaveCopy(ReportFile(), nullptr, outcome)) return outcome;
  outcome.status = RunStatus::Done;
  return outcome;
}

RunOutcome RunSession::RunHeadroom(RunHost& host) {
  RunOutcome outcome;
  // The endpoints are checked as a long-term run checks them.
  const RequestCheck check = checkstart(m_, p_, request_.settings, RunKind::Headroom);
  if (!Passed(check, outcome)) return outcome;
  saved_ = check.savedReport;
  host.Computing();
  ExposureTerms terms;
  int failed = 0;
  ComputeTotalExposure(m_, p_, failed, &terms);
  if (failed != 0) {
    outcome.status = RunStatus::Stopped;
    return outcome;
  }
  const HeadroomOptions& o = request_.headroom;
  HeadroomRequest asked;
  asked.by = o.by;
  asked.subgroups = o.subgroups;
  asked.target.kind = TargetKindFor(m_.gEndpoint);
  asked.target.value = o.target.value_or(DefaultTargetValue(asked.target.kind));
  auto figures = std::make_shared<HeadroomRunFigures>();
  figures->table = ComputeHeadroom(m_, terms, asked);
  figures->subgroupNames = m_.gPopNames2;
  figures->text = HeadroomText(m_, figures->table);
  figures_ = figures;

  // A headroom run records the endpoint settings a long-term run of the
  // file records, without a comment, and its own.
  manifest_ = BuildManifest(
      m_, ManifestRun{CommandOf(RunKind::Headroom), request_.settings, date_, request_.clockIsUtc},
      request_.inputDigests);
  json& settings = manifest_["settings"];
  json arguments = json::array();
  for (const auto& argument : settings["arguments"])
    if (argument.get<std::string>().rfind("--comment=", 0) != 0) arguments.push_back(argument);
  const HeadroomTable& table = figures->table;
  arguments.push_back(std::string("--by=") + HeadroomByName(table.by));
  arguments.push_back("--target=" + ShortestText(table.target.value));
  std::string rows;
  for (int row : table.subgroups) rows += (rows.empty() ? "" : ",") + std::to_string(row);
  arguments.push_back("--subgroups=" + rows);
  settings["arguments"] = arguments;
  settings["headroom"] = HeadroomSettings(table);

  if (!SaveCopy("", &figures->text, outcome)) return outcome;
  outcome.status = RunStatus::Done;
  return outcome;
}

RunOutcome RunSession::RunCumulative() {
  RunOutcome outcome;
  const CumulativeSettings& c = request_.cumulative;
  std::vector<int> rows = c.rows;
  if (rows.empty())
    for (int k = 1; k <= m_.gPopCount; ++k) rows.push_back(k);
  auto figures = std::make_shared<CumulativeRunFigures>();
  figures->settings = c;
  figures->settings.rows = rows;
  ChemicalRuns runs;
  runs.by = c.by.value_or(HeadroomBy::CropGroup);
  // Every problem of the group file, then of its residue files, is found
  // before anything is written.
  if (!ReadAssessmentGroup(c.group, c.shownName, figures->read, outcome.problems) ||
      !ComputeCumulativeFigures(m_, figures->read, c.adj2, rows, c.by, c.whatIf, c.shownName,
                                figures->run, outcome.problems, c.target ? &runs : nullptr)) {
    outcome.usage = true;
    return outcome;
  }
  outcome.warnings = figures->run.exposures.warnings;
  std::vector<std::string> residues;
  for (const GroupChemical& g : figures->run.group.chemicals) residues.push_back(g.residuePath);
  if (!CheckAgainstInputs(residues, "a residue file of the group", outcome)) return outcome;
  const RequestCheck saved = CheckSavedReport(m_, p_, request_.settings, RunKind::Cumulative);
  if (!Passed(saved, outcome)) return outcome;
  saved_ = saved.savedReport;

  const CumulativeFigures& run = figures->run;
  if (c.target)
    figures->headroom =
        ComputeCumulativeHeadroom(m_, run.group, run.exposures, run.subgroups, runs, *c.target);
  auto list = [](const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& i : items) text += (text.empty() ? "" : ", ") + i;
    return text;
  };
  std::string whatIf;
  if (!c.whatIf.chemicals.empty()) whatIf = "chemicals " + list(c.whatIf.chemicals);
  if (!c.whatIf.codes.empty())
    whatIf +=
        (whatIf.empty() ? "" : "; ") + std::string("residues of ") + list(c.whatIf.codes) + " as 0";
  if (!whatIf.empty()) whatIf = "What-if, left out: " + whatIf;
  const std::string text =
      CumulativeReportText(m_, run.group, run.exposures, run.subgroups, c.adj2, date_, whatIf,
                           figures->headroom ? &*figures->headroom : nullptr);
  std::string error;
  if (!p_.WriteFile(ReportFile(), text, FileKind::WorkingFile, error)) {
    outcome.status = RunStatus::Stopped;
    outcome.notice =
        Notice{request_.report.empty()
                   ? "The report file " + std::string(kCumulativeReportFile) +
                         " could not be written in the working folder " + m_.gWorkingDir + ": " +
                         error + "."
                   : "The report file " + request_.report + " could not be written: " + error + ".",
               "Cumulative Analysis", MsgIcon::Exclamation};
    return outcome;
  }
  figures_ = figures;

  // The manifest: the installation, the group file and every residue file
  // with their digests, and the settings.
  std::vector<std::pair<std::string, std::string>> files;
  for (std::size_t j = 0; j < run.group.chemicals.size(); ++j)
    files.emplace_back(run.exposures.files[j].chemical, run.group.chemicals[j].residuePath);
  json subgroups = json::array();
  for (int row : rows) subgroups.push_back(row);
  manifest_ = BuildCumulativeManifest(m_, date_, request_.clockIsUtc, c.group, files,
                                      {{"second_adjustment_factor", c.adj2},
                                       {"subgroups", subgroups},
                                       {"excluded_chemicals", c.whatIf.chemicals},
                                       {"excluded", c.whatIf.codes},
                                       {"by", c.by ? json(HeadroomByName(*c.by)) : json(nullptr)},
                                       {"arguments", CumulativeArguments(m_, c)}});
  if (c.target) manifest_["settings"]["target_percent_of_index_pad"] = *c.target;

  if (!SaveCopy(ReportFile(), nullptr, outcome)) return outcome;
  if (!saved_.empty())
    outcome.notice =
        Notice{"Cumulative analysis completed. Its report is also saved as file " + saved_,
               "Cumulative Analysis", MsgIcon::Information};
  outcome.status = RunStatus::Done;
  return outcome;
}

void RunSession::PlanResidueBuild(std::vector<Planned>& outputs,
                                  std::vector<Planned>& inputs) const {
  const ResidueBuildSettings& b = request_.residueBuild;
  for (const Bound bound : BoundsOf(b.bound))
    outputs.push_back({ResidueFileOfBound(b, bound), "the residue file built"});
  inputs.push_back({b.samples, "the samples file"});
  inputs.push_back({b.rules, "the rules file"});
}

RunOutcome RunSession::RunResidueBuild() {
  RunOutcome outcome;
  const ResidueBuildSettings& b = request_.residueBuild;
  const char* const title = "Residue Build";
  auto stop = [&](const std::string& text) {
    outcome.status = RunStatus::Stopped;
    outcome.notice = Notice{text, title, MsgIcon::Exclamation};
    return outcome;
  };
  if (const std::string problem = ResidueBuildUsageProblem(m_, b); !problem.empty()) {
    outcome.notice =
        Notice{"The residue file cannot be built: " + problem + ".", title, MsgIcon::Exclamation};
    outcome.usage = true;
    return outcome;
  }
  MasterFoods foods;
  std::string error;
  if (!LoadMasterFoods(m_, foods, error))
    return stop("The residue file cannot be built: " + error + ".");
  // Every problem of both files is found before anything is asked or
  // written.
  BuildInputs in;
  BuildProblems problems;
  if (!ReadBuildInputs(m_, foods, b, in, problems)) {
    outcome.problems = problems.lines;
    if (problems.count > problems.lines.size())
      outcome.problems.push_back(
          "... and " + std::to_string(problems.count - problems.lines.size()) + " more problems");
    outcome.usage = true;
    return outcome;
  }
  const RequestCheck saved = CheckSavedReport(m_, p_, request_.settings, RunKind::ResidueBuild);
  if (saved.status != RunStatus::Done) {
    outcome.notice = saved.refusal;
    outcome.focus = saved.focus;
    return outcome;
  }
  saved_ = saved.savedReport;
  const std::vector<Bound> bounds = BoundsOf(b.bound);
  for (const Bound bound : bounds) {
    const std::string file = ResidueFileOfBound(b, bound);
    if (p_.FileExists(file) &&
        p_.MessageBox("File " + file + " already exists. Do you want to write over this file?",
                      title, MsgIcon::Question, MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
      return outcome;
  }

  // The manifest: the installation, the samples and the rules with their
  // digests as they were read, and the options.
  manifest_ = BuildResidueBuildManifest(m_, date_, request_.clockIsUtc, b.samples, b.rules,
                                        {{"chemical", b.chemical},
                                         {"noel_mg_per_kg_bw_day", JsonSingle(b.noel)},
                                         {"rfd_mg_per_kg_bw_day", JsonSingle(b.rfd)},
                                         {"qstar_per_mg_per_kg_bw_day", JsonSingle(b.qstar)},
                                         {"non_detects", OptionText(b.nonDetects)},
                                         {"not_quantified", OptionText(b.notQuantified)},
                                         {"crop_treated", OptionText(b.cropTreated)},
                                         {"bound", OptionText(b.bound)},
                                         {"arguments", ResidueBuildArguments(b)}});

  auto figures = std::make_shared<ResidueBuildRunFigures>();
  figures->build = ComputeResidueBuild(m_, foods, in, b, FormatReportDate(date_));
  const ResidueBuild& build = figures->build;
  // Every file goes to a new file of its own first, and only when all of
  // them are written are they put in place: a build that fails leaves the
  // earlier residue files and report as they were.
  std::vector<std::pair<std::string, std::string>> texts;
  try {
    for (std::size_t i = 0; i < bounds.size(); ++i)
      texts.emplace_back(ResidueFileOfBound(b, bounds[i]), ResidueFileText(build.files[i]));
  } catch (const std::invalid_argument& e) {
    return stop(std::string("The residue file cannot be built: ") + e.what() + ".");
  }
  texts.emplace_back(ReportFile(), ResidueBuildReportText(m_, build, date_));
  std::vector<std::unique_ptr<FileReplacement>> files;
  for (const auto& [path, text] : texts) {
    auto& file =
        files.emplace_back(std::make_unique<FileReplacement>(p_, path, FileKind::SavedCopy));
    if (!file->Open(error) || !file->Write(text, error))
      return stop("The file " + path + " could not be written: " + error +
                  ". No file of the build was replaced.");
  }
  for (std::size_t i = 0; i < files.size(); ++i)
    if (!files[i]->Commit(error))
      return stop("The file " + texts[i].first + " could not be written: " + error + ".");
  for (const Bound bound : bounds)
    written_.emplace_back("residue file", ResidueFileOfBound(b, bound));
  figures_ = figures;

  if (!SaveCopy(ReportFile(), nullptr, outcome)) return outcome;
  std::string names;
  for (std::size_t i = 0; i < bounds.size(); ++i)
    names += (i == 0 ? "" : i + 1 == bounds.size() ? " and " : ", ") + texts[i].first;
  std::size_t entries = 0;
  for (const ResidueFile& f : build.files) entries += f.foods.size();
  outcome.notice = Notice{
      (bounds.size() == 1 ? "The residue file " : "The residue files ") + names +
          (bounds.size() == 1 ? " was" : " were") + " built from " +
          std::to_string(build.sampleCount) + " samples by " + std::to_string(build.ruleCount) +
          " rules (" + std::to_string(entries / bounds.size()) +
          (bounds.size() == 1 ? " foods" : " foods each") + "). The build report is " +
          ReportFile() + (saved_.empty() ? "" : ", also saved as " + saved_) + ".",
      title, MsgIcon::Information};
  outcome.status = RunStatus::Done;
  return outcome;
}

RunOutcome RunSession::RunAggregate(RunHost& host) {
  RunOutcome outcome;
  const AggregateSettings& a = request_.aggregate;
  auto figures = std::make_shared<AggregateRunFigures>();
  host.Computing();
  // Every problem of the toxicology and residential files, and of the
  // settings against them, is found before anything is written.
  if (!ComputeAggregateFigures(m_, a, figures->run, outcome.problems)) {
    outcome.usage = true;
    return outcome;
  }
  const RequestCheck saved = CheckSavedReport(m_, p_, request_.settings, RunKind::Aggregate);
  if (saved.status != RunStatus::Done) {
    outcome.notice = saved.refusal;
    outcome.focus = saved.focus;
    return outcome;
  }
  saved_ = saved.savedReport;
  const std::string residue = ManifestInputs(m_).back();
  const std::string text = AggregateReportText(m_, figures->run, residue, date_);
  std::string error;
  if (!p_.WriteFile(ReportFile(), text, FileKind::WorkingFile, error)) {
    outcome.status = RunStatus::Stopped;
    outcome.notice =
        Notice{request_.report.empty()
                   ? "The report file " + std::string(kAggregateReportFile) +
                         " could not be written in the working folder " + m_.gWorkingDir + ": " +
                         error + "."
                   : "The report file " + request_.report + " could not be written: " + error + ".",
               "Aggregate Analysis", MsgIcon::Exclamation};
    return outcome;
  }
  figures_ = figures;

  // The manifest: the installation, the residue file, the toxicology and
  // residential files with their digests, and the settings.
  const AggregateSettings& run = figures->run.settings;
  json water = json::object();
  for (Duration d : kDurations)
    if (run.waterPpb[Index(d)]) water[DurationName(d)] = *run.waterPpb[Index(d)];
  json durations = json::array(), rows = json::array();
  for (Duration d : run.durations) durations.push_back(DurationName(d));
  for (int row : run.rows) rows.push_back(row);
  manifest_ = BuildAggregateManifest(m_, date_, request_.clockIsUtc, request_.inputDigests, a.tox,
                                     a.residential,
                                     {{"second_adjustment_factor", a.adj2},
                                      {"water_ppb", water},
                                      {"water_foods", a.waterFoods},
                                      {"scenario", a.scenario ? json(*a.scenario) : json(nullptr)},
                                      {"durations", durations},
                                      {"subgroups", rows},
                                      {"cancer_risk_limit", a.cancerLimit},
                                      {"arguments", AggregateArguments(m_, a, residue)}});

  if (!SaveCopy(ReportFile(), nullptr, outcome)) return outcome;
  if (!saved_.empty())
    outcome.notice =
        Notice{"Aggregate analysis completed. Its report is also saved as file " + saved_,
               "Aggregate Analysis", MsgIcon::Information};
  outcome.status = RunStatus::Done;
  return outcome;
}

bool RunSession::SaveCopy(const std::string& report, const std::string* text, RunOutcome& outcome) {
  if (saved_.empty()) return true;
  std::string error;
  const bool copied = text ? p_.WriteFile(saved_, *text, FileKind::SavedCopy, error)
                           : CopyReportFile(p_, report, saved_, error);
  if (copied) return true;
  outcome.status = RunStatus::Stopped;
  outcome.focus = Control::txtRptFile;
  outcome.notice = Notice{"The report copy " + saved_ + " could not be written: " + error +
                              ". The report itself stands.",
                          "Ormid", MsgIcon::Exclamation};
  return false;
}

bool RunSession::AddSavedCopy(const std::string& path, std::string& error) {
  laterCopies_.push_back(path);
  std::vector<std::string> outputs, manifests;
  return WriteManifest(p_, ManifestPathFor(path), ListedManifest(outputs, manifests), error);
}

json RunSession::ListedManifest(std::vector<std::string>& outputs,
                                std::vector<std::string>& manifests) const {
  const OutputDigests* digests = request_.outputDigests;
  json manifest = manifest_;
  manifest["outputs"] = json::array();
  if (request_.kind != RunKind::Headroom) {
    const std::string report = ReportFile();
    if (AddOutput(manifest, "report", report, digests)) outputs.push_back(report);
    if (!request_.report.empty()) manifests.push_back(ManifestPathFor(report));
  }
  for (const auto& [role, path] : written_)
    if (AddOutput(manifest, role, path, digests)) outputs.push_back(path);
  std::vector<std::string> copies;
  if (!saved_.empty()) copies.push_back(saved_);
  copies.insert(copies.end(), laterCopies_.begin(), laterCopies_.end());
  for (const std::string& copy : copies) {
    if (AddOutput(manifest, "saved report", copy, digests)) outputs.push_back(copy);
    manifests.push_back(ManifestPathFor(copy));
  }
  return manifest;
}

std::shared_ptr<const FinishedRun> RunSession::Finish(
    const std::function<void(const OutputFailure&)>& tell) {
  if (!done_) return nullptr;
  done_ = false;
  auto fail = [&](OutputFailure f) {
    if (tell) tell(f);
  };
  const OutputDigests* digests = request_.outputDigests;
  auto run = std::make_shared<FinishedRun>();
  run->kind = request_.kind;
  run->figures = figures_;
  run->savedReport = saved_;
  if (request_.kind != RunKind::Headroom) run->report = ReportFile();
  std::vector<std::string> manifests;
  json manifest = ListedManifest(run->outputs, manifests);

  // The exports carry the manifest as it stood before anything was written.
  if (figures_ && !request_.exports.empty()) {
    const std::vector<ExportFailure> failed = figures_->Export(p_, request_.exports, manifest_);
    for (const std::string& path : request_.exports) {
      bool bad = false;
      for (const ExportFailure& f : failed) bad = bad || f.path == path;
      if (bad || !AddOutput(manifest, "export", path, digests)) continue;
      run->outputs.push_back(path);
      if (ExportFormatOf(path) == ExportFormat::Csv) manifests.push_back(ManifestPathFor(path));
    }
    for (const ExportFailure& f : failed) fail({OutputFailure::Kind::Export, f.path, f.reason});
  }
  // Every manifest lists every output of the run.
  for (const std::string& path : manifests) {
    std::string error;
    if (WriteManifest(p_, path, manifest, error))
      run->outputs.push_back(path);
    else
      fail({OutputFailure::Kind::Manifest, path, error});
  }
  run->manifest = std::move(manifest);
  if (request_.history != RunRequest::History::None) {
    history_ = HistoryFiguresOf(*run);
    if (history_ && request_.history == RunRequest::History::Record) {
      RecordFinishedRun(p_, run->manifest, *history_, request_.historyBusyMilliseconds);
      history_.reset();
    }
  }
  return run;
}

}  // namespace ormid
