// The manual page and the shell completions of ormid-cli, made from the
// command line's own definitions (every command, nested ones among them,
// with its options), so that neither can miss a command or an option.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace ormid::cli {

struct PageFacts {
  std::string version;  // "4.0.1"
  std::string date;     // "2026-12-07", the page's date
  std::string docDir;   // where the package's documentation is installed
};

// ormid-cli(1) in roff (man(7) macros).
std::string ManualPage(const CLI::App& app, const PageFacts& facts);
// A bash completion script: commands, each command's options, the choices
// of an option that has them, files and folders where they are named.
std::string BashCompletion(const CLI::App& app);
// The same for zsh (_arguments), with each option's description.
std::string ZshCompletion(const CLI::App& app);

}  // namespace ormid::cli
