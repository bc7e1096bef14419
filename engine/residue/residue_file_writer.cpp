#include "residue/residue_file_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <stdexcept>

namespace ormid {
// A text item: always in double quotes, so that it may hold commas.
std::string Quoted(const std::string& text) {
  if (text.find('"') != std::string::npos) {
    throw std::invalid_argument("a text item cannot hold a double quote: " + text);
  }
  std::string item = "\"";
  item += text;
  item += '"';
  return item;
}

void AddLine(std::string& out, const std::vector<std::string>& items) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    out += items[i];
  }
  out += "\r\n";
}

bool IsMultiChemicalTag(const std::string& tag) {
  return tag.find("MC") != std::string::npos;
}

std::string ResidueNumberText(float value) {
  // Plain decimals read best (0.0005 rather than 5E-04); the exponent form is
  // kept for values where it is much shorter (1E-09).
  char fixed[64];
  char general[64];
  const auto f = std::to_chars(fixed, fixed + sizeof fixed, value, std::chars_format::fixed);
  const auto g = std::to_chars(general, general + sizeof general, value);
  std::string text = f.ec == std::errc() && f.ptr - fixed <= g.ptr - general + 3
                         ? std::string(fixed, f.ptr)
                         : std::string(general, g.ptr);
  std::replace(text.begin(), text.end(), 'e', 'E');
  return text;
}

double TrailingNumber(const std::string& line) {
  std::string tail = line.size() > 2 ? line.substr(line.size() - 2) : line;
  return std::strtod(tail.c_str(), nullptr);  // skips leading blanks, 0 without a number
}

bool UsesChemicalPairs(const ResidueFile& file) {
  return IsMultiChemicalTag(file.tag) && !file.chemicals.empty();
}

std::string ResidueFileText(const ResidueFile& file) {
  const bool withPairs = UsesChemicalPairs(file);
  auto addPairs = [&](std::vector<std::string>& items,
                      const std::vector<std::pair<float, float>>& values) {
    if (!withPairs) return;
    if (static_cast<int>(values.size()) > file.pairCount) {
      throw std::invalid_argument("an entry holds more value pairs than the file's count");
    }
    for (int i = 0; i < file.pairCount; ++i) {
      const auto& p = i < static_cast<int>(values.size()) ? values[i] : std::pair<float, float>{};
      items.push_back(ResidueNumberText(p.first));
      items.push_back(ResidueNumberText(p.second));
    }
  };

  std::string out;
  AddLine(out, {Quoted(file.chemical), ResidueNumberText(file.rfd), Quoted(file.tag),
                ResidueNumberText(file.item4), Quoted(file.item5), ResidueNumberText(file.noel),
                ResidueNumberText(file.item7), ResidueNumberText(file.qStar), Quoted(file.date)});
  if (IsMultiChemicalTag(file.tag)) {
    AddLine(out, {std::to_string(file.chemicals.size())});
    for (const ChemicalLine& chemical : file.chemicals) {
      AddLine(out, {chemical.line});
      if (TrailingNumber(chemical.line) != 0) AddLine(out, {chemical.secondLine});
    }
  }
  const std::string foodCount =
      std::to_string(file.foodCountOverride.value_or(static_cast<int>(file.foods.size())));
  if (file.comment) {
    AddLine(out, {"-1", Quoted(*file.comment), foodCount});
  } else {
    AddLine(out, {foodCount});
  }
  AddLine(out, {std::to_string(file.pairCount)});

  for (const ResidueFood& food : file.foods) {
    std::vector<std::string> items = {std::to_string(food.number), Quoted(food.code),
                                      Quoted(food.text), ResidueNumberText(food.residue)};
    addPairs(items, food.pairs);
    items.insert(items.end(),
                 {ResidueNumberText(food.adj1), ResidueNumberText(food.adj2),
                  std::to_string(food.forms.size()), Quoted(food.name), Quoted(food.comment)});
    AddLine(out, items);
    for (const ResidueForm& form : food.forms) {
      items = {std::to_string(form.code), Quoted(form.text), ResidueNumberText(form.residue)};
      addPairs(items, form.pairs);
      items.insert(items.end(), {ResidueNumberText(form.adj1), ResidueNumberText(form.adj2),
                                 Quoted(form.comment)});
      AddLine(out, items);
    }
  }
  return out;
}

}  // namespace ormid
