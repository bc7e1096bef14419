// The platform seam: everything the module needs from the desktop that is not
// plain computation. The desktop program implements it with Qt, the command
// line on standard error, and the tests with a scripted fake, so the core never
// needs a display.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ormid {

enum class MsgIcon { None, Information, Exclamation, Question, Critical };
// YesNoDefaultNo: Yes and No with No pressed by Enter, for the questions
// asked before files are written over.
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel, YesNoDefaultNo };
enum class MsgAnswer { OK, Cancel, Yes, No };

// The answer a message box gets where nobody is there to press a button (the
// command line, a batch's workers): OK, Cancel where it may cancel, and to a
// question Yes only when the user said so beforehand (--yes).
MsgAnswer AnswerUnattended(MsgButtons buttons, bool yes);

// A local calendar date and time, as the platform's clock gives it.
struct DateTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// What a common file dialog is shown with.
struct FileDialogRequest {
  std::string title;
  std::string filter;  // "Description|*.EXT;*.ext"
  int filterIndex = 1;
  std::string initialDir;
  std::string fileName;  // proposed name
};

// A save dialog's answer with the file type picked in its list of types.
struct SaveFileChoice {
  std::string path;
  int filterIndex = 1;  // 1-based, in the request's filter list
};

// A file being written piece after piece, so that a long report need not be
// held whole before it goes to the disk.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Appends bytes; false with a description in error.
  virtual bool Write(std::string_view bytes, std::string& error) = 0;
  // Puts everything written on the disk itself (past the system's caches).
  virtual bool Sync(std::string& error) = 0;
  // Closes the file.
  virtual bool Close(std::string& error) = 0;
};

// What a written file is. A working file (the temporary reports in the
// working folder) is rewritten by the next run, so it only has to replace
// the old one whole. A saved copy (a file the user named) is also put on the
// disk before it replaces anything, so that even a power cut leaves the old
// copy or the new one.
enum class FileKind { WorkingFile, SavedCopy };

class Platform {
 public:
  virtual ~Platform() = default;

  // Modal message box; returns the button pressed.
  virtual MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                               MsgButtons buttons) = 0;
  // Input box; returns the answer, or "" for Cancel.
  virtual std::string InputBox(const std::string& prompt, const std::string& title,
                               const std::string& defaultAnswer) = 0;

  // Common file dialogs; nullopt when the user cancelled. A dialog leaves
  // the current folder as it found it (a native one may move it): callers
  // need not change back to the working folder.
  virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest&) {
    return std::nullopt;
  }
  virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest&) {
    return std::nullopt;
  }
  // A save dialog offering several file types ("Desc|*.a|Desc|*.b"); the
  // answer says which one the user picked. Without a list of types to pick
  // from it is the plain save dialog's answer with the request's filterIndex.
  virtual std::optional<SaveFileChoice> SaveFileDialogWithType(const FileDialogRequest& request) {
    auto path = SaveFileDialog(request);
    if (!path) return std::nullopt;
    return SaveFileChoice{*path, request.filterIndex};
  }

  // Clock.
  virtual DateTime Now() = 0;

  // File system. Relative names are relative to the current directory.
  virtual bool FileExists(const std::string& path);
  virtual std::optional<DateTime> FileModified(const std::string& path);
  // Writes a whole file so that it replaces an existing one only completely
  // (see FileReplacement). False with a description in error on failure; the
  // old file is then left as it was.
  bool WriteFile(const std::string& path, const std::string& bytes, FileKind kind,
                 std::string& error);
  // The steps of a replacement, each a seam for another file system (or for
  // faults put in on purpose). CreateOutputFile creates or truncates path (nullptr
  // with error on failure); ReplaceFile renames from over to; RemoveFile
  // removes a file and ignores any error.
  virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path, std::string& error);
  virtual bool ReplaceFile(const std::string& from, const std::string& to, std::string& error);
  virtual void RemoveFile(const std::string& path);
  virtual std::string CurrentDir();
  virtual bool ChangeDir(const std::string& path);
};

// The temporary file a replacement writes before it replaces path: beside
// it, named for this process ("NAME.PID.ormid-tmp").
std::string TemporaryNameFor(const std::string& path);

// Removes from a folder the temporary files ("NAME.PID.ormid-tmp") of
// programs that are no longer running: what a run killed before its end
// left behind. Those of running programs stay.
void RemoveStaleTemporaryFiles(const std::string& folder);

// Replaces a file only completely: the bytes go to a temporary file in the
// same folder (TemporaryNameFor), which Commit closes (a saved copy put on
// the disk first) and then renames over the target. Until then the old file stays as it was; a
// replacement that fails, or ends without Commit, removes its temporary file.
class FileReplacement {
 public:
  FileReplacement(Platform& p, std::string path, FileKind kind)
      : p_(p), path_(std::move(path)), kind_(kind) {}
  ~FileReplacement() { Abandon(); }
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Creates the temporary file.
  bool Open(std::string& error);
  // Appends bytes to it.
  bool Write(std::string_view bytes, std::string& error);
  // Closes it, then puts it in the target's place.
  bool Commit(std::string& error);
  // Gives up: closes and removes the temporary file.
  void Abandon();

 private:
  bool Fail();
  Platform& p_;
  std::string path_;
  FileKind kind_;
  std::unique_ptr<OutputFile> file_;
};

// "mm-dd-yyyy" and "hh:mm:ss" as the reports print them.
std::string FormatReportDate(const DateTime& t);
std::string FormatReportTime(const DateTime& t);
// The local time of a time_t, or its UTC time when utc is set.
DateTime ToDateTime(long long secondsSinceEpoch, bool utc);

}  // namespace ormid
