// The libraries Ormid is built on and their versions: those the running
// program has loaded where the library can say so, otherwise those it was
// built with. The desktop's About box lists them (with Qt's, which the
// engine does not use).
#pragma once

#include <string>
#include <vector>

namespace ormid {

struct LibraryVersion {
  std::string name;     // "SQLite"
  std::string version;  // "3.40.1"
  // The version is the one the program was built with: a library of headers
  // only, or one that cannot tell its version when the program runs.
  bool fromBuild = false;
};

// SQLite, OpenSSL's libcrypto, libxlsxwriter, libcsv, nlohmann json and
// libunistring, in that order.
std::vector<LibraryVersion> EngineLibraryVersions();

}  // namespace ormid
