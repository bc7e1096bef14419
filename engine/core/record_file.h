// Random-access files of fixed-length records, numbered from 1, held in
// memory once opened. A record beyond the end of the file reads as zero
// bytes, as a direct read past the end of such a file does.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace ormid {

// Reads a whole file as bytes; nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

class RecordFile {
 public:
  RecordFile() = default;
  RecordFile(std::string data, int recordLength)
      : data_(std::move(data)), recordLength_(recordLength), zero_(recordLength, '\0') {}

  bool Open(const std::string& path, int recordLength);
  void Close() { data_.clear(); }

  // Number of whole records in the file.
  long long RecordCount() const {
    return recordLength_ > 0 ? static_cast<long long>(data_.size()) / recordLength_ : 0;
  }
  // Record r (1-based); all zero bytes when r is outside the file.
  std::string_view Record(long long r) const {
    if (r < 1 || r > RecordCount()) return zero_;
    return std::string_view(data_).substr(static_cast<std::size_t>((r - 1) * recordLength_),
                                          static_cast<std::size_t>(recordLength_));
  }

 private:
  std::string data_;
  int recordLength_ = 0;
  std::string zero_;
};

inline std::int16_t ReadInt16LE(std::string_view rec, std::size_t offset) {
  auto b0 = static_cast<unsigned char>(rec[offset]);
  auto b1 = static_cast<unsigned char>(rec[offset + 1]);
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(b0 | (b1 << 8)));
}

inline float ReadFloatLE(std::string_view rec, std::size_t offset) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i)
    bits = (bits << 8) | static_cast<unsigned char>(rec[offset + static_cast<std::size_t>(i)]);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace ormid
