// The command line of ormid-cli: one CLI11 subcommand per job, each with its
// own --help, and the options every job shares.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace ormid::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitStopped = 1;
inline constexpr int kExitUsage = 2;
// rerun: every output is the recorded one but for the path of the working
// folder, which was moved or copied since (a report names its residue file
// with its folder).
inline constexpr int kExitSameButForFolder = 3;

// Options every command takes, wherever they stand on the line.
struct GlobalOptions {
  std::string workdir;  // -C / --workdir; "" = the current directory
};

// Thrown by a command's checks after parsing: a usage error (exit 2).
struct UsageError {
  std::string text;
};

// What a command does once its arguments are parsed: returns the exit status.
using CommandAction = std::function<int(std::ostream& out, std::ostream& err)>;

class CommandLine {
 public:
  CommandLine();
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  // Adds a subcommand; action runs when it is the one given.
  CLI::App& Add(const std::string& name, const std::string& description, CommandAction action);
  const GlobalOptions& Global() const { return global_; }
  // The whole command line's definitions: its options and subcommands,
  // from which the manual page and the shell completion are made.
  const CLI::App& App() const { return *app_; }

  // Parses args (without the program name) and runs the chosen command.
  int Execute(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

 private:
  std::unique_ptr<CLI::App> app_;
  // "ormid-cli longterm": the program and the commands given, as far as
  // the line was read.
  std::string GivenCommand() const;

  GlobalOptions global_;
  std::vector<std::pair<CLI::App*, CommandAction>> commands_;
};

// A command within a command ("residue export"): its own --help, and the
// options of the whole line after its own. The parent's action runs; it
// asks which of its commands was given.
CLI::App& AddNestedCommand(CLI::App& parent, const std::string& name,
                           const std::string& description);

// Prints a usage error the way every command does, with the hint of the
// help of `command` ("ormid-cli longterm"), and returns its status.
int ReportUsageError(std::ostream& err, const std::string& text,
                     const std::string& command = "ormid-cli");

// Enters the working folder of -C (the installation's folder stays the
// current directory for the whole run). False after its message.
bool EnterWorkingFolder(const GlobalOptions& global, std::ostream& err);

// "-" as a file name: standard input, where a command reads a file once.
bool IsStandardInput(const std::string& path);
// Throws a usage error when `path` is "-" where `what` ("the residue file")
// cannot be standard input, saying `why`.
void RefuseStandardInput(const std::string& path, const std::string& what, const std::string& why);
// The whole of standard input, at most `limit` bytes; nullopt with `error`
// ("is larger than ...", "cannot be read") otherwise.
std::optional<std::string> ReadStandardInput(std::size_t limit, std::string& error);

// A file named on the command line, made absolute against the folder the
// command was started in (before the working folder is entered).
std::string AbsoluteFromStart(const std::string& path);

}  // namespace ormid::cli
