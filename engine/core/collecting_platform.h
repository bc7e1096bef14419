// The platform of a run without a window (a batch's worker, a cumulative
// run's chemical): its messages are kept for the caller to word instead of
// shown, Yes/No questions get the answer given for the whole run, and the
// clock reads one date.
#pragma once

#include <string>
#include <vector>

#include "core/platform.h"

namespace ormid {

class CollectingPlatform : public Platform {
 public:
  explicit CollectingPlatform(DateTime now = {}, bool yes = false) : now_(now), yes_(yes) {}

  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon,
                       MsgButtons buttons) override {
    messages.push_back(title + ": " + text);
    return AnswerUnattended(buttons, yes_);
  }
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string&) override {
    messages.push_back(title + ": " + prompt);
    return "";
  }
  std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override {
    return std::nullopt;
  }
  DateTime Now() override { return now_; }

  // Every message as one text ("TITLE: TEXT / TITLE: TEXT").
  std::string Messages() const {
    std::string all;
    for (const std::string& m : messages) all += (all.empty() ? "" : " / ") + m;
    return all.empty() ? "the run stopped without a message" : all;
  }

  std::vector<std::string> messages;  // "TITLE: TEXT", in order

 private:
  DateTime now_;
  bool yes_;
};

}  // namespace ormid
