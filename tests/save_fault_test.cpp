// Saves that fail on the disk: the temporary reports and the user's copies
// are written through the platform, whose steps here fail on purpose (at the
// file's creation, after half of its bytes, or when it replaces the old
// file). The file that was there must stay as it was, nothing may be left
// behind, and the message must name the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

#include "core/paths.h"
#include "core/run_host.h"
#include "delivery/report_delivery.h"
#include "residue/residue_listing.h"
#include "setup/run_request.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

enum class Fault { None, Create, Partial, Replace };

// A file that notes whether it was put on the disk before it was closed.
class NotedFile : public OutputFile {
 public:
  NotedFile(std::unique_ptr<OutputFile> file, bool& synced)
      : file_(std::move(file)), synced_(synced) {}
  bool Write(std::string_view bytes, std::string& error) override {
    return file_->Write(bytes, error);
  }
  bool Sync(std::string& error) override {
    synced_ = true;
    return file_->Sync(error);
  }
  bool Close(std::string& error) override { return file_->Close(error); }

 private:
  std::unique_ptr<OutputFile> file_;
  bool& synced_;
};

class FaultyPlatform : public FakePlatform {
 public:
  FaultyPlatform(std::string failing, Fault fault) : failing_(std::move(failing)), fault_(fault) {}

  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path,
                                               std::string& error) override {
    if (!Hits(path) || fault_ == Fault::None || fault_ == Fault::Replace) {
      auto file = Platform::CreateOutputFile(path, error);
      if (!file) return file;
      return std::make_unique<NotedFile>(std::move(file), synced[FileNameOnly(path)]);
    }
    if (fault_ == Fault::Create) {
      error = "No space left on device";
      return nullptr;
    }
    return std::make_unique<HalfFullDisk>(Platform::CreateOutputFile(path, error));
  }
  bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) override {
    if (Hits(to) && fault_ == Fault::Replace) {
      error = "Device or resource busy";
      return false;
    }
    return Platform::ReplaceFile(from, to, error);
  }

  // By file name: whether the file was put on the disk before it was closed.
  std::map<std::string, bool> synced;

 private:
  // The file itself or its temporary file.
  bool Hits(const std::string& path) const { return FileNameOnly(path).starts_with(failing_); }
  std::string failing_;
  Fault fault_;
};

struct NullUi : DeliveryUi {
  void ChooseDestination(const std::string&) override {}
  void ShowViewer(const std::string&, const std::string&, RunKind) override {}
  PrintOutcome PrintFile(const std::string&, std::string&) override {
    return PrintOutcome::Printed;
  }
  void SetPrinterNote(bool) override {}
};

std::vector<std::string> TemporaryFiles(const fs::path& dir) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.path().string().ends_with(TemporaryNameFor(""))) found.push_back(e.path().string());
  return found;
}

// One save: the file it writes (relative to the working folder) and the
// action, true when it finished.
struct Save {
  std::string file;
  std::function<bool(StartedInstallation&, Platform&)> run;
};

WindowSettings Settings(bool commodity, const std::string& copy = "") {
  WindowSettings s;
  s.chkMOE2 = true;
  s.txtMOE2 = "0.005";
  s.chkComplete = commodity;
  s.chkStandard = {1};
  s.chkSaveRpt = !copy.empty();
  s.txtRptFile = copy;
  return s;
}

const Save kSaves[] = {
    {"ormdtemp.txt",
     [](StartedInstallation& s, Platform& p) {
       RecordingHost host;
       return host.Run(s.m, p, Settings(false), RunKind::LongTerm) == RunStatus::Done;
     }},
    {"tempcomm.txt",
     [](StartedInstallation& s, Platform& p) {
       RecordingHost host;
       return host.Run(s.m, p, Settings(true), RunKind::Commodity) == RunStatus::Done;
     }},
    {"tempres.fil",
     [](StartedInstallation& s, Platform& p) {
       return WriteResidueListing(s.m, p, Settings(false), kResidueListingFile);
     }},
    {"residues/week1.OR10",
     [](StartedInstallation& s, Platform& p) {
       RecordingHost host;
       return host.Run(s.m, p, Settings(false, "week1"), RunKind::LongTerm) == RunStatus::Done;
     }},
    {"residues/week1.CC10",
     [](StartedInstallation& s, Platform& p) {
       RecordingHost host;
       return host.Run(s.m, p, Settings(true, "week1"), RunKind::Commodity) == RunStatus::Done;
     }},
    {"saved.OR10",
     [](StartedInstallation& s, Platform& p) {
       WriteFileBytes(kLongTermReportFile, "a long-term report\r\n");
       s.m.gReportDest = 3;
       s.m.gSaveFileName = "saved.OR10";
       NullUi ui;
       DeliverTo(s.m, p, ui, RunKind::LongTerm, kLongTermReportFile);
       return static_cast<FakePlatform&>(p).messages.back().title == "Action completed";
     }},
};

TEST(SaveFaultTest, AFailedWriteLeavesThePreviousFile) {
  const std::string previous = "previous contents\r\n";
  for (const Save& save : kSaves) {
    for (Fault fault : {Fault::None, Fault::Create, Fault::Partial, Fault::Replace}) {
      SCOPED_TRACE(save.file + " fault " + std::to_string(static_cast<int>(fault)));
      StartedInstallation s(SmallInstallation(0));
      ASSERT_TRUE(s.Open(SmallResidueFile(0)));
      const fs::path file = s.dir.path() / save.file;
      WriteFileBytes(file, previous);
      FaultyPlatform p(FileNameOnly(save.file), fault);
      p.answers = {MsgAnswer::Yes};  // write over an earlier copy

      EXPECT_EQ(save.run(s, p), fault == Fault::None);
      EXPECT_EQ(TemporaryFiles(s.dir.path()), std::vector<std::string>{});
      const std::string now = ReadFileBytes(file);
      if (fault == Fault::None) {
        EXPECT_NE(now, previous);
        EXPECT_NE(now.find("\r\n"), std::string::npos);
        // Copies the user named reach the disk before they replace the old
        // ones; the working folder's reports need not.
        const bool savedCopy = !save.file.ends_with(".txt") && !save.file.ends_with(".fil");
        EXPECT_EQ(p.synced[FileNameOnly(TemporaryNameFor(save.file))], savedCopy);
        continue;
      }
      EXPECT_EQ(now, previous);
      ASSERT_FALSE(p.messages.empty());
      EXPECT_NE(p.messages.back().text.find(FileNameOnly(save.file)), std::string::npos)
          << p.messages.back().text;
    }
  }
}

TEST(SaveFaultTest, AWorkingFolderThatCannotBeWritten) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  StartedInstallation s(SmallInstallation(0));
  ASSERT_TRUE(s.Open(SmallResidueFile(0)));
  WriteFileBytes(kLongTermReportFile, "previous\r\n");
  fs::permissions(s.dir.path(), fs::perms::owner_write, fs::perm_options::remove);
  RecordingHost host;
  EXPECT_EQ(host.Run(s.m, s.platform, Settings(false), RunKind::LongTerm), RunStatus::Stopped);
  fs::permissions(s.dir.path(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(ReadFileBytes(kLongTermReportFile), "previous\r\n");
  ASSERT_EQ(s.platform.messages.size(), 1u);
  EXPECT_NE(s.platform.messages[0].text.find("ormdtemp.txt could not be written in the working "
                                             "folder " +
                                             s.m.gWorkingDir + ": Permission denied"),
            std::string::npos)
      << s.platform.messages[0].text;
}

}  // namespace
}  // namespace ormid::test
