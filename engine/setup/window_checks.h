// The main window's own checks, on plain values: an endpoint value box and
// the report file name box when they lose the focus, and the help texts.
#pragma once

#include <string>

namespace ormid {

class Platform;

// "NOEL", "RfD" or "Q*": false (after the message) when the box holds text
// that is not a number; an empty or all-blank box passes.
bool CheckEndpointValue(Platform& p, const std::string& endpoint, const std::string& text);

// False (after the message) when the report file name holds one of the
// characters " ? * / < > | or a path; an empty name passes.
bool CheckReportFileNameBox(Platform& p, const std::string& text);

// The help sequence: up to three message boxes; No ends it early.
void ShowHelpSequence(Platform& p);

}  // namespace ormid
