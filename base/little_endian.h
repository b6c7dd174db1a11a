// Numbers as little-endian bytes: how the registry keeps REG_DWORD and
// REG_QWORD data, and how UTF-16LE text keeps its units. Also, for the
// header of a SQLite file, big-endian bytes read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dovetune {

// The number in the first |size| bytes at |bytes| (at most 8).
inline uint64_t DecodeLittleEndian(const unsigned char* bytes, size_t size) {
  uint64_t number = 0;
  for (size_t i = size; i-- > 0;) number = (number << 8) | bytes[i];
  return number;
}

// The number in the first |size| bytes at |bytes| (at most 8), highest first.
inline uint64_t DecodeBigEndian(const unsigned char* bytes, size_t size) {
  uint64_t number = 0;
  for (size_t i = 0; i < size; ++i) number = (number << 8) | bytes[i];
  return number;
}

// The number that |bytes| (at most 8 of them) hold.
inline uint64_t DecodeLittleEndian(const std::string& bytes) {
  return DecodeLittleEndian(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// Appends the low |size| bytes of |number|, lowest first.
inline void AppendLittleEndian(uint64_t number, size_t size, std::string* out) {
  for (size_t i = 0; i < size; ++i) out->push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
}

inline std::string EncodeLittleEndian(uint64_t number, size_t size) {
  std::string bytes;
  AppendLittleEndian(number, size, &bytes);
  return bytes;
}

}  // namespace dovetune
