#include "delivery/export_dialog.h"

#include <nlohmann/json.hpp>

#include "core/paths.h"
#include "core/platform.h"

namespace ormid {

int ExportTypeIndex(ExportFormat format) {
  switch (format) {
    case ExportFormat::Csv:
      return 1;
    case ExportFormat::Json:
      return 2;
    case ExportFormat::Xlsx:
      return 3;
  }
  return 1;
}

ExportFormat ExportTypeAt(int index) {
  switch (index) {
    case 2:
      return ExportFormat::Json;
    case 3:
      return ExportFormat::Xlsx;
    default:
      return ExportFormat::Csv;
  }
}

std::string WithExportExtension(const std::string& name, int typeIndex) {
  if (name.empty() || ExportFormatOf(name)) return name;
  return name + ExportExtension(ExportTypeAt(typeIndex));
}

std::string ProposedExportName(const nlohmann::json& manifest, int typeIndex) {
  std::string input, command = "results";
  if (!manifest.is_object()) return command + ExportExtension(ExportTypeAt(typeIndex));
  for (const char* member : {"residue_file", "group_file"})
    if (auto it = manifest.find(member); it != manifest.end() && it->is_object() &&
                                         it->contains("path") && (*it)["path"].is_string())
      input = FileNameOnly((*it)["path"].get<std::string>());
  if (auto run = manifest.find("run"); run != manifest.end() && run->is_object() &&
                                       run->contains("command") && (*run)["command"].is_string())
    command = (*run)["command"].get<std::string>();
  if (auto dot = input.rfind('.'); dot != std::string::npos && dot > 0) input.resize(dot);
  return (input.empty() ? std::string("results") : input) + "-" + command +
         ExportExtension(ExportTypeAt(typeIndex));
}

std::optional<std::string> ChooseExportFile(Platform& p, const std::string& initialDir,
                                            std::string proposal, int& typeIndex,
                                            const std::string& title) {
  for (;;) {
    FileDialogRequest request;
    request.title = title;
    request.filter = kExportTypes;
    request.filterIndex = typeIndex;
    request.initialDir = initialDir;
    request.fileName = proposal;
    auto chosen = p.SaveFileDialogWithType(request);
    if (!chosen || chosen->path.empty()) return std::nullopt;
    std::string name = WithExportExtension(chosen->path, chosen->filterIndex);
    typeIndex = ExportTypeIndex(ExportFormatOf(name).value_or(ExportFormat::Csv));
    if (p.FileExists(name)) {
      auto answer = p.MessageBox(
          "Export file " + name + " already exists. Do you want to write over this file?",
          "KAVRI-FCID Ormid Module", MsgIcon::Question, MsgButtons::YesNoCancel);
      if (answer == MsgAnswer::No) {
        proposal = name;
        continue;
      }
      if (answer != MsgAnswer::Yes) return std::nullopt;
    }
    return name;
  }
}

}  // namespace ormid
