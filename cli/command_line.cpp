#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <ostream>

#include "core/utf8.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace fs = std::filesystem;

namespace {

// Help without the marks of flags that take an optional "=TEXT": "--noel",
// not "--noel{...}".
class Formatter : public CLI::Formatter {
 public:
  std::string make_option_name(const CLI::Option* opt, bool positional) const override {
    std::string name = CLI::Formatter::make_option_name(opt, positional);
    auto open = name.find('{');
    if (open == std::string::npos) return name;
    auto close = name.find('}', open);
    if (close == std::string::npos) return name;
    return name.erase(open, close - open + 1) + "[=TEXT]";
  }
};

const char* const kFooter =
    "Messages go to standard error as \"TITLE: TEXT\". Exit status: 0 done, 1 stopped by\n"
    "a message, 2 usage error. SOURCE_DATE_EPOCH fixes the report date (UTC).";

}  // namespace

CommandLine::CommandLine()
    : app_(std::make_unique<CLI::App>(
          "Ormid, the long-term dietary exposure module of KAVRI-FCID, without a window.",
          "ormid-cli")) {
  app_->add_option("-C,--workdir", global_.workdir,
                   "the installation's working folder (holds KavriSupport.txt)")
      ->type_name("DIR");
  app_->add_flag("--version", version_, "program version")->disable_flag_override();
  app_->require_subcommand(0, 1);
  app_->footer(kFooter);
  auto formatter = std::make_shared<Formatter>();
  formatter->column_width(30);
  app_->formatter(formatter);
}

CommandLine::~CommandLine() = default;

CLI::App& CommandLine::Add(const std::string& name, const std::string& description,
                           CommandAction action) {
  CLI::App& sub = AddNestedCommand(*app_, name, description);
  commands_.emplace_back(&sub, std::move(action));
  return sub;
}

CLI::App& AddNestedCommand(CLI::App& parent, const std::string& name,
                           const std::string& description) {
  CLI::App* sub = parent.add_subcommand(name, description);
  // Options of the whole line (-C) may also follow the command's own.
  sub->fallthrough();
  sub->footer(kFooter);
  return *sub;
}

int CommandLine::Execute(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app_->parse(reversed);
  } catch (const CLI::CallForHelp&) {
    CLI::App* chosen = app_.get();
    for (const auto& [sub, action] : commands_)
      if (sub->parsed()) chosen = sub;
    // The help of the command named last ("residue export --help").
    for (bool deeper = true; deeper;) {
      auto given = chosen->get_subcommands([](CLI::App* s) { return s->parsed() > 0; });
      deeper = !given.empty();
      if (deeper) chosen = given.front();
    }
    out << chosen->help();
    return kExitDone;
  } catch (const CLI::CallForAllHelp&) {
    out << app_->help("", CLI::AppFormatMode::All);
    return kExitDone;
  } catch (const CLI::ParseError& e) {
    return ReportUsageError(err, e.what());
  }
  if (version_) {
    out << "ormid-cli " << ProgramVersionText() << "\n";
    return kExitDone;
  }
  for (const auto& [sub, action] : commands_) {
    if (!sub->parsed()) continue;
    try {
      return action(out, err);
    } catch (const UsageError& e) {
      return ReportUsageError(err, e.text);
    }
  }
  return ReportUsageError(err, "no command given");
}

int ReportUsageError(std::ostream& err, const std::string& text) {
  // A usage error quotes the arguments and file texts it is about: on one
  // line, never obeyed.
  err << "ormid-cli: " << TerminalText(text) << "\n"
      << "Try 'ormid-cli --help' for more information.\n";
  return kExitUsage;
}

bool EnterWorkingFolder(const GlobalOptions& global, std::ostream& err) {
  if (global.workdir.empty()) return true;
  std::error_code ec;
  fs::current_path(fs::path(global.workdir), ec);
  if (ec) {
    err << "ormid-cli: cannot enter the working folder " << TerminalText(global.workdir) << ": "
        << ec.message() << "\n";
    return false;
  }
  return true;
}

std::string AbsoluteFromStart(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  auto absolute = fs::absolute(fs::path(path), ec).lexically_normal().string();
  return ec ? path : absolute;
}

}  // namespace ormid::cli
