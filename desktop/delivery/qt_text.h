// Single-byte report and data text to and from Qt strings.
#pragma once

#include <QString>
#include <string>

namespace ormid {

inline QString FromBytes(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string ToBytes(const QString& s) {
  return s.toLatin1().toStdString();
}

}  // namespace ormid
