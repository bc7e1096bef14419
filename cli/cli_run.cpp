#include "cli/cli_run.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <ostream>

#include "app/pad_form.h"
#include "app/run_request.h"
#include "app/startup.h"
#include "cli/cli_options.h"
#include "core/mod_ormid.h"
#include "core/numbers.h"
#include "core/platform.h"
#include "core/record_file.h"
#include "core/run_host.h"
#include "report/number_format.h"
#include "residue/residue_listing.h"
#include "residue/residue_reader.h"

namespace ormid::cli {

namespace {

namespace fs = std::filesystem;

// Message boxes go to standard error as "TITLE: TEXT"; questions are
// answered from the options; the open dialog returns the named file once.
class CliPlatform : public Platform {
 public:
  CliPlatform(std::ostream& err, bool yes) : err_(err), yes_(yes) {}

  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon,
                       MsgButtons buttons) override {
    err_ << title << ": " << text << "\n";
    err_.flush();
    switch (buttons) {
      case MsgButtons::OK:
        return MsgAnswer::OK;
      case MsgButtons::OKCancel:
        return MsgAnswer::Cancel;
      case MsgButtons::YesNo:
      case MsgButtons::YesNoCancel:
        return yes_ ? MsgAnswer::Yes : MsgAnswer::No;
    }
    return MsgAnswer::OK;
  }

  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string&) override {
    err_ << title << ": " << prompt << "\n";
    return "";
  }

  std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override {
    auto chosen = residueFile_;
    residueFile_.reset();
    return chosen;
  }

  DateTime Now() override {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
      char* end = nullptr;
      long long seconds = std::strtoll(epoch, &end, 10);
      if (end && *end == '\0') return ToDateTime(seconds, true);
    }
    return ToDateTime(static_cast<long long>(std::time(nullptr)), false);
  }

  void SetResidueFile(std::string path) { residueFile_ = std::move(path); }

 private:
  std::ostream& err_;
  bool yes_;
  std::optional<std::string> residueFile_;
};

// The command line has no window: Show Last leaves the report in its
// temporary file (standard output gets it with --stdout) and focus moves
// have nothing to act on.
class CliHost : public RunHost {
 public:
  void ShowLastOrmidReport() override {}
  void ShowLastCommodityReport() override {}
  void SetFocus(Control) override {}
};

void PrintInfo(const ModOrmid& m, std::ostream& out) {
  const char* survey = m.gSurveyBase == 0   ? "CSFII 1994-96, 1998"
                       : m.gSurveyBase == 1 ? "NHANES 1999-2006, 1-day"
                       : m.gSurveyBase == 2 ? "NHANES 2005-2010, 2-day"
                                            : "unknown";
  out << "Survey base:       " << m.gSurveyBase << " (" << survey << ")\n"
      << "Data version:      " << m.gDataVersion << "\n"
      << "Program version:   " << m.gProgramVersion << "\n"
      << "Window caption:    " << WindowCaption(m) << "\n"
      << "Working folder:    " << m.gWorkingDir << "\n"
      << "Residue path:      " << m.gResiduePath << "\n"
      << "Page length:       " << m.gPageLength << "\n"
      << "Page numbers:      " << m.gPageNumbers << "\n"
      << "Master foods:      " << m.gFoodCount << "\n"
      << "Food-form entries: " << m.gRacCount << "\n"
      << "Crop groups:       " << m.gCropGroupCount << "\n"
      << "PAD rows:          " << m.gPADFirstPop << " to "
      << std::min<int>(m.gPADFirstPop + m.gPADRowCount - 1, m.gPopCount) << "\n"
      << "Population subgroups: " << m.gPopCount << "\n"
      << "  Row  Column  Name\n";
  for (int k = 1; k <= m.gPopCount; ++k)
    out << std::setw(5) << k << std::setw(8) << m.gPopOrder[static_cast<std::size_t>(k)] << "  "
        << m.gPopNames[static_cast<std::size_t>(k)] << "\n";
}

// The window's controls after the open and the options.
bool BuildSettings(const Options& o, ModOrmid& m, WindowSettings& s, std::string& error) {
  s.txtMOE1 = DefaultNumberText(m.gNOEL);
  s.txtMOE2 = DefaultNumberText(m.gRefDose);
  s.txtMOE3 = DefaultNumberText(m.gQStar);
  s.txtComment = m.gRunComment;
  auto endpoint = [](const EndpointOption& e, bool& check, std::string& box) {
    if (!e.given) return;
    check = true;
    if (e.text) box = *e.text;
  };
  endpoint(o.noel, s.chkMOE1, s.txtMOE1);
  endpoint(o.rfd, s.chkMOE2, s.txtMOE2);
  endpoint(o.qstar, s.chkMOE3, s.txtMOE3);
  if (o.pad) s.chkMOE4 = s.chkMOE2 = true;
  s.chkSecondAdj = o.adj2;
  if (o.comment) s.txtComment = *o.comment;
  if (o.save) {
    s.chkSaveRpt = true;
    s.txtRptFile = *o.save;
  }
  s.chkComplete = o.complete;
  s.chkCritical = o.critical;
  if (o.foodPct) s.txtCrit1 = *o.foodPct;
  if (o.cropPct) s.txtCrit2 = *o.cropPct;
  s.chkStandard.assign(static_cast<std::size_t>(m.gPopCount), 0);
  if (o.subgroups) {
    auto rows = ParseSubgroupRows(*o.subgroups, m.gPopCount);
    if (!rows) {
      error = "--subgroups takes rows 1 to " + std::to_string(m.gPopCount) + " or all, not \"" +
              *o.subgroups + "\"";
      return false;
    }
    for (int r : *rows) s.chkStandard[static_cast<std::size_t>(r - 1)] = 1;
  }
  if (!o.padValues.empty()) {
    auto rows = LoadPadRows(m);
    for (const auto& [row, text] : o.padValues) {
      bool found = false;
      for (PadRow& r : rows)
        if (r.subgroup == row) {
          r.text = text;
          found = true;
        }
      if (!found) {
        error = "subgroup row " + std::to_string(row) + " has no box on the PAD form (rows " +
                (rows.empty() ? std::string("none")
                              : std::to_string(rows.front().subgroup) + " to " +
                                    std::to_string(rows.back().subgroup)) +
                ")";
        return false;
      }
    }
    StorePadRows(m, rows);
  }
  return true;
}

int Usage(std::ostream& err, const std::string& error) {
  err << "ormid-cli: " << error << "\n"
      << "Try 'ormid-cli --help' for more information.\n";
  return kExitUsage;
}

bool CopyToStdout(const char* file, std::ostream& out) {
  auto bytes = ReadWholeFile(file);
  if (!bytes) return false;
  out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  out.flush();
  return true;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string error;
  auto parsed = ParseOptions(args, error);
  if (!parsed) return Usage(err, error);
  const Options& o = *parsed;
  if (o.help) {
    out << UsageText();
    return kExitDone;
  }
  if (o.version) {
    out << "ormid-cli " << ProgramVersionText() << "\n";
    return kExitDone;
  }

  // The residue file is named relative to where the command was started.
  std::string residue;
  if (!o.residueFile.empty()) {
    std::error_code ec;
    residue = fs::absolute(fs::path(o.residueFile), ec).lexically_normal().string();
    if (ec) residue = o.residueFile;
  }
  if (!o.workdir.empty()) {
    std::error_code ec;
    fs::current_path(fs::path(o.workdir), ec);
    if (ec) {
      err << "ormid-cli: cannot enter the working folder " << o.workdir << ": " << ec.message()
          << "\n";
      return kExitStopped;
    }
  }

  CliPlatform platform(err, o.yes);
  CliHost host;
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;
  if (o.command == "info") {
    PrintInfo(m, out);
    return kExitDone;
  }

  platform.SetResidueFile(residue);
  int cancelled = 0;
  OpenResidueFile(m, platform, cancelled);
  if (cancelled != 0) return kExitStopped;

  WindowSettings settings;
  if (!BuildSettings(o, m, settings, error)) return Usage(err, error);

  const char* reportFile = nullptr;
  if (o.command == "listing") {
    if (!CheckResidueListing(m, platform, host, settings)) return kExitStopped;
    if (!WriteResidueListing(m, platform, settings, kResidueListingFile)) return kExitStopped;
    reportFile = kResidueListingFile;
  } else {
    int kind = o.command == "longterm" ? kRunLongTerm : kRunCommodity;
    if (checkstart(m, platform, host, settings, kind) != RunStatus::Done) return kExitStopped;
    reportFile = kind == kRunLongTerm ? kLongTermReportFile : kCommodityReportFile;
  }
  if (o.toStdout && !CopyToStdout(reportFile, out)) {
    err << "ormid-cli: cannot read " << reportFile << "\n";
    return kExitStopped;
  }
  return kExitDone;
}

}  // namespace ormid::cli
