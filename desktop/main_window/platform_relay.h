// A platform that hands every call on to another one and tells its owner
// first whenever the user is about to be asked something (a message box, the
// input box, a file dialog). The main window runs analyses through it, so
// that its "running" note goes away before any question of the run.
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "core/platform.h"

namespace ormid {

class PlatformRelay : public Platform {
 public:
  PlatformRelay(Platform& inner, std::function<void()> beforeQuestion)
      : inner_(inner), beforeQuestion_(std::move(beforeQuestion)) {}

  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override {
    Ask();
    return inner_.MessageBox(text, title, icon, buttons);
  }
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultAnswer) override {
    Ask();
    return inner_.InputBox(prompt, title, defaultAnswer);
  }
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& r) override {
    Ask();
    return inner_.OpenFileDialog(r);
  }
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& r) override {
    Ask();
    return inner_.SaveFileDialog(r);
  }
  std::optional<SaveFileChoice> SaveFileDialogWithType(const FileDialogRequest& r) override {
    Ask();
    return inner_.SaveFileDialogWithType(r);
  }
  DateTime Now() override { return frozen_ ? *frozen_ : inner_.Now(); }
  bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
  std::optional<DateTime> FileModified(const std::string& path) override {
    return inner_.FileModified(path);
  }
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path,
                                               std::string& error) override {
    return inner_.CreateOutputFile(path, error);
  }
  bool ReplaceFile(const std::string& from, const std::string& to, std::string& error) override {
    return inner_.ReplaceFile(from, to, error);
  }
  void RemoveFile(const std::string& path) override { inner_.RemoveFile(path); }
  std::string CurrentDir() override { return inner_.CurrentDir(); }
  bool ChangeDir(const std::string& path) override { return inner_.ChangeDir(path); }

  // While a run goes the clock stands at the instant it started, so that
  // every page of its reports and its manifest carry the same date and time.
  void FreezeClock(const DateTime& t) { frozen_ = t; }
  void ThawClock() { frozen_.reset(); }

 private:
  void Ask() {
    if (beforeQuestion_) beforeQuestion_();
  }
  Platform& inner_;
  std::function<void()> beforeQuestion_;
  std::optional<DateTime> frozen_;
};

}  // namespace ormid
