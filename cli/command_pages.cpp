#include "cli/command_pages.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <sstream>
#include <vector>

namespace ormid::cli {

namespace {

enum class ValueKind { None, Text, File, Folder, Choice };

struct OptionFacts {
  std::vector<std::string> names;  // "-C", "--workdir"
  std::string value;               // "DIR"; "" for a flag
  bool optionalValue = false;      // "--noel[=TEXT]"
  bool repeatable = false;
  ValueKind kind = ValueKind::None;
  std::vector<std::string> choices;
  std::string description;
};

struct CommandFacts {
  std::string path;  // "longterm", "residue export"; "" for the whole line
  std::string description;
  std::vector<OptionFacts> options;
  std::vector<std::pair<std::string, std::string>> positionals;  // name, description
  // The words a positional's type name offers ("[show ID | check]": show,
  // check), completed in its first place.
  std::vector<std::string> words;
  std::vector<std::string> commands;  // the commands within it ("export", "import")
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

OptionFacts FactsOf(const CLI::Option& opt) {
  OptionFacts f;
  for (const std::string& s : opt.get_snames()) f.names.push_back("-" + s);
  for (const std::string& l : opt.get_lnames()) f.names.push_back("--" + l);
  f.description = opt.get_description();
  f.repeatable = opt.get_expected_max() > 1;
  if (opt.get_expected_max() == 0) {
    // A flag that may be given a text ("--noel=0.5"): its name carries the
    // mark of the text it has without one.
    f.optionalValue = opt.get_name(false, true).find('{') != std::string::npos;
    if (f.optionalValue) {
      f.value = "TEXT";
      f.kind = ValueKind::Text;
    }
    return f;
  }
  // "KIND:{cropgroup,food,form}": the name shown, then what its checks
  // allow.
  const std::string full = opt.get_type_name();
  const auto colon = full.find(':');
  f.value = full.substr(0, colon);
  if (colon != std::string::npos) {
    const auto open = full.find('{', colon), close = full.find('}', colon);
    if (open != std::string::npos && close != std::string::npos)
      f.choices = Split(full.substr(open + 1, close - open - 1), ',');
  }
  if (f.choices.empty() && f.value.find('|') != std::string::npos) f.choices = Split(f.value, '|');
  if (!f.choices.empty())
    f.kind = ValueKind::Choice;
  else if (f.value == "DIR")
    f.kind = ValueKind::Folder;
  else if (f.value == "FILE" || f.value == "NAME")
    f.kind = ValueKind::File;
  else
    f.kind = ValueKind::Text;
  if (f.value.empty()) f.value = "TEXT";
  return f;
}

// A positional as the synopsis writes it: "ID ID" for two, "[show ID]"
// where its type name shows the words it takes, "[FILE...]" when it may be
// left out or repeated.
std::string PositionalText(const CLI::Option& opt) {
  const std::string name = opt.get_name(true);
  const std::string type = opt.get_type_name();
  if (!type.empty() && type.front() == '[') return type;
  const int most = opt.get_expected_max();
  std::string text = name;
  if (most > 1 && most < 16)
    for (int i = 1; i < most; ++i) text += " " + name;
  else if (most > 1)
    text += "...";
  return opt.get_required() ? text : "[" + text + "]";
}

bool IsHelp(const CLI::Option& opt) {
  const auto& l = opt.get_lnames();
  return std::find(l.begin(), l.end(), "help") != l.end() ||
         std::find(l.begin(), l.end(), "help-all") != l.end();
}

void Collect(const CLI::App& app, const std::string& path, std::vector<CommandFacts>& out) {
  CommandFacts c;
  c.path = path;
  c.description = app.get_description();
  for (const CLI::Option* opt : app.get_options()) {
    if (opt->get_group().empty()) continue;  // hidden
    if (opt->get_positional()) {
      c.positionals.emplace_back(PositionalText(*opt), opt->get_description());
      const std::string type = opt->get_type_name();
      if (!type.empty() && type.front() == '[')
        for (const std::string& word : Split(type.substr(1, type.size() - 2), ' '))
          if (std::all_of(word.begin(), word.end(), [](char ch) { return ch >= 'a' && ch <= 'z'; }))
            c.words.push_back(word);
    } else if (path.empty() || !IsHelp(*opt)) {
      c.options.push_back(FactsOf(*opt));
    }
  }
  const auto subs = app.get_subcommands([](const CLI::App*) { return true; });
  for (const CLI::App* sub : subs) c.commands.push_back(sub->get_name());
  out.push_back(std::move(c));
  for (const CLI::App* sub : subs)
    Collect(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), out);
}

std::vector<CommandFacts> CollectAll(const CLI::App& app) {
  std::vector<CommandFacts> all;
  Collect(app, "", all);
  return all;
}

// --- The manual page ---

// Text in roff: backslashes written out, a dash that starts a word (an
// option) a minus sign, no line that starts as a request.
std::string Roff(const std::string& text) {
  std::string out;
  // Within a word that starts with a dash (an option: "--food-pct"), every
  // hyphen is one.
  bool option = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool wordStart = i == 0 || text[i - 1] == ' ' || text[i - 1] == '(' ||
                           text[i - 1] == '/' || text[i - 1] == '"' || text[i - 1] == '\n';
    if (wordStart) option = c == '-';
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && (wordStart || option || text[i - 1] == '-')) {
      out += "\\-";
    } else if (c == '\n') {
      out += "\n.br\n";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
  return out;
}

// An option's name: every hyphen a minus sign, as typed.
std::string RoffName(const std::string& name) {
  std::string out;
  for (char c : name) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

std::string OptionHeading(const OptionFacts& o) {
  std::string h;
  for (std::size_t i = 0; i < o.names.size(); ++i) {
    if (i) h += ", ";
    h += "\\fB" + RoffName(o.names[i]) + "\\fR";
  }
  if (o.optionalValue)
    h += "[=\\fI" + Roff(o.value) + "\\fR]";
  else if (!o.value.empty())
    h += " \\fI" + Roff(o.value) + "\\fR";
  return h;
}

void WriteOptions(std::ostream& out, const std::vector<OptionFacts>& options) {
  for (const OptionFacts& o : options) {
    out << ".TP\n" << OptionHeading(o) << "\n" << Roff(o.description);
    if (o.repeatable && o.description.find("repeatable") == std::string::npos)
      out << " (repeatable)";
    out << "\n";
  }
}

}  // namespace

std::string ManualPage(const CLI::App& app, const PageFacts& facts) {
  const std::vector<CommandFacts> all = CollectAll(app);
  std::ostringstream out;
  out << ".TH ORMID\\-CLI 1 \"" << facts.date << "\" \"Ormid " << facts.version
      << "\" \"KAVRI\\-FCID\"\n"
      << ".SH NAME\n"
      << "ormid\\-cli \\- long\\-term dietary exposure of a pesticide by population subgroup "
         "(command line)\n"
      << ".SH SYNOPSIS\n"
      << ".B ormid\\-cli\n"
      << "[\\fB\\-C\\fR \\fIDIR\\fR]\n"
      << ".I COMMAND\n"
      << "[\\fIARGS\\fR] [\\fIOPTIONS\\fR]\n"
      << ".br\n"
      << ".B ormid\\-cli\n"
      << "[\\fICOMMAND\\fR] \\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR\n"
      << ".SH DESCRIPTION\n"
      << ".B ormid\\-cli\n"
      << "runs the analyses of the desktop program\n"
      << ".BR ormid (1)\n"
      << "without a window, and the jobs it has beyond it, in the working folder DIR\n"
      << "(default: the current folder), the installation's folder that holds\n"
      << "KavriSupport.txt. Messages go to standard error as \"TITLE: TEXT\"; the\n"
      << "overwrite questions are answered No unless \\fB\\-\\-yes\\fR is given.\n"
      << "Files are named from the folder the command was started in. Where a\n"
      << "command reads a file once (a residue table to import, a scenario file),\n"
      << "\\fB\\-\\fR names standard input.\n"
      << ".SH OPTIONS\n"
      << "These go before the command or after its own options.\n";
  WriteOptions(out, all.front().options);
  out << ".SH COMMANDS\n";
  for (std::size_t i = 1; i < all.size(); ++i) {
    const CommandFacts& c = all[i];
    out << ".SS \"ormid\\-cli " << Roff(c.path);
    if (!c.commands.empty()) out << " \\fICOMMAND\\fP";
    for (const auto& [name, description] : c.positionals) out << " \\fI" << Roff(name) << "\\fP";
    if (!c.options.empty()) out << " [\\fIOPTIONS\\fP]";
    out << "\"\n" << Roff(c.description) << ".\n";
    if (!c.commands.empty()) {
      out << "Its commands:";
      for (std::size_t k = 0; k < c.commands.size(); ++k)
        out << (k ? ", " : " ") << "\\fB" << Roff(c.commands[k]) << "\\fR";
      out << ".\n";
    }
    for (const auto& [name, description] : c.positionals)
      out << ".TP\n\\fI" << Roff(name) << "\\fR\n" << Roff(description) << "\n";
    WriteOptions(out, c.options);
  }
  out << ".SH EXIT STATUS\n"
      << "0 done, 1 stopped by a message or by a problem of the data (a file that\n"
      << "cannot be read or used; standard output that could not be written),\n"
      << "2 usage error;\n"
      << ".B rerun\n"
      << "3: every output is the recorded one but for the path of the working folder.\n"
      << ".SH ENVIRONMENT\n"
      << ".TP\n"
      << ".B SOURCE_DATE_EPOCH\n"
      << "fixes the date of reports and manifests (UTC)\n"
      << ".TP\n"
      << ".B TERM\n"
      << "with \\fBdumb\\fR, the batch's progress is written as plain lines, as it is\n"
      << "where standard error is not a terminal\n"
      << ".SH FILES\n"
      << ".TP\n"
      << ".I ormdtemp.txt, tempcomm.txt, tempres.fil, tempcum.txt\n"
      << "the last long\\-term report, commodity report, residue file listing and\n"
      << "cumulative report, in the working folder\n"
      << ".TP\n"
      << ".I ormid\\-history.sqlite\n"
      << "the run history of the working folder\n"
      << ".TP\n"
      << ".I /usr/share/ormid/samples\n"
      << "two sample installations\n"
      << ".SH SEE ALSO\n"
      << ".BR ormid (1),\n"
      << Roff(facts.docDir) << "/README.md,\n"
      << Roff(facts.docDir) << "/docs/command\\-line.md\n";
  return out.str();
}

namespace {

// --- bash ---

std::string Words(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

// A case pattern of one command's options ("longterm:--comment").
std::string Patterns(const std::string& path, const std::vector<const OptionFacts*>& options) {
  std::string text;
  for (const OptionFacts* o : options)
    for (const std::string& name : o->names)
      text += (text.empty() ? "\"" : "|\"") + path + ":" + name + "\"";
  return text;
}

}  // namespace

std::string BashCompletion(const CLI::App& app) {
  const std::vector<CommandFacts> all = CollectAll(app);
  const std::vector<OptionFacts>& global = all.front().options;
  std::ostringstream out;
  out << "# bash completion of ormid-cli, made from its command definitions.\n"
      << "_ormid_cli() {\n"
      << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      << "  local command=\"\" word skip=0 i\n"
      << "  COMPREPLY=()\n"
      << "  # The command given so far, past the options and their values.\n"
      << "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      << "    word=${COMP_WORDS[i]}\n"
      << "    if ((skip)); then skip=0; continue; fi\n"
      << "    case \"$command:$word\" in\n";
  // The words that take the next one as their value.
  for (const CommandFacts& c : all) {
    std::vector<const OptionFacts*> valued;
    for (const OptionFacts& o : c.options)
      if (!o.value.empty() && !o.optionalValue) valued.push_back(&o);
    for (const OptionFacts& o : global)
      if (!c.path.empty() && !o.value.empty() && !o.optionalValue) valued.push_back(&o);
    if (!valued.empty()) out << "      " << Patterns(c.path, valued) << ") skip=1 ;;\n";
  }
  for (const CommandFacts& c : all)
    for (const std::string& sub : c.commands)
      out << "      \"" << c.path << ":" << sub << "\") command=\""
          << (c.path.empty() ? sub : c.path + " " + sub) << "\" ;;\n";
  out << "    esac\n"
      << "  done\n"
      << "  # The value of the option before.\n"
      << "  case \"$command:$prev\" in\n";
  for (const CommandFacts& c : all) {
    std::vector<const OptionFacts*> options;
    for (const OptionFacts& o : c.options) options.push_back(&o);
    if (!c.path.empty())
      for (const OptionFacts& o : global) options.push_back(&o);
    for (const OptionFacts* o : options) {
      if (o->value.empty() || o->optionalValue) continue;
      out << "    " << Patterns(c.path, {o}) << ")\n      ";
      switch (o->kind) {
        case ValueKind::Folder:
          out << "COMPREPLY=($(compgen -d -- \"$cur\"))";
          break;
        case ValueKind::File:
          out << "COMPREPLY=($(compgen -f -- \"$cur\"))";
          break;
        case ValueKind::Choice:
          out << "COMPREPLY=($(compgen -W \"" << Words(o->choices) << "\" -- \"$cur\"))";
          break;
        default:
          out << ":";  // a text of the user's
      }
      out << "\n      return ;;\n";
    }
  }
  out << "  esac\n"
      << "  if [[ $cur == -* ]]; then\n"
      << "    local options\n"
      << "    case \"$command\" in\n";
  for (const CommandFacts& c : all) {
    std::vector<std::string> names;
    for (const OptionFacts& o : c.options)
      for (const std::string& n : o.names) names.push_back(n);
    if (!c.path.empty()) {
      names.push_back("--help");
      for (const OptionFacts& o : global)
        for (const std::string& n : o.names)
          if (n != "--help" && n != "-h") names.push_back(n);
    }
    out << "      \"" << c.path << "\") options=\"" << Words(names) << "\" ;;\n";
  }
  out << "    esac\n"
      << "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
      << "    return\n"
      << "  fi\n"
      << "  case \"$command\" in\n";
  for (const CommandFacts& c : all) {
    out << "    \"" << c.path << "\") ";
    if (!c.commands.empty())
      out << "COMPREPLY=($(compgen -W \"" << Words(c.commands) << "\" -- \"$cur\"))";
    else if (!c.words.empty())
      out << "[[ $prev == " << c.path.substr(c.path.rfind(' ') + 1)
          << " ]] && COMPREPLY=($(compgen -W \"" << Words(c.words) << "\" -- \"$cur\"))";
    else if (!c.positionals.empty())
      out << "COMPREPLY=($(compgen -f -- \"$cur\"))";
    else
      out << ":";
    out << " ;;\n";
  }
  out << "  esac\n"
      << "}\n"
      << "complete -o filenames -F _ormid_cli ormid-cli\n";
  return out.str();
}

namespace {

// --- zsh ---

// A text within an _arguments spec in single quotes.
std::string ZshQuoted(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else if (c == '[' || c == ']' || c == ':' || c == '\\')
      out += std::string("\\") + c;
    else
      out += c;
  }
  return out;
}

std::string ZshName(const std::string& path) {
  std::string name = "_ormid-cli";
  for (const std::string& word : Split(path, ' ')) name += "_" + word;
  return name;
}

std::string ZshAction(const OptionFacts& o) {
  switch (o.kind) {
    case ValueKind::Folder:
      return "_files -/";
    case ValueKind::File:
      return "_files";
    case ValueKind::Choice:
      return "(" + Words(o.choices) + ")";
    default:
      return " ";
  }
}

void ZshSpecs(std::vector<std::string>& specs, const std::vector<OptionFacts>& options) {
  for (const OptionFacts& o : options) {
    for (const std::string& name : o.names) {
      std::string spec = "'" + std::string(o.repeatable ? "*" : "") + name;
      if (o.optionalValue)
        spec += "=-";
      else if (!o.value.empty() && name.size() > 2)
        spec += "=";
      spec += "[" + ZshQuoted(o.description) + "]";
      if (o.optionalValue)
        spec += "::" + ZshQuoted(o.value) + ":" + ZshAction(o);
      else if (!o.value.empty())
        spec += ":" + ZshQuoted(o.value) + ":" + ZshAction(o);
      specs.push_back(spec + "'");
    }
  }
}

}  // namespace

std::string ZshCompletion(const CLI::App& app) {
  const std::vector<CommandFacts> all = CollectAll(app);
  const std::vector<OptionFacts>& global = all.front().options;
  std::ostringstream out;
  out << "#compdef ormid-cli\n"
      << "# zsh completion of ormid-cli, made from its command definitions.\n";
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    const CommandFacts& c = *it;
    out << "\n" << ZshName(c.path) << "() {\n";
    if (!c.commands.empty()) out << "  local curcontext=$curcontext state line\n";
    std::vector<std::string> specs;
    ZshSpecs(specs, c.options);
    if (!c.path.empty()) ZshSpecs(specs, global);
    if (!c.commands.empty()) {
      specs.push_back("'1:command:->command'");
      specs.push_back("'*::argument:->argument'");
    } else if (!c.words.empty()) {
      specs.push_back("'1:word:(" + Words(c.words) + ")'");
    } else if (!c.positionals.empty()) {
      specs.push_back("'*:file:_files'");
    }
    out << "  _arguments" << (c.commands.empty() ? "" : " -C");
    for (const std::string& spec : specs) out << " \\\n    " << spec;
    out << "\n";
    if (!c.commands.empty()) {
      out << "  case $state in\n"
          << "    command)\n"
          << "      local -a commands\n"
          << "      commands=(\n";
      for (std::size_t k = 0; k < c.commands.size(); ++k) {
        const CommandFacts* sub = nullptr;
        const std::string path = c.path.empty() ? c.commands[k] : c.path + " " + c.commands[k];
        for (const CommandFacts& s : all)
          if (s.path == path) sub = &s;
        std::string escaped;
        for (char ch : sub ? sub->description : std::string()) {
          if (ch == '\'')
            escaped += "'\\''";
          else if (ch == ':')
            escaped += "\\:";
          else
            escaped += ch;
        }
        out << "        '" << c.commands[k] << ":" << escaped << "'\n";
      }
      out << "      )\n"
          << "      _describe -t commands command commands ;;\n"
          << "    argument)\n"
          << "      case $words[1] in\n";
      for (const std::string& sub : c.commands)
        out << "        " << sub << ") " << ZshName(c.path.empty() ? sub : c.path + " " + sub)
            << " ;;\n";
      out << "      esac ;;\n"
          << "  esac\n";
    }
    out << "}\n";
  }
  out << "\n_ormid-cli \"$@\"\n";
  return out.str();
}

}  // namespace ormid::cli
