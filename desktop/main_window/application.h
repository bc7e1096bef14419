// The desktop program as the system sees it: its name and version, the id
// of its desktop file (which the window system matches its windows to),
// its window icon, and the options it answers without opening a window.
#pragma once

#include <QStringList>
#include <optional>

namespace ormid {

// The application's id: the desktop file's name without ".desktop".
const char* ApplicationId();

// Names the program to Qt (name, version, desktop file) and gives every
// window the program's icon. After the QApplication is made.
void DescribeApplication();

// --help and --version: printed, and the status to end with, before any
// window system is reached; nullopt when neither is given.
std::optional<int> AnswerInformationOptions(int argc, char** argv);

// The options left once Qt has taken its own (-platform, -style, ...):
// nullopt to go on; otherwise the message is on standard error and the
// status to end with is returned (2 for an option it does not know).
std::optional<int> CheckOptions(const QStringList& arguments);

}  // namespace ormid
