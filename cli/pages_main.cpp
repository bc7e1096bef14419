// ormid-cli-pages: writes the manual page and the shell completions of
// ormid-cli from its command definitions, at build time.
//
//   ormid-cli-pages VERSION DATE DOC_DIR MAN_PAGE BASH_COMPLETION ZSH_COMPLETION
#include <fstream>
#include <iostream>

#include "cli/cli_run.h"
#include "cli/command_line.h"
#include "cli/command_pages.h"

namespace {

bool Write(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::cerr << "ormid-cli-pages: cannot write " << path << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::cerr << "usage: ormid-cli-pages VERSION DATE DOC_DIR MAN_PAGE BASH_COMPLETION "
                 "ZSH_COMPLETION\n";
    return 2;
  }
  ormid::cli::CommandLine cl;
  ormid::cli::AddEveryCommand(cl);
  const ormid::cli::PageFacts facts{argv[1], argv[2], argv[3]};
  const bool written = Write(argv[4], ormid::cli::ManualPage(cl.App(), facts)) &&
                       Write(argv[5], ormid::cli::BashCompletion(cl.App())) &&
                       Write(argv[6], ormid::cli::ZshCompletion(cl.App()));
  return written ? 0 : 1;
}
