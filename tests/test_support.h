// Shared test helpers: a scripted platform that records every message box and
// answers from a script, and temporary folders that clean up after themselves.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform.h"
#include "core/run_host.h"
#include "core/window_settings.h"
#include "setup/run_request.h"

namespace ormid::test {

struct RecordedMessage {
  std::string text;
  std::string title;
  MsgIcon icon;
  MsgButtons buttons;
};

// A disk that fills up halfway through the first piece written to it.
class HalfFullDisk : public OutputFile {
 public:
  explicit HalfFullDisk(std::unique_ptr<OutputFile> file) : file_(std::move(file)) {}
  bool Write(std::string_view bytes, std::string& error) override {
    file_->Write(bytes.substr(0, bytes.size() / 2), error);
    error = "No space left on device";
    return false;
  }
  bool Sync(std::string& error) override { return file_->Sync(error); }
  bool Close(std::string& error) override { return file_->Close(error); }

 private:
  std::unique_ptr<OutputFile> file_;
};

class FakePlatform : public Platform {
 public:
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultAnswer) override;
  DateTime Now() override { return now; }
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& r) override;
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& r) override;
  std::optional<SaveFileChoice> SaveFileDialogWithType(const FileDialogRequest& r) override;

  std::vector<RecordedMessage> messages;
  // Called with each message box as it is shown.
  std::function<void(const RecordedMessage&)> onMessage;
  std::vector<std::string> prompts;
  // Scripted answers, used in order; when empty the first button is pressed.
  std::deque<MsgAnswer> answers;
  std::deque<std::string> inputAnswers;
  // Scripted file dialog answers (nullopt = Cancel); Cancel when empty.
  std::deque<std::optional<std::string>> openAnswers;
  std::deque<std::optional<std::string>> saveAnswers;
  std::vector<FileDialogRequest> openRequests;
  std::vector<FileDialogRequest> saveRequests;
  // The file type picked in a save dialog with a list of types, in order;
  // the request's own when empty.
  std::deque<int> saveTypeAnswers;
  DateTime now{2026, 12, 5, 14, 3, 9};
};

// A fresh folder under the system temp folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// Runs the body with the current directory changed to dir, restoring it after.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::filesystem::path& dir);
  ~ScopedCurrentDir();

 private:
  std::filesystem::path saved_;
};

std::string ReadFileBytes(const std::filesystem::path& p);
// The lines of a text (CR LF or LF line ends), without their ends.
std::vector<std::string> Lines(std::string_view text);
void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes);
// Where the repository's bundled samples are.
std::filesystem::path SourceDir();
// Copies the bundled sample installation samples/NAME into the folder `to`
// (created), with its residue files, tables and sources, but without what
// runs on the samples leave there: temporary and saved reports, manifests
// and a run history.
void CopySampleInstallation(const std::string& name, const std::filesystem::path& to);
// A member of a zip archive (a workbook's sheet), read by unzip; empty when
// there is none.
std::string ZipMember(const std::filesystem::path& zip, const std::string& member);

// The records of an RFC 4180 text (CR LF line ends, quoted fields), as the
// exports write them.
using CsvRow = std::vector<std::string>;
std::vector<CsvRow> ParseCsv(const std::string& text);

// The Demofos sample residue file (CSFII or NHANES) with two food forms that
// are not among their commodities' master food forms, as a file put together
// by hand may have them: "Orange, juice" form 100 and "Beef, meat" form 600,
// each after its food's other forms (lines 183 and 306 of the exported table).
// Ormid reads them (nothing of them is consumed); a table import refuses them.
std::string WithStrayFoodForms(const std::string& demofos);

// A run as a front end makes it through the run session: the refusal or
// closing message shown through the platform; how it ended, the control that
// gets the keyboard, and whether the report is to be shown.
struct SessionRun {
  RunStatus status = RunStatus::Refused;
  Control focus = Control::None;
  bool showReport = false;
};
SessionRun RunThroughSession(ModOrmid& m, Platform& p, RunHost& host, const WindowSettings& s,
                             RunKind report);

// A front end's stand-in: runs through the run session and counts the
// reports it was to show and the controls it was to focus.
struct RecordingHost : RunHost {
  RunStatus Run(ModOrmid& m, Platform& p, const WindowSettings& s, RunKind report) {
    const SessionRun run = RunThroughSession(m, p, *this, s, report);
    if (run.showReport) ++shows;
    if (run.focus != Control::None) focus.push_back(run.focus);
    return run.status;
  }
  int shows = 0;
  std::vector<Control> focus;
};

}  // namespace ormid::test
