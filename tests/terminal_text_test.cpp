// Texts the command line read or recorded reach the terminal escaped: a line
// feed, escape, NUL or other control character in a manifest's path, a
// group file's name or path, or an --exclude item is written as \xNN, on the
// line of the message that names it, by every command that prints it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/cli_platform.h"
#include "cli/cli_run.h"
#include "core/utf8.h"
#include "tests/cli_runner.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

// Nothing a terminal obeys: no control character but the line ends, no
// line that a name began.
void ExpectShownNotObeyed(const std::string& text, const std::string& forged) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    EXPECT_TRUE(u >= 0x20 || c == '\n' || c == '\r') << "control character " << int(u) << " in\n"
                                                     << text;
  }
  for (const std::string& line : Lines(text)) EXPECT_NE(line.rfind(forged, 0), 0u) << text;
  EXPECT_NE(text.find("\\x0A" + forged), std::string::npos) << text;
}

TEST(TerminalText, EscapesEveryControlCharacterOfAPieceOfALine) {
  EXPECT_EQ(TerminalText("a\nb\rc\x1b[2J"), "a\\x0Ab\\x0Dc\\x1B[2J");
  EXPECT_EQ(TerminalText(std::string("nul\0end", 7)), "nul\\x00end");
  EXPECT_EQ(TerminalText("\xC2\x85next"), "\\u0085next");  // NEL
  EXPECT_EQ(TerminalText("end\xC2\x9B"), "end\\u009B");    // CSI, the text's last
  EXPECT_EQ(TerminalText("Kümmel \xE4"), "Kümmel \xEF\xBF\xBD");
  EXPECT_EQ(TerminalText("plain text, 100%"), "plain text, 100%");
  // A message's own lines (CR LF) stay lines; a name's line feed does not.
  EXPECT_EQ(cli::TerminalMessage("Warning: x\r\n\r\nfile a\nb\x1b"),
            "Warning: x\r\n\r\nfile a\\x0Ab\\x1B");
  // A quoted text in a message is one line too.
  EXPECT_EQ(QuotedText("two\nlines"), "\"two\\x0Alines\"");
}

class TerminalSurfaces : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    CopySampleInstallation("csfii", P("csfii"));
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }
  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }

  TempDir dir_;
  ScopedCurrentDir cwd_{fs::current_path()};
};

// verify and rerun print the paths a manifest names: a path with a line
// feed, an escape and a NUL in it is shown, not obeyed.
TEST_F(TerminalSurfaces, ManifestPaths) {
  ASSERT_EQ(Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--save", "w1",
                 "--no-history"})
                .status,
            0);
  const fs::path file = P("csfii/residues/w1.OR10.manifest.json");
  nlohmann::json m = nlohmann::json::parse(ReadFileBytes(file));
  m["installation"]["files"][0]["path"] = "gone\nforged \x1b[2J";
  m["outputs"][0]["path"] = "report\nforged";
  WriteFileBytes(file, m.dump());
  // verify: the input is missing; rerun: the outputs are made again all the
  // same, and are the recorded ones.
  for (const auto& [command, status] : {std::pair{"verify", 1}, std::pair{"rerun", 0}}) {
    const CliResult r = Run({command, file.string()});
    EXPECT_EQ(r.status, status) << command << r.err;
    ExpectShownNotObeyed(r.out, "forged");
  }
  const CliResult v = Run({"verify", file.string()});
  EXPECT_NE(v.out.find("gone\\x0Aforged \\x1B[2J"), std::string::npos) << v.out;
}

// A group file's chemical and residue path, quoted in its messages, and
// --exclude items in the messages that refuse them.
TEST_F(TerminalSurfaces, GroupFileAndExcludeMessages) {
  const std::string head = "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index\n";
  WriteFileBytes(P("csfii/g1.csv"), head +
                                        "Demofos,residues/DEMOFOS.R98,0.5,100,yes\n"
                                        "\"Bad\x1b[2J\",residues/CYCLOFOS.R98,0.1,100,\n"
                                        "Third,residues/CYCLOFOS.R98,\"x\nforged\",100,\n");
  CliResult r = Run({"-C", "csfii", "cumulative", "csfii/g1.csv"});
  EXPECT_EQ(r.status, 2);
  ExpectShownNotObeyed(r.err, "forged");
  EXPECT_NE(r.err.find("\"Bad\\x1B[2J\" holds a control character"), std::string::npos) << r.err;
  WriteFileBytes(P("csfii/g2.csv"), head +
                                        "Demofos,residues/DEMOFOS.R98,0.5,100,yes\n"
                                        "Other,\"residues/none\nforged.R98\",0.1,100,\n");
  r = Run({"-C", "csfii", "cumulative", "csfii/g2.csv"});
  EXPECT_NE(r.status, 0);
  ExpectShownNotObeyed(r.err, "forged");
  EXPECT_NE(r.err.find("g2.csv:3: the residue file name \"residues/none\\x0Aforged.R98\" holds a "
                       "control character"),
            std::string::npos)
      << r.err;

  r = Run(
      {"-C", "csfii", "cumulative", "csfii/op-group.csv", "--exclude", "chemical:Evil\nforged"});
  EXPECT_EQ(r.status, 2);
  ExpectShownNotObeyed(r.err, "forged");
  r = Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd", "--exclude",
           "99\nforged"});
  EXPECT_EQ(r.status, 2);
  ExpectShownNotObeyed(r.err, "forged");
}

}  // namespace
}  // namespace ormid::test
