// ormid-cli as a shell user expects it: --version and --help after any
// command, usage lines and hints that name the command, "-" for standard
// input where a file is read once, the batch's progress on a terminal and
// elsewhere, and exports named by symbolic links.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <functional>
#include <thread>

#include "cli/batch_command.h"
#include "cli/cli_run.h"
#include "cli/command_line.h"
#include "setup/startup.h"
#include "tests/cli_runner.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

// Every command path of the command line ("longterm", "residue export").
std::vector<std::vector<std::string>> EveryCommandPath() {
  cli::CommandLine cl;
  cli::AddEveryCommand(cl);
  std::vector<std::vector<std::string>> out;
  std::function<void(const CLI::App&, std::vector<std::string>)> walk =
      [&](const CLI::App& app, std::vector<std::string> path) {
        for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
          std::vector<std::string> p = path;
          p.push_back(sub->get_name());
          out.push_back(p);
          walk(*sub, p);
        }
      };
  walk(cl.App(), {});
  return out;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

// Standard input is a pipe that another thread fills with `bytes` while
// it lives, as `cat FILE | ormid-cli ... -` gives it.
class PipedStdin {
 public:
  explicit PipedStdin(std::string bytes) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    saved_ = ::dup(0);
    ::dup2(fds[0], 0);
    ::close(fds[0]);
    writer_ = std::thread([fd = fds[1], bytes = std::move(bytes)] {
      std::size_t at = 0;
      while (at < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0) break;
        at += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  ~PipedStdin() {
    ::dup2(saved_, 0);
    ::close(saved_);
    writer_.join();
    std::clearerr(stdin);
  }

 private:
  int saved_ = -1;
  std::thread writer_;
};

class CliShell : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    CopySampleInstallation("csfii", dir_.path() / "csfii");
    cwd_ = std::make_unique<ScopedCurrentDir>(dir_.path());
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }
  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  fs::path P(const std::string& name) const { return dir_.path() / name; }

  TempDir dir_;
  std::unique_ptr<ScopedCurrentDir> cwd_;
};

TEST_F(CliShell, VersionAndHelpAfterEveryCommand) {
  const auto commands = EveryCommandPath();
  ASSERT_GE(commands.size(), 12u);
  for (const auto& command : commands) {
    SCOPED_TRACE(Joined(command));
    // Whatever else the command would need first.
    std::vector<std::string> args = command;
    args.push_back("--version");
    CliResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ormid-cli " + PackageVersionText() + "\n");
    args.back() = "--help";
    r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Usage: ormid-cli " + Joined(command) + " "), std::string::npos) << r.out;
  }
  // After "--" it is a file's name.
  EXPECT_EQ(Run({"longterm", "--rfd", "--", "--version"}).status, 1);
}

TEST_F(CliShell, AUsageErrorNamesTheHelpOfItsCommand) {
  const struct {
    std::vector<std::string> args;
    std::string hint;
  } cases[] = {
      {{"longterm"}, "ormid-cli longterm"},
      {{"commodity", "x.R98", "--bogus"}, "ormid-cli commodity"},
      {{"residue", "import", "t.csv"}, "ormid-cli residue import"},
      {{"batch", "--out", "o"}, "ormid-cli batch"},
      {{"frobnicate"}, "ormid-cli"},
      {{}, "ormid-cli"},
  };
  for (const auto& c : cases) {
    const CliResult r = Run(c.args);
    EXPECT_EQ(r.status, cli::kExitUsage) << Joined(c.args);
    EXPECT_NE(r.err.find("\nTry '" + c.hint + " --help' for more information.\n"),
              std::string::npos)
        << r.err;
  }
}

TEST_F(CliShell, EachCommandOffersOnlyItsOwnOptions) {
  const CliResult help = Run({"listing", "--help"});
  for (const char* option : {"--complete", "--critical", "--food-pct", "--crop-pct", "--subgroups"})
    EXPECT_EQ(help.out.find(option), std::string::npos) << option;
  EXPECT_NE(Run({"commodity", "--help"}).out.find("--food-pct"), std::string::npos);
  // Given anyway, they are not known to it.
  const CliResult r = Run({"-C", "csfii", "listing", "csfii/residues/DEMOFOS.R98", "--complete"});
  EXPECT_EQ(r.status, cli::kExitUsage) << r.err;
  EXPECT_NE(r.err.find("--complete"), std::string::npos) << r.err;
}

TEST_F(CliShell, StandardInputWhereAFileIsReadOnce) {
  // A residue table from a pipe makes the bytes the file makes.
  const std::string table = ReadFileBytes(P("csfii/tables/DEMOFOS.csv"));
  ASSERT_GT(table.size(), 16384u);  // more than one read of the pipe
  CliResult r = Run({"-C", "csfii", "residue", "import", "csfii/tables/DEMOFOS.csv", "file.R98"});
  ASSERT_EQ(r.status, 0) << r.err;
  {
    PipedStdin in(table);
    r = Run({"-C", "csfii", "residue", "import", "-", "piped.R98"});
  }
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFileBytes(P("csfii/piped.R98")), ReadFileBytes(P("csfii/file.R98")));
  {
    PipedStdin in("Food,Form\n1,2,3\n\"open");
    r = Run({"-C", "csfii", "residue", "import", "-", "bad.R98"});
  }
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("standard input"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(P("csfii/bad.R98")));

  // A scenario file: its residue files are named from where the command
  // was started.
  {
    PipedStdin in(
        "id,residue_file,command,noel,rfd,qstar,pad,adj2,comment,reports,subgroups,food_pct,"
        "crop_pct\nfromstdin,csfii/residues/DEMOFOS.R98,longterm,,file,,,,,,,,\n");
    r = Run(
        {"-C", "csfii", "batch", "--scenarios", "-", "--out", P("out").string(), "--no-history"});
  }
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(P("out/fromstdin.OR10"))) << r.out << r.err;
  {
    PipedStdin in("id,residue_file\n");
    r = Run({"-C", "csfii", "batch", "--scenarios", "-", "--out", P("out2").string()});
  }
  EXPECT_EQ(r.status, cli::kExitUsage) << r.err;
  EXPECT_NE(r.err.find("on standard input"), std::string::npos) << r.err;

  // Where a file is named in the run's manifest, "-" is refused, saying so.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-C", "csfii", "longterm", "-", "--rfd"},
           {"-C", "csfii", "cumulative", "-"},
           {"-C", "csfii", "residue", "export", "-", "t.csv"},
           {"-C", "csfii", "batch", "-", "--rfd", "--out", P("out3").string()}}) {
    r = Run(args);
    EXPECT_EQ(r.status, cli::kExitUsage) << Joined(args) << "\n" << r.err;
    EXPECT_NE(r.err.find("cannot be standard input (-)"), std::string::npos) << r.err;
  }
}

TEST_F(CliShell, TheBatchProgressIsPlainWhereNoTerminalClearsALine) {
  using cli::ProgressStyle;
  EXPECT_EQ(cli::ProgressStyleFor(true, "xterm-256color"), ProgressStyle::Rewritten);
  EXPECT_EQ(cli::ProgressStyleFor(true, "dumb"), ProgressStyle::Lines);
  EXPECT_EQ(cli::ProgressStyleFor(true, ""), ProgressStyle::Lines);
  EXPECT_EQ(cli::ProgressStyleFor(true, nullptr), ProgressStyle::Lines);
  EXPECT_EQ(cli::ProgressStyleFor(false, "xterm"), ProgressStyle::Lines);
  const std::string plain = cli::ProgressText(ProgressStyle::Lines, 3, 10, 1.5);
  EXPECT_EQ(plain, "batch: 3/10 scenarios, 2 per second, 5 s left\n");
  const std::string rewritten = cli::ProgressText(ProgressStyle::Rewritten, 10, 10, 4);
  EXPECT_EQ(rewritten.rfind("\r\033[K", 0), 0u);
  EXPECT_NE(rewritten.find("10/10"), std::string::npos);
  EXPECT_EQ(cli::ProgressText(ProgressStyle::None, 1, 2, 1), "");
}

TEST_F(CliShell, AnExportNamedByASymbolicLinkIsWrittenThroughIt) {
  const std::vector<std::string> run = {
      "-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--no-history"};
  auto withExport = [&](const std::string& file, bool yes) {
    std::vector<std::string> args = run;
    args.push_back("--export");
    args.push_back(file);
    if (yes) args.push_back("--yes");
    return Run(args);
  };
  WriteFileBytes(P("target.csv"), "old\n");
  fs::create_symlink("target.csv", P("link.csv"));
  // Asked first, and No keeps both as they were.
  CliResult r = withExport(P("link.csv").string(), false);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Export file " + P("link.csv").string() + " already exists"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFileBytes(P("target.csv")), "old\n");
  r = withExport(P("link.csv").string(), true);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(P("link.csv")));
  EXPECT_EQ(ReadFileBytes(P("target.csv")).rfind("row,subgroup,", 0), 0u)
      << ReadFileBytes(P("target.csv")).substr(0, 80);
  // The CSV's manifest is beside the file written.
  EXPECT_TRUE(fs::exists(P("target.csv.manifest.json")));
  EXPECT_FALSE(fs::exists(P("link.csv.manifest.json")));

  // A link that leads to no file yet gets the question too.
  fs::create_symlink("sub/new.json", P("dangling.json"));
  fs::create_directory(P("sub"));
  r = withExport(P("dangling.json").string(), false);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_FALSE(fs::exists(P("sub/new.json")));
  r = withExport(P("dangling.json").string(), true);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(P("dangling.json")));
  EXPECT_TRUE(fs::exists(P("sub/new.json")));

  // Links in a loop lead nowhere.
  fs::create_symlink("loop2.csv", P("loop1.csv"));
  fs::create_symlink("loop1.csv", P("loop2.csv"));
  r = withExport(P("loop1.csv").string(), true);
  EXPECT_EQ(r.status, cli::kExitUsage) << r.err;
  EXPECT_NE(r.err.find("leads round in a loop"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace ormid::test
