#include "cli/cli_options.h"

#include <cstdlib>

namespace ormid::cli {

namespace {

bool ParseRow(const std::string& text, int& row) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  row = std::atoi(text.c_str());
  return true;
}

}  // namespace

std::string UsageText() {
  return "Usage: ormid-cli [-C DIR | --workdir DIR] COMMAND [ARGS] [OPTIONS]\n"
         "\n"
         "Commands:\n"
         "  info                     start up and print the installation summary\n"
         "  longterm RESIDUE_FILE    long-term analysis (ormdtemp.txt)\n"
         "  commodity RESIDUE_FILE   commodity contribution analysis (tempcomm.txt)\n"
         "  listing RESIDUE_FILE     residue file listing (tempres.fil)\n"
         "\n"
         "Options (each sets one control of the main window):\n"
         "  -C, --workdir DIR        the installation's working folder (holds KavriSupport.txt)\n"
         "  --noel[=TEXT]            check NOEL; its box gets TEXT or keeps the file's NOEL\n"
         "  --rfd[=TEXT]             check RfD; likewise\n"
         "  --qstar[=TEXT]           check Q* (alone); likewise\n"
         "  --pad                    check PAD (and thereby RfD)\n"
         "  --pad-value ROW=TEXT     PAD box of subgroup row ROW (repeatable; needs --pad)\n"
         "  --adj2                   use the second adjustment factor\n"
         "  --comment TEXT           run comment (default: the residue file's comment)\n"
         "  --save NAME              save reports to file NAME (extension added)\n"
         "  --yes                    answer Yes to the overwrite question (default No)\n"
         "  --complete, --critical   commodity reports wanted\n"
         "  --food-pct TEXT          critical value for foods/foodforms (needs --critical)\n"
         "  --crop-pct TEXT          critical value for crop groups (needs --critical)\n"
         "  --subgroups LIST         subgroup rows for the commodity analysis: 1,5,9 or all\n"
         "  --stdout                 also write the finished report to standard output\n"
         "  -h, --help               this text\n"
         "  --version                program version\n"
         "\n"
         "Messages go to standard error as \"TITLE: TEXT\". Exit status: 0 done, 1 stopped by\n"
         "a message, 2 usage error. SOURCE_DATE_EPOCH fixes the report date (UTC).\n";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  Options o;
  std::vector<std::string> positional;
  auto fail = [&](const std::string& what) -> std::optional<Options> {
    error = what;
    return std::nullopt;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a[0] != '-' || a == "--") {
      positional.push_back(a);
      continue;
    }
    std::string name = a;
    std::optional<std::string> inlineValue;
    if (a.rfind("--", 0) == 0) {
      auto eq = a.find('=');
      if (eq != std::string::npos) {
        name = a.substr(0, eq);
        inlineValue = a.substr(eq + 1);
      }
    }
    // An option that needs a value takes "--name=VALUE" or the next argument.
    auto value = [&](std::string& out) -> bool {
      if (inlineValue) {
        out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    auto flag = [&](bool& target) -> bool {
      if (inlineValue) return false;
      target = true;
      return true;
    };
    std::string v;
    if (name == "-C" || name == "--workdir") {
      if (!value(o.workdir)) return fail(name + " needs a folder");
    } else if (name == "--noel" || name == "--rfd" || name == "--qstar") {
      EndpointOption& e = name == "--noel" ? o.noel : name == "--rfd" ? o.rfd : o.qstar;
      e.given = true;
      e.text = inlineValue;
    } else if (name == "--pad-value") {
      if (!value(v)) return fail("--pad-value needs ROW=TEXT");
      auto eq = v.find('=');
      int row = 0;
      if (eq == std::string::npos || !ParseRow(v.substr(0, eq), row))
        return fail("--pad-value needs ROW=TEXT, not \"" + v + "\"");
      o.padValues.emplace_back(row, v.substr(eq + 1));
    } else if (name == "--comment" || name == "--save" || name == "--food-pct" ||
               name == "--crop-pct" || name == "--subgroups") {
      if (!value(v)) return fail(name + " needs a value");
      (name == "--comment"    ? o.comment
       : name == "--save"     ? o.save
       : name == "--food-pct" ? o.foodPct
       : name == "--crop-pct" ? o.cropPct
                              : o.subgroups) = v;
    } else if (name == "--pad"                      ? flag(o.pad)
               : name == "--adj2"                   ? flag(o.adj2)
               : name == "--yes"                    ? flag(o.yes)
               : name == "--complete"               ? flag(o.complete)
               : name == "--critical"               ? flag(o.critical)
               : name == "--stdout"                 ? flag(o.toStdout)
               : (name == "-h" || name == "--help") ? flag(o.help)
               : name == "--version"                ? flag(o.version)
                                                    : false) {
    } else {
      return fail("unknown option " + a);
    }
  }
  if (o.help || o.version) return o;
  if (positional.empty()) return fail("no command given");
  o.command = positional[0];
  bool needsFile = o.command == "longterm" || o.command == "commodity" || o.command == "listing";
  if (!needsFile && o.command != "info") return fail("unknown command " + o.command);
  if (needsFile) {
    if (positional.size() < 2) return fail(o.command + " needs a RESIDUE_FILE");
    o.residueFile = positional[1];
  }
  if (positional.size() > (needsFile ? 2u : 1u))
    return fail("unexpected argument " + positional[needsFile ? 2 : 1]);

  // What the main window's interlocks forbid.
  if (o.qstar.given && (o.noel.given || o.rfd.given || o.pad))
    return fail("--qstar is always used alone (not with --noel, --rfd or --pad)");
  if (!o.padValues.empty() && !o.pad) return fail("--pad-value needs --pad (the PAD form)");
  if ((o.foodPct || o.cropPct) && !o.critical)
    return fail("--food-pct and --crop-pct need --critical");
  if (o.subgroups && !o.complete && !o.critical)
    return fail("--subgroups needs --complete or --critical");
  if (o.command == "commodity" && !o.complete && !o.critical)
    return fail("commodity needs --complete or --critical");
  if (o.command == "info" && (o.noel.given || o.rfd.given || o.qstar.given || o.pad || o.adj2 ||
                              o.comment || o.save || o.complete || o.critical || o.toStdout))
    return fail("info takes no window settings");
  return o;
}

std::optional<std::vector<int>> ParseSubgroupRows(const std::string& list, int popCount) {
  std::vector<int> rows;
  if (list == "all") {
    for (int r = 1; r <= popCount; ++r) rows.push_back(r);
    return rows;
  }
  std::size_t start = 0;
  for (;;) {
    auto comma = list.find(',', start);
    std::string item =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int row = 0;
    if (!ParseRow(item, row) || row < 1 || row > popCount) return std::nullopt;
    rows.push_back(row);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return rows;
}

}  // namespace ormid::cli
