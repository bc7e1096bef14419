// Report delivery without the desktop: the printer steps and their messages,
// the extension a typed save name gets, and when a report file name counts
// as a path.
#include <gtest/gtest.h>

#include "core/paths.h"
#include "delivery/report_delivery.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

// A printer that answers as told and notes the order of the note and the
// messages.
struct ScriptedPrinterUi : DeliveryUi {
  ScriptedPrinterUi(FakePlatform& p, PrintOutcome outcome) : p_(p), outcome_(outcome) {}
  void ChooseDestination(const std::string&) override {}
  void ShowViewer(const std::string&, const std::string&, RunKind) override {}
  PrintOutcome PrintFile(const std::string& text, std::string& error) override {
    printed = text;
    if (outcome_ == PrintOutcome::Failed) error = "the printer is out of paper";
    return outcome_;
  }
  void SetPrinterNote(bool visible) override {
    events.push_back(std::string(visible ? "note on" : "note off") + " after " +
                     std::to_string(p_.messages.size()) + " messages");
  }
  FakePlatform& p_;
  PrintOutcome outcome_;
  std::string printed;
  std::vector<std::string> events;
};

TEST(Delivery, PrinterOutcomesAndTheNote) {
  struct Case {
    PrintOutcome outcome;
    RunKind kind;
    std::string message;  // "" for none
  } cases[] = {
      {PrintOutcome::Printed, RunKind::LongTerm, "Action completed: Report sent to Printer"},
      {PrintOutcome::Printed, RunKind::Commodity,
       "Action completed: Commodity Contribution Report sent to Printer"},
      {PrintOutcome::Cancelled, RunKind::LongTerm, ""},
      {PrintOutcome::Failed, RunKind::LongTerm,
       "Action not completed: Ormid could not print the long-term report: the printer is out "
       "of paper."},
      {PrintOutcome::Failed, RunKind::Listing,
       "Action not completed: Ormid could not print the residue file listing: the printer is "
       "out of paper."},
  };
  for (const Case& c : cases) {
    StartedInstallation inst(SmallInstallation(0));
    WriteFileBytes(inst.dir.path() / "report.txt", "line 1\r\n\f\r\nline 2\r\n");
    ScriptedPrinterUi ui(inst.platform, c.outcome);
    inst.m.gReportDest = 2;
    DeliverTo(inst.m, inst.platform, ui, c.kind, "report.txt");
    std::string shown = inst.platform.messages.empty() ? ""
                                                       : inst.platform.messages[0].title + ": " +
                                                             inst.platform.messages[0].text;
    EXPECT_EQ(shown, c.message);
    EXPECT_LE(inst.platform.messages.size(), 1u);
    EXPECT_EQ(ui.printed, "line 1\r\n\f\r\nline 2\r\n");
    EXPECT_EQ(inst.m.gReportDest, 0);
    // The note goes only after the closing message.
    std::size_t after = inst.platform.messages.size();
    EXPECT_EQ(ui.events,
              (std::vector<std::string>{"note on after 0 messages",
                                        "note off after " + std::to_string(after) + " messages"}));
    EXPECT_EQ(shown.find("report.txt"), std::string::npos) << "names the file, not the report";
  }
}

TEST(Delivery, ATypedNameGetsTheKindsExtension) {
  struct Case {
    std::string name;
    RunKind kind;
    std::string expected;
  } cases[] = {
      {"/out/week1", RunKind::LongTerm, "/out/week1.OR10"},
      {"/out/week1", RunKind::Commodity, "/out/week1.CC10"},
      {"/out/week1", RunKind::Listing, "/out/week1.OR1"},
      {"/out/week1", RunKind::Cumulative, "/out/week1.CU10"},
      {"/out/week1.txt", RunKind::LongTerm, "/out/week1.txt"},
      {"/out/week1.or10", RunKind::LongTerm, "/out/week1.or10"},
      {"/out.d/week1", RunKind::LongTerm, "/out.d/week1.OR10"},  // a dot in a folder is not one
      {"week1", RunKind::Headroom, "week1"},  // a kind whose report is not delivered
      {"", RunKind::LongTerm, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(WithReportExtension(c.name, c.kind), c.expected) << c.name;
}

TEST(Delivery, SaveDialogNameWithoutExtensionIsSavedWithIt) {
  StartedInstallation inst(SmallInstallation(0));
  std::string base = (inst.dir.path() / "week1").string();
  WriteFileBytes(base + ".CC10", "old");
  inst.platform.saveAnswers = {base, base};
  inst.platform.answers = {MsgAnswer::No, MsgAnswer::Yes};
  inst.m.gReportKind = static_cast<Int16>(ReportCodeOf(RunKind::Commodity));
  ASSERT_TRUE(ChooseSaveFile(inst.m, inst.platform));
  // The overwrite question already asks about the name with its extension.
  ASSERT_EQ(inst.platform.messages.size(), 2u);
  EXPECT_EQ(inst.platform.messages[0].text, "File " + base + ".CC10 already exists. Write over?");
  EXPECT_EQ(inst.m.gSaveFileName, base + ".CC10");
  EXPECT_EQ(inst.m.gReportDest, 3);
}

TEST(Paths, AReportFileNameWithAPath) {
  struct Case {
    const char* name;
    bool windows;
    bool posix;
  } cases[] = {
      {"week1", false, false},     {"week1.or10", false, false}, {"d:\\out\\week1", true, true},
      {"c:week1", true, true},     {"out\\week1", true, true},   {"out/week1", false, true},
      {"/out/week1", false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ContainsPath(c.name, PathStyle::Windows), c.windows) << c.name;
    EXPECT_EQ(ContainsPath(c.name, PathStyle::Posix), c.posix) << c.name;
  }
}

}  // namespace
}  // namespace ormid::test
