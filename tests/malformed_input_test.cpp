// Systematic damage to every file the readers take: cut at every item,
// record or table line, each number replaced by text or by a value beyond 16 bits, counts
// below their range, records that point outside their lists, missing and
// unreadable files. Each ends in the reader's message naming the file and the
// problem; none reads past the end of its data (the sanitizer build of these
// tests would stop on that).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/run_host.h"
#include "exposure/total_exposure.h"
#include "residue/residue_reader.h"
#include "residue_table/residue_table.h"
#include "residue_table/residue_table_command.h"
#include "setup/run_request.h"
#include "setup/startup.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
namespace td = testdata;

// An item of a free-format text: [begin, end) and where the next one starts.
struct Item {
  std::size_t begin, end, next;
};

// The items of a text; with quote '\0' quotes are plain characters.
std::vector<Item> Items(const std::string& text, const char quote = '"') {
  std::vector<Item> items;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t begin = i;
    if (text[i] == quote) i = text.find(quote, i + 1) + 1;
    while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') ++i;
    const std::size_t end = i;
    if (i < text.size() && text[i] == '\r') ++i;
    items.push_back({begin, end, std::min(i + 1, text.size())});
    i = items.back().next;
  }
  return items;
}

// Where the text can be cut right before an item: its start and after
// every delimiter short of the end.
std::vector<std::size_t> CutPoints(const std::string& text) {
  std::vector<std::size_t> cuts{0};
  for (const Item& item : Items(text))
    if (item.next < text.size()) cuts.push_back(item.next);
  return cuts;
}

// Non-empty items written without quotes: the numbers.
std::vector<Item> NumberItems(const std::string& text) {
  std::vector<Item> numbers;
  for (const Item& item : Items(text))
    if (item.end > item.begin && text[item.begin] != '"') numbers.push_back(item);
  return numbers;
}

std::string LineOf(const std::string& text, std::size_t at) {
  return "line " + std::to_string(1 + std::count(text.begin(), text.begin() + at, '\n')) + ": ";
}

std::string Replaced(std::string text, const Item& item, const std::string& by) {
  return text.replace(item.begin, item.end - item.begin, by);
}

struct Started {
  bool ok;
  std::vector<RecordedMessage> messages;
};

// The start-up in dir with one file's bytes replaced.
Started StartWith(const fs::path& dir, const std::string& file, const std::string& bytes) {
  WriteFileBytes(dir / file, bytes);
  ScopedCurrentDir cwd(dir);
  FakePlatform p;
  ModOrmid m;
  bool ok = StartUp(m, p, false);
  return {ok, p.messages};
}

void ExpectFatal(const Started& s, const std::string& file, const std::string& problem) {
  ASSERT_FALSE(s.ok) << problem;
  ASSERT_EQ(s.messages.size(), 1u) << problem;
  EXPECT_EQ(s.messages[0].title, "Fatal error!");
  EXPECT_TRUE(s.messages[0].text.starts_with("File " + file + " can't be read: " + problem))
      << s.messages[0].text << "\nexpected: " << problem;
}

// A residue file text opened on the installation; its messages are in s.platform.
bool OpenText(StartedInstallation& s, const std::string& text) {
  const fs::path path = s.dir.path() / "residues" / "damaged.R98";
  WriteFileBytes(path, text);
  s.platform.messages.clear();
  s.platform.openAnswers = {path.string()};
  int cancelled = 0;
  OpenResidueFile(s.m, s.platform, cancelled);
  return cancelled == 0;
}

void ExpectRefused(const StartedInstallation& s, const std::string& problem) {
  ASSERT_EQ(s.platform.messages.size(), 1u) << problem;
  const RecordedMessage& msg = s.platform.messages[0];
  EXPECT_EQ(msg.title, "Reading Residue File");
  EXPECT_TRUE(msg.text.starts_with("Residue file " +
                                   (s.dir.path() / "residues/damaged.R98").string() +
                                   " can't be read: " + problem))
      << msg.text << "\nexpected: " << problem;
}

// The small residue file with every float off the integers, so that the
// unquoted items that read as whole numbers are the 16-bit ones.
td::ResidueFile SweepFile(int base, bool multiChemical) {
  td::ResidueFile f = SmallResidueFile(base);
  f.foodCountOverride = 5;  // the same header for every number of foods
  f.item4 = 0.25f;
  f.item7 = 0.75f;
  auto offInteger = [](auto& e) {
    e.residue += 0.125f;
    e.adj1 = 0.5f;
    e.adj2 = 0.25f;
  };
  for (auto& food : f.foods) {
    offInteger(food);
    for (auto& form : food.forms) offInteger(form);
  }
  if (multiChemical) {
    f.tag = base == 0 ? "FCIDMC1" : "05-10-cMCNH2";
    f.chemicals = {{"\"Chem A\", 1", "5,\"second line\""}, {"\"Chem B\", 0", ""}};
    f.pairCount = 1;
  }
  return f;
}

TEST(MalformedInputTest, InstallationTextFilesCutAtEveryItem) {
  for (int base : {0, 2}) {
    TempDir dir;
    td::WriteInstallation(SmallInstallation(base), dir.path());
    for (std::string file : {kSupportListFile, kSetupFile, "Desc.txt"}) {
      const std::string whole = ReadFileBytes(dir.path() / file);
      for (std::size_t cut : CutPoints(whole)) {
        SCOPED_TRACE(file + " cut at " + std::to_string(cut));
        ExpectFatal(StartWith(dir.path(), file, whole.substr(0, cut)), file,
                    LineOf(whole, cut) + "the file ends here");
      }
      WriteFileBytes(dir.path() / file, whole);
    }
  }
}

TEST(MalformedInputTest, ResidueFilesCutAtEveryItem) {
  for (auto [base, multiChemical] : {std::pair{0, false}, {2, false}, {0, true}, {2, true}}) {
    StartedInstallation s(SmallInstallation(base));
    td::ResidueFile file = SweepFile(base, multiChemical);
    const std::string whole = td::ResidueFileText(file);
    // Where the files of the first k foods end: a cut there leaves k foods.
    std::vector<std::size_t> entryEnds;
    for (std::size_t k = 0; k <= file.foods.size(); ++k) {
      td::ResidueFile first = file;
      first.foods.resize(k);
      entryEnds.push_back(td::ResidueFileText(first).size());
      ASSERT_EQ(whole.substr(0, entryEnds.back()), td::ResidueFileText(first));
    }
    for (std::size_t cut : CutPoints(whole)) {
      SCOPED_TRACE("base " + std::to_string(base) + " cut at " + std::to_string(cut));
      const bool opened = OpenText(s, whole.substr(0, cut));
      const auto k = std::find(entryEnds.begin(), entryEnds.end(), cut) - entryEnds.begin();
      if (k == 0) {
        ASSERT_EQ(s.platform.messages.size(), 1u);
        EXPECT_EQ(s.platform.messages[0].title, "Empty Residue File");
      } else if (k < static_cast<long>(entryEnds.size())) {
        EXPECT_TRUE(opened);
        EXPECT_EQ(s.m.gResFoodCount, k);
        EXPECT_TRUE(s.platform.messages.empty());
        continue;
      } else {
        ExpectRefused(s, LineOf(whole, cut) + "the file ends here");
      }
      EXPECT_FALSE(opened);
    }
  }
}

TEST(MalformedInputTest, NumbersReplacedByTextOrBeyond16Bits) {
  for (int base : {0, 2}) {
    StartedInstallation s(SmallInstallation(base));
    const std::string text = td::ResidueFileText(SweepFile(base, false));
    for (const Item& item : NumberItems(text)) {
      const std::string number = text.substr(item.begin, item.end - item.begin);
      SCOPED_TRACE("residue file item " + number + " at " + std::to_string(item.begin));
      EXPECT_FALSE(OpenText(s, Replaced(text, item, "x")));
      ExpectRefused(s, LineOf(text, item.begin) + "\"x\" where a number belongs");
      const bool wholeNumber = number.find_first_of(".eE") == std::string::npos;
      EXPECT_EQ(OpenText(s, Replaced(text, item, "70000")), !wholeNumber);
      if (wholeNumber)
        ExpectRefused(s, LineOf(text, item.begin) + "\"70000\" is beyond the 16-bit");
    }
  }

  TempDir dir;
  td::WriteInstallation(SmallInstallation(0), dir.path());
  for (std::string file : {kSetupFile, "Desc.txt"}) {
    const std::string text = ReadFileBytes(dir.path() / file);
    // The first item of a crop group line, its sequence number, is read as
    // text and not used.
    const std::size_t groups = text.find("\r\n38\r\n") + 2;
    for (const Item& item : NumberItems(text)) {
      SCOPED_TRACE(file + " item at " + std::to_string(item.begin));
      const bool sequence =
          file == "Desc.txt" && item.begin > groups && text[item.begin - 1] == '\n';
      for (std::string by : {"x", "70000"}) {
        Started started = StartWith(dir.path(), file, Replaced(text, item, by));
        if (sequence)
          EXPECT_TRUE(started.ok);
        else
          ExpectFatal(started, file,
                      LineOf(text, item.begin) + "\"" + by +
                          (by == "x" ? "\" where a number belongs" : "\" is beyond the 16-bit"));
      }
    }
    WriteFileBytes(dir.path() / file, text);
  }
  // The support list's count lines take a number's leading part, so text
  // reads as 0; too large a count is refused.
  const std::string list = ReadFileBytes(dir.path() / kSupportListFile);
  for (const Item& item : Items(list, '\0')) {
    const std::string line = list.substr(item.begin, item.end - item.begin);
    if (line.find('=') == std::string::npos) continue;
    const std::string damaged = line.substr(0, line.find('=') + 1) + "70000";
    ExpectFatal(StartWith(dir.path(), kSupportListFile, Replaced(list, item, damaged)),
                kSupportListFile,
                LineOf(list, item.begin) + "\"" + damaged + "\" holds a count beyond the 16-bit");
  }
}

TEST(MalformedInputTest, CountsBelowTheirRange) {
  struct Case {
    std::string file, from, to, problem;
  } cases[] = {
      {kSupportListFile, "PopCount=33", "PopCount=0", "the number of population subgroups is 0"},
      {kSupportListFile, "SupportFirst=1", "SupportFirst=-1", "a support list index below 0"},
      {"Desc.txt", "\"Processing\",3", "\"Processing\",-1", "a negative count in the second list"},
      {"Desc.txt", "\r\n38\r\n", "\r\n-2\r\n", "a negative number of crop groups"},
      {"Desc.txt", "0,\"Uncooked\"", "-1,\"Uncooked\"", "line 2: digit -1 lies outside the first"},
  };
  TempDir dir;
  td::WriteInstallation(SmallInstallation(0), dir.path());
  for (const Case& c : cases) {
    const std::string text = ReadFileBytes(dir.path() / c.file);
    std::string damaged = text;
    ASSERT_NE(text.find(c.from), std::string::npos) << c.from;
    ExpectFatal(
        StartWith(dir.path(), c.file, damaged.replace(text.find(c.from), c.from.size(), c.to)),
        c.file, c.problem);
    WriteFileBytes(dir.path() / c.file, text);
  }
}

// A survey base other than 0, 1 or 2 starts with the NHANES layouts, and
// every residue file is then refused without a message (the fuzzed support
// list in tests/regression/support_list/survey-base-4).
TEST(MalformedInputTest, OtherSurveyBasesRefuseResidueFilesSilently) {
  StartedInstallation s(SmallInstallation(4));
  ASSERT_TRUE(s.started);
  EXPECT_FALSE(s.Open(SmallResidueFile(2)));
  EXPECT_TRUE(s.platform.messages.empty());
  EXPECT_EQ(s.m.gResidueLoaded, 0);
}

TEST(MalformedInputTest, MasterFilesCutAtEveryRecord) {
  for (int base : {0, 2}) {
    TempDir dir;
    td::WriteInstallation(SmallInstallation(base), dir.path());
    for (auto [file, length, what] : {std::tuple{"Food.dat", base == 0 ? 60 : 62, " foods"},
                                      {"Rac.dat", 6, " food-form entries"}}) {
      const std::string whole = ReadFileBytes(dir.path() / file);
      const std::size_t n = whole.size() / length;
      for (std::size_t k = 0; k < n; ++k) {
        for (std::size_t part : {0, length / 2}) {
          SCOPED_TRACE(std::string(file) + " cut after " + std::to_string(k) + " records");
          ExpectFatal(StartWith(dir.path(), file, whole.substr(0, k * length + part)), file,
                      "it holds " + std::to_string(k) + what + ", the support list names " +
                          std::to_string(n));
        }
      }
      WriteFileBytes(dir.path() / file, whole);
    }
  }
}

TEST(MalformedInputTest, MasterFoodsPointingOutsideTheirLists) {
  TempDir dir;
  td::WriteInstallation(SmallInstallation(0), dir.path());
  const std::string whole = ReadFileBytes(dir.path() / "Food.dat");
  // {offset, value} pairs put into one record: food number, form count, first form.
  const std::vector<std::pair<int, int>> damages[] = {
      {{0, -1}}, {{0, 7}}, {{56, -1}}, {{56, 1}, {58, 0}}, {{56, 2}, {58, 5}}};
  for (int r = 1; r <= 6; ++r) {
    for (const auto& damage : damages) {
      SCOPED_TRACE("record " + std::to_string(r) + ", offset " + std::to_string(damage[0].first));
      std::string bytes = whole;
      for (auto [offset, value] : damage) {
        bytes[(r - 1) * 60 + offset] = static_cast<char>(value & 0xff);
        bytes[(r - 1) * 60 + offset + 1] = static_cast<char>((value >> 8) & 0xff);
      }
      ExpectFatal(StartWith(dir.path(), "Food.dat", bytes), "Food.dat",
                  "record " + std::to_string(r) + ": ");
    }
  }
}

// A record beyond a consumption file's end reads as a record without data,
// so a file cut anywhere gives the totals of the whole file with the missing
// records blanked.
TEST(MalformedInputTest, ConsumptionFilesCutAtEveryRecord) {
  for (int base : {0, 2}) {
    StartedInstallation s(SmallInstallation(base));
    ASSERT_TRUE(s.Open(SmallResidueFile(base)));
    const std::size_t length = base == 0 ? 144 : 110;
    auto totals = [&s](const std::string& file, const std::string& bytes) {
      WriteFileBytes(s.dir.path() / file, bytes);
      int failed = 0;
      s.platform.messages.clear();
      ComputeTotalExposure(s.m, s.platform, failed);
      EXPECT_EQ(failed, 0);
      EXPECT_TRUE(s.platform.messages.empty());
      return s.m.gPopExposure;
    };
    for (std::string file : {"Cons1.dat", "Cons2.dat"}) {
      const std::string whole = ReadFileBytes(s.dir.path() / file);
      for (std::size_t k = 0; k * length < whole.size(); ++k) {
        SCOPED_TRACE(file + " cut after " + std::to_string(k) + " records");
        const std::string blanked =
            whole.substr(0, k * length) + std::string(whole.size() - k * length, '\0');
        const auto expected = totals(file, blanked);
        EXPECT_EQ(totals(file, whole.substr(0, k * length)), expected);
        EXPECT_EQ(totals(file, whole.substr(0, k * length + length / 2)), expected);
      }
      WriteFileBytes(s.dir.path() / file, whole);
    }
  }
}

// A consumption file gone, or unreadable, by the time of a run: the run
// stops on the message and both earlier reports stay.
TEST(MalformedInputTest, ConsumptionFilesThatCannotBeOpenedAtARun) {
  const bool root = ::geteuid() == 0;  // root reads files without permission
  for (bool remove : {true, false}) {
    if (!remove && root) continue;
    for (std::string file : {"Cons1.dat", "Cons2.dat"}) {
      for (RunKind report : {RunKind::LongTerm, RunKind::Commodity}) {
        StartedInstallation s(SmallInstallation(0));
        ASSERT_TRUE(s.Open(SmallResidueFile(0)));
        WriteFileBytes(kLongTermReportFile, "earlier long-term\r\n");
        WriteFileBytes(kCommodityReportFile, "earlier commodity\r\n");
        if (remove)
          fs::remove(file);
        else
          fs::permissions(file, fs::perms::none);
        WindowSettings w;
        w.chkMOE2 = w.chkComplete = true;
        w.txtMOE2 = "0.005";
        w.chkStandard = {1};
        RecordingHost host;
        EXPECT_EQ(host.Run(s.m, s.platform, w, report), RunStatus::Stopped);
        ASSERT_EQ(s.platform.messages.size(), 1u);
        EXPECT_EQ(s.platform.messages[0].text,
                  "The consumption file " + file + " cannot be opened.");
        EXPECT_EQ(s.platform.messages[0].title, "support file error");
        EXPECT_EQ(ReadFileBytes(kLongTermReportFile), "earlier long-term\r\n");
        EXPECT_EQ(ReadFileBytes(kCommodityReportFile), "earlier commodity\r\n");
      }
    }
  }
}

TEST(MalformedInputTest, UnreadableFiles) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files without permission";
  TempDir dir;
  td::WriteInstallation(SmallInstallation(0), dir.path());
  for (std::string file : {kSupportListFile, kSetupFile, "Desc.txt", "Food.dat", "Rac.dat"}) {
    fs::permissions(dir.path() / file, fs::perms::none);
    ScopedCurrentDir cwd(dir.path());
    FakePlatform p;
    ModOrmid m;
    EXPECT_FALSE(StartUp(m, p, false));
    fs::permissions(dir.path() / file, fs::perms::owner_read | fs::perms::owner_write);
    ExpectFatal({false, p.messages}, file, "the file cannot be opened.   Can't continue.");
  }
  StartedInstallation s(SmallInstallation(0));
  const fs::path path = s.dir.path() / "residues" / "damaged.R98";
  td::WriteResidueFile(SmallResidueFile(0), path);
  fs::permissions(path, fs::perms::none);
  s.platform.openAnswers = {path.string()};
  int cancelled = 0;
  OpenResidueFile(s.m, s.platform, cancelled);
  EXPECT_EQ(cancelled, 1);
  ExpectRefused(s, "the file cannot be opened. Can't use this file.");
}

// --- Residue tables ---

// The small residue file exported as a table, and its lines (CR LF cut off).
struct ExportedTable {
  td::ResidueFile file;
  std::string text;
  std::vector<std::string> lines;
  std::size_t heading = 0;  // index of the column heading line
};

ExportedTable ExportSmall(StartedInstallation& s, int base) {
  ExportedTable t;
  t.file = SmallResidueFile(base);
  const fs::path original = s.dir.path() / "residues" / "small.R98";
  td::WriteResidueFile(t.file, original);
  EXPECT_TRUE(ExportResidueTable(s.m, s.platform, original.string(), "t.csv", "t.csv").written);
  t.text = ReadFileBytes(s.dir.path() / "t.csv");
  for (std::size_t at = 0; at < t.text.size();) {
    const std::size_t end = t.text.find("\r\n", at);
    t.lines.push_back(t.text.substr(at, end - at));
    at = end + 2;
  }
  while (!t.lines[t.heading].starts_with("Commodity code,")) ++t.heading;
  return t;
}

struct TableRun {
  TableImportOutcome outcome;
  bool exists;
};

TableRun ImportLines(StartedInstallation& s, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  WriteFileBytes(s.dir.path() / "cut.csv", text);
  fs::remove(s.dir.path() / "out.R98");
  TableRun r{ImportResidueTable(s.m, s.platform, "cut.csv", "cut.csv", "out.R98"), false};
  r.exists = fs::exists(s.dir.path() / "out.R98");
  return r;
}

// Every problem names a line of the table the import was given.
void ExpectLinesWithin(const TableImportOutcome& o, std::size_t lines) {
  for (const std::string& problem : o.problems) {
    ASSERT_TRUE(problem.starts_with("cut.csv:")) << problem;
    const int line = std::atoi(problem.c_str() + 8);
    EXPECT_GE(line, 1) << problem;
    EXPECT_LE(line, std::max<int>(1, static_cast<int>(lines))) << problem;
  }
}

TEST(MalformedInputTest, TablesCutAtEveryLine) {
  for (int base : {0, 2}) {
    StartedInstallation s(SmallInstallation(base));
    const ExportedTable t = ExportSmall(s, base);
    for (std::size_t k = 0; k <= t.lines.size(); ++k) {
      SCOPED_TRACE("base " + std::to_string(base) + ", first " + std::to_string(k) + " lines");
      const std::vector<std::string> first(t.lines.begin(), t.lines.begin() + k);
      const TableRun r = ImportLines(s, first);
      ExpectLinesWithin(r.outcome, k);
      if (k <= t.heading + 1) {
        EXPECT_FALSE(r.outcome.problems.empty());
        EXPECT_FALSE(r.exists);
        continue;
      }
      // The rows kept: whole foods, and the food forms of the last one so far.
      td::ResidueFile expected = t.file;
      std::size_t rows = k - t.heading - 1;
      std::vector<td::ResidueFood> kept;
      for (const td::ResidueFood& food : t.file.foods) {
        if (rows == 0) break;
        kept.push_back(food);
        kept.back().forms.resize(std::min(food.forms.size(), rows - 1));
        rows -= 1 + kept.back().forms.size();
      }
      expected.foods = kept;
      EXPECT_TRUE(r.outcome.problems.empty()) << r.outcome.problems[0];
      ASSERT_TRUE(r.exists);
      EXPECT_EQ(ReadFileBytes(s.dir.path() / "out.R98"), td::ResidueFileText(expected));
    }
  }
}

// Every field of the table replaced by text and by extreme numbers: a
// problem on its line where the field must be a code or a usable number, a
// file Ormid reads where it may be any text.
TEST(MalformedInputTest, TableFieldsReplacedByTextAndExtremeNumbers) {
  struct Value {
    std::string text;
    bool number;        // a residue or factor the file can take
    bool signedNumber;  // a value of Item 4 or Item 7
  } values[] = {{"x", false, false},
                {"", false, true},
                {"1e39", false, false},
                {"-1e39", false, false},
                {"3.4028235e38", false, false},
                {"1e-50", false, false},
                {"inf", false, false},
                {"nan", false, false},
                {"-1", false, true},
                {"-0", true, true},
                {"99999999999", true, true},
                {"0.000001", true, true}};
  for (int base : {0, 2}) {
    StartedInstallation s(SmallInstallation(base));
    const ExportedTable t = ExportSmall(s, base);
    MasterFoods foods;
    std::string error;
    ASSERT_TRUE(LoadMasterFoods(s.m, foods, error));
    for (std::size_t n = 0; n < t.lines.size(); ++n) {
      if (n == t.heading || t.lines[n].empty()) continue;
      CsvTable split;
      TableProblem problem;
      ASSERT_TRUE(ReadCsvTable(t.lines[n], split, problem));
      const std::vector<std::string> cells = split.records[0].cells;
      const bool header = n < t.heading;
      for (std::size_t c = header ? 1 : 0; c < cells.size(); ++c) {
        for (const Value& v : values) {
          SCOPED_TRACE("base " + std::to_string(base) + ", line " + std::to_string(n + 1) +
                       ", field " + std::to_string(c + 1) + " = \"" + v.text + "\"");
          std::vector<std::string> row = cells;
          row[c] = v.text;
          std::vector<TableRow> cellsRow(1);
          for (const std::string& cell : row) cellsRow[0].push_back({cell});
          std::vector<std::string> lines = t.lines;
          lines[n] = CsvTableText(cellsRow);
          lines[n].resize(lines[n].size() - 2);
          bool ok;
          if (header) {
            const std::string key = cells[0];
            if (key == "NOEL" || key == "RfD" || key == "Q*")
              ok = v.number;
            else if (key == "Item 4" || key == "Item 7")
              ok = v.signedNumber;
            else
              ok = true;  // texts: the chemical name, tag, date, comment, item 5
            if (key == "Chemical name" && v.text.empty()) ok = false;
          } else {
            const bool formRow = !cells[2].empty();
            switch (c) {
              case 0:
                ok = false;  // no such commodity code
                break;
              case 2:
                ok = !formRow && v.text.empty();  // a food form row without a form repeats its food
                break;
              case 4:
              case 5:
              case 6:
                ok = v.number;
                break;
              default:
                ok = true;  // the name, the food form's label, the comment
            }
          }
          // The import's steps without the disk (a residue file written as
          // the user's copy is forced to the disk, too slow for a sweep).
          std::string text;
          for (const std::string& line : lines) text += line + "\r\n";
          CsvTable table;
          ASSERT_TRUE(ReadCsvTable(text, table, problem));
          const TableImport made = ImportResidueRows(s.m, foods, table, "12-05-2026");
          if (!ok) {
            ASSERT_FALSE(made.problems.empty());
            EXPECT_TRUE(header || made.problems[0].line == static_cast<int>(n + 1))
                << made.problems[0].line << ": " << made.problems[0].text;
            continue;
          }
          EXPECT_TRUE(made.problems.empty()) << made.problems[0].text;
          // Ormid reads what would be written.
          ModOrmid m = s.m;
          s.platform.messages.clear();
          int failed = 0;
          ReadResidueText(m, s.platform, td::ResidueFileText(made.file), failed);
          EXPECT_EQ(failed, 0);
          for (const RecordedMessage& msg : s.platform.messages)
            ADD_FAILURE() << msg.title << ": " << msg.text;
        }
      }
    }
  }
}

}  // namespace
}  // namespace ormid::test
