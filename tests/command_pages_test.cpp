// The manual page and the shell completions of ormid-cli cover every
// command the command line has, nested ones among them, with every option
// each offers, and nothing a command does not offer.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/command_line.h"
#include "cli/command_pages.h"

namespace ormid::test {
namespace {

struct Command {
  std::string path;                  // "residue export"
  std::vector<std::string> options;  // "--noel", "-C"
};

// Every command of the line as the parser knows it, walked on its own here.
std::vector<Command> EveryCommand(const CLI::App& app) {
  std::vector<Command> out;
  std::function<void(const CLI::App&, const std::string&)> walk = [&](const CLI::App& a,
                                                                      const std::string& path) {
    for (const CLI::App* sub : a.get_subcommands([](const CLI::App*) { return true; })) {
      Command c{path.empty() ? sub->get_name() : path + " " + sub->get_name(), {}};
      for (const CLI::Option* o : sub->get_options()) {
        // Positionals, and options hidden from the help (and so from the
        // pages) that a command keeps only to refuse them.
        if (o->get_positional() || o->get_group().empty()) continue;
        for (const std::string& l : o->get_lnames())
          if (l != "help") c.options.push_back("--" + l);
      }
      out.push_back(c);
      walk(*sub, c.path);
    }
  };
  walk(app, "");
  return out;
}

std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

// The part of the manual page about one command: from its heading to the
// next heading.
std::string Section(const std::string& page, const std::string& path) {
  const std::string heading = ".SS \"ormid\\-cli " + Roff(path);
  std::size_t at = page.find(heading + " ");
  if (at == std::string::npos) at = page.find(heading + "\"");
  if (at == std::string::npos) return "";
  const std::size_t end = page.find("\n.S", at + heading.size());
  return page.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

class CommandPages : public ::testing::Test {
 protected:
  void SetUp() override { cli::AddEveryCommand(cl_); }
  cli::CommandLine cl_;
};

TEST_F(CommandPages, TheManualPageHasEveryCommandWithItsOptions) {
  const std::string page = cli::ManualPage(cl_.App(), {"9.8.7", "2031-02-03", "/doc/here"});
  EXPECT_EQ(page.rfind(".TH ORMID\\-CLI 1 \"2031-02-03\" \"Ormid 9.8.7\"", 0), 0u) << page;
  EXPECT_NE(page.find("/doc/here/docs/command\\-line.md"), std::string::npos);
  const std::vector<Command> commands = EveryCommand(cl_.App());
  // The commands every release has had, the last ones added among them.
  for (const char* known : {"longterm", "commodity", "listing", "headroom", "cumulative", "batch",
                            "residue export", "residue import", "history", "compare", "rerun"})
    EXPECT_TRUE(std::any_of(commands.begin(), commands.end(), [&](const Command& c) {
      return c.path == known;
    })) << known;
  for (const Command& c : commands) {
    const std::string section = Section(page, c.path);
    ASSERT_FALSE(section.empty()) << "no section for " << c.path;
    for (const std::string& option : c.options)
      EXPECT_NE(section.find("\\fB" + Roff(option) + "\\fR"), std::string::npos)
          << c.path << " " << option << "\n"
          << section;
  }
  // A listing has no commodity analysis, and its section offers none of
  // its options; a command's positionals are named as many times as it
  // takes them.
  const std::string listing = Section(page, "listing");
  for (const char* option : {"complete", "critical", "food\\-pct", "crop\\-pct", "subgroups"})
    EXPECT_EQ(listing.find(std::string("\\fB\\-\\-") + option), std::string::npos) << option;
  EXPECT_NE(Section(page, "compare").find("\\fIID ID\\fP"), std::string::npos);
  // No text line starts as a roff request by accident.
  std::size_t lineStart = 0;
  for (std::size_t at = 0; at <= page.size(); ++at) {
    if (at < page.size() && page[at] != '\n') continue;
    const std::string line = page.substr(lineStart, at - lineStart);
    if (!line.empty() && line[0] == '\'') ADD_FAILURE() << line;
    lineStart = at + 1;
  }
}

TEST_F(CommandPages, TheCompletionsHaveEveryCommandWithItsOptions) {
  const std::string bash = cli::BashCompletion(cl_.App());
  const std::string zsh = cli::ZshCompletion(cl_.App());
  EXPECT_NE(bash.find("complete -o filenames -F _ormid_cli ormid-cli"), std::string::npos);
  EXPECT_EQ(zsh.rfind("#compdef ormid-cli\n", 0), 0u);
  for (const Command& c : EveryCommand(cl_.App())) {
    // bash: the options offered after the command.
    const std::string key = "      \"" + c.path + "\") options=\"";
    const std::size_t at = bash.find(key);
    ASSERT_NE(at, std::string::npos) << c.path;
    const std::string offered =
        " " + bash.substr(at + key.size(), bash.find('"', at + key.size()) - at - key.size()) + " ";
    for (const std::string& option : c.options)
      EXPECT_NE(offered.find(" " + option + " "), std::string::npos) << c.path << " " << option;
    EXPECT_NE(offered.find(" --workdir "), std::string::npos) << c.path;
    // zsh: a function of its own that offers each option.
    std::string function = "_ormid-cli_";
    for (char ch : c.path) function += ch == ' ' ? '_' : ch;
    const std::size_t z = zsh.find("\n" + function + "() {\n");
    ASSERT_NE(z, std::string::npos) << function;
    const std::string body = zsh.substr(z, zsh.find("\n}\n", z) - z);
    for (const std::string& option : c.options)
      EXPECT_TRUE(body.find(option + "[") != std::string::npos ||
                  body.find(option + "=") != std::string::npos)
          << c.path << " " << option;
  }
  const std::size_t listing = bash.find("      \"listing\") options=\"");
  EXPECT_EQ(bash.substr(listing, bash.find('\n', listing) - listing).find("--critical"),
            std::string::npos);
}

}  // namespace
}  // namespace ormid::test
