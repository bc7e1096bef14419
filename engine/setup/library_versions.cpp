#include "setup/library_versions.h"

#include <csv.h>
#include <openssl/crypto.h>
#include <sqlite3.h>
#include <unistring/version.h>
#include <xlsxwriter.h>

#include <nlohmann/json.hpp>

namespace ormid {

namespace {

std::string Dotted(int major, int minor, int patch) {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

}  // namespace

std::vector<LibraryVersion> EngineLibraryVersions() {
  return {
      {"SQLite", sqlite3_libversion(), false},
      {"OpenSSL libcrypto", OpenSSL_version(OPENSSL_VERSION_STRING), false},
      {"libxlsxwriter", lxw_version(), false},
      {"libcsv", Dotted(CSV_MAJOR, CSV_MINOR, CSV_RELEASE), true},
      {"nlohmann json",
       Dotted(NLOHMANN_JSON_VERSION_MAJOR, NLOHMANN_JSON_VERSION_MINOR,
              NLOHMANN_JSON_VERSION_PATCH),
       true},
      {"libunistring",
       Dotted(_libunistring_version >> 16, (_libunistring_version >> 8) & 0xFF,
              _libunistring_version & 0xFF),
       false},
  };
}

}  // namespace ormid
