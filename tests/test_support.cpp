#include "tests/test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

#include "session/run_session.h"

namespace ormid::test {

MsgAnswer FakePlatform::MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                                   MsgButtons buttons) {
  messages.push_back({text, title, icon, buttons});
  if (onMessage) onMessage(messages.back());
  if (!answers.empty()) {
    MsgAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  switch (buttons) {
    case MsgButtons::OK:
    case MsgButtons::OKCancel:
      return MsgAnswer::OK;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
    case MsgButtons::YesNoDefaultNo:
      return MsgAnswer::Yes;
  }
  return MsgAnswer::OK;
}

std::string FakePlatform::InputBox(const std::string& prompt, const std::string&,
                                   const std::string&) {
  prompts.push_back(prompt);
  if (inputAnswers.empty()) return "";
  std::string a = inputAnswers.front();
  inputAnswers.pop_front();
  return a;
}

static std::optional<std::string> NextAnswer(std::deque<std::optional<std::string>>& q) {
  if (q.empty()) return std::nullopt;
  auto a = q.front();
  q.pop_front();
  return a;
}

std::optional<std::string> FakePlatform::OpenFileDialog(const FileDialogRequest& r) {
  openRequests.push_back(r);
  return NextAnswer(openAnswers);
}

std::optional<std::string> FakePlatform::SaveFileDialog(const FileDialogRequest& r) {
  saveRequests.push_back(r);
  return NextAnswer(saveAnswers);
}

std::optional<SaveFileChoice> FakePlatform::SaveFileDialogWithType(const FileDialogRequest& r) {
  int type = r.filterIndex;
  if (!saveTypeAnswers.empty()) {
    type = saveTypeAnswers.front();
    saveTypeAnswers.pop_front();
  }
  auto path = SaveFileDialog(r);
  if (!path) return std::nullopt;
  return SaveFileChoice{*path, type};
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("ormid-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

namespace {

// The current directory, or the temp folder when an earlier test left the
// process in a folder that has since been removed.
std::filesystem::path CurrentOrTemp() {
  std::error_code ec;
  auto current = std::filesystem::current_path(ec);
  return ec ? std::filesystem::temp_directory_path() : current;
}

}  // namespace

ScopedCurrentDir::ScopedCurrentDir(const std::filesystem::path& dir) : saved_(CurrentOrTemp()) {
  std::filesystem::current_path(dir);
}

ScopedCurrentDir::~ScopedCurrentDir() {
  std::error_code ec;
  std::filesystem::current_path(saved_, ec);
}

std::string ReadFileBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFileBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::filesystem::path SourceDir() {
  return ORMID_SOURCE_DIR;
}

namespace {

// What a run leaves in a working folder (the files .gitignore keeps out of
// the samples).
bool LeftByARun(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  const std::string ext = file.extension().string();
  return name == "ormdtemp.txt" || name == "tempcomm.txt" || name == "tempres.fil" ||
         name.starts_with("ormid-history.sqlite") || name.ends_with(".manifest.json") ||
         ext == ".OR10" || ext == ".CC10" || ext == ".OR1";
}

}  // namespace

void CopySampleInstallation(const std::string& name, const std::filesystem::path& to) {
  namespace fs = std::filesystem;
  const fs::path from = SourceDir() / "samples" / name;
  fs::create_directories(to);
  for (auto e = fs::recursive_directory_iterator(from); e != fs::recursive_directory_iterator();
       ++e) {
    const fs::path target = to / fs::relative(e->path(), from);
    if (e->is_directory())
      fs::create_directories(target);
    else if (e->is_regular_file() && !LeftByARun(e->path()))
      fs::copy_file(e->path(), target);
  }
}

std::vector<CsvRow> ParseCsv(const std::string& text) {
  std::vector<CsvRow> rows(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
        field += text[++i];
      else if (c == '"')
        quoted = false;
      else
        field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.back().push_back(field);
      field.clear();
      rows.emplace_back();
      ++i;
    } else {
      field += c;
    }
  }
  rows.pop_back();  // after the last line end
  return rows;
}

std::string WithStrayFoodForms(const std::string& demofos) {
  std::vector<std::string> lines;
  for (std::size_t at = 0;;) {
    const std::size_t end = demofos.find("\r\n", at);
    lines.push_back(demofos.substr(at, end == std::string::npos ? end : end - at));
    if (end == std::string::npos) break;
    at = end + 2;
  }
  const std::pair<const char*, const char*> strays[] = {
      {",\"Orange, juice\",", "100,\"\",0.048,1,0.35,\"\""},
      {",\"Beef, meat\",", "600,\"\",0.3,0.7,0.45,\"\""}};
  for (const auto& stray : strays) {
    const char* name = stray.first;
    const char* form = stray.second;
    const auto food = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(name) != std::string::npos;
    });
    if (food == lines.end()) throw std::runtime_error(std::string("no food ") + name);
    // NUMBER,"CODE","TEXT",RESIDUE,ADJ1,ADJ2,FORMS,"NAME","COMMENT"
    const std::size_t at = food->find(name);
    const std::size_t count = food->rfind(',', at - 1) + 1;
    const int forms = std::stoi(food->substr(count, at - count));
    food->replace(count, at - count, std::to_string(forms + 1));
    lines.insert(food + 1 + forms, form);
  }
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) out += (i > 0 ? "\r\n" : "") + lines[i];
  return out;
}

std::string ZipMember(const std::filesystem::path& zip, const std::string& member) {
  std::string out, command = "unzip -p '" + zip.string() + "' '" + member + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[65536];
  for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  if (pipe) ::pclose(pipe);
  return out;
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t e = text.find('\n', i);
    if (e == std::string_view::npos) e = text.size();
    std::string_view line = text.substr(i, e - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    i = e + 1;
  }
  return lines;
}

SessionRun RunThroughSession(ModOrmid& m, Platform& p, RunHost& host, const WindowSettings& s,
                             RunKind report) {
  RunRequest request;
  request.kind = report;
  request.settings = s;
  RunSession session(m, p);
  const RunOutcome run = session.Run(request, host);
  if (run.notice) ShowNotice(p, *run.notice);
  if (run.status == RunStatus::Done) session.Finish({});
  return {run.status, run.focus, run.showReport};
}

}  // namespace ormid::test
