#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
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
    "a message or a problem of the data, 2 usage error. SOURCE_DATE_EPOCH fixes the report\n"
    "date (UTC).";

}  // namespace

CommandLine::CommandLine()
    : app_(std::make_unique<CLI::App>(
          "Ormid, the long-term dietary exposure module of KAVRI-FCID, without a window.",
          "ormid-cli")) {
  app_->add_option("-C,--workdir", global_.workdir,
                   "the installation's working folder (holds KavriSupport.txt)")
      ->type_name("DIR");
  // Answered before parsing (Execute); here for the help and the manual.
  app_->add_flag("--version")->description("print the program's version and end");
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

std::string CommandLine::GivenCommand() const {
  // The command named last ("residue export"), as far as it was read.
  std::string path = app_->get_name();
  for (const CLI::App* chosen = app_.get();;) {
    auto given = chosen->get_subcommands([](const CLI::App* s) { return s->parsed() > 0; });
    if (given.empty()) return path;
    chosen = given.front();
    path += " " + chosen->get_name();
  }
}

int CommandLine::Execute(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
  // --version answers wherever it stands, before anything a command needs
  // is asked for ("longterm --version" has no residue file).
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "--version") {
      out << "ormid-cli " << PackageVersionText() << "\n";
      return kExitDone;
    }
  }
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app_->parse(reversed);
  } catch (const CLI::CallForHelp&) {
    // The help of the command named last ("residue export --help"), its
    // usage line with the program's name.
    out << app_->help();
    return kExitDone;
  } catch (const CLI::CallForAllHelp&) {
    out << app_->help("", CLI::AppFormatMode::All);
    return kExitDone;
  } catch (const CLI::ParseError& e) {
    return ReportUsageError(err, e.what(), GivenCommand());
  }
  for (const auto& [sub, action] : commands_) {
    if (!sub->parsed()) continue;
    try {
      return action(out, err);
    } catch (const UsageError& e) {
      return ReportUsageError(err, e.text, GivenCommand());
    }
  }
  return ReportUsageError(err, "no command given", GivenCommand());
}

int ReportUsageError(std::ostream& err, const std::string& text, const std::string& command) {
  // A usage error quotes the arguments and file texts it is about: on one
  // line, never obeyed.
  err << "ormid-cli: " << TerminalText(text) << "\n"
      << "Try '" << command << " --help' for more information.\n";
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

bool IsStandardInput(const std::string& path) {
  return path == "-";
}

void RefuseStandardInput(const std::string& path, const std::string& what, const std::string& why) {
  if (IsStandardInput(path))
    throw UsageError{what + " cannot be standard input (-): " + why + "; name the file"};
}

std::optional<std::string> ReadStandardInput(std::size_t limit, std::string& error) {
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, stdin);
    bytes.append(buffer, n);
    if (bytes.size() > limit) {
      error = "is larger than " + std::to_string(limit >> 20) + " MB";
      return std::nullopt;
    }
    if (n < sizeof buffer) break;
  }
  if (std::ferror(stdin)) {
    error = "cannot be read";
    std::clearerr(stdin);
    return std::nullopt;
  }
  std::clearerr(stdin);
  return bytes;
}

std::string AbsoluteFromStart(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  auto absolute = fs::absolute(fs::path(path), ec).lexically_normal().string();
  return ec ? path : absolute;
}

}  // namespace ormid::cli
