#include "desktop/main_window/application.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <cstdio>
#include <string_view>

#include "setup/startup.h"

namespace ormid {

namespace {

void SetNames() {
  QCoreApplication::setApplicationName("Ormid");
  QCoreApplication::setApplicationVersion(QString::fromStdString(PackageVersionText()));
}

void Describe(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      "Ormid, the long-term dietary exposure module of KAVRI-FCID. It starts in the current\n"
      "folder as its working folder (or asks for the folder that holds KavriSupport.txt).\n"
      "ormid-cli runs the same analyses without a window.");
  parser.addHelpOption();
  parser.addVersionOption();
}

}  // namespace

const char* ApplicationId() {
  return ORMID_APP_ID;
}

void DescribeApplication() {
  SetNames();
  QGuiApplication::setDesktopFileName(ApplicationId());
  QApplication::setWindowIcon(QIcon(":/icons/ormid.svg"));
}

std::optional<int> AnswerInformationOptions(int argc, char** argv) {
  bool asked = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a(argv[i]);
    if (a == "--") break;
    asked = asked || a == "-h" || a == "--help" || a == "-?" || a == "--help-all" || a == "-v" ||
            a == "--version";
  }
  if (!asked) return std::nullopt;
  // A program without a window: help and version need no display.
  QCoreApplication core(argc, argv);
  SetNames();
  QCommandLineParser parser;
  Describe(parser);
  parser.process(core);  // prints and ends the program
  return 0;
}

std::optional<int> CheckOptions(const QStringList& arguments) {
  QCommandLineParser parser;
  Describe(parser);
  if (!parser.parse(arguments)) {
    std::fprintf(stderr, "ormid: %s\nTry 'ormid --help' for more information.\n",
                 qPrintable(parser.errorText()));
    return 2;
  }
  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr,
                 "ormid: %s: ormid takes no file; it starts in the current folder\n"
                 "Try 'ormid --help' for more information.\n",
                 qPrintable(parser.positionalArguments().front()));
    return 2;
  }
  return std::nullopt;
}

}  // namespace ormid
