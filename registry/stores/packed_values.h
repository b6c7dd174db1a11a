// All the values of one key as one string of bytes, as the SQLite store keeps
// them in one row: reading a key's values then costs one row, however many
// there are. Large data stays out of the row, which holds only the number of
// the row elsewhere that holds it. The bytes come from a file that may be
// damaged, so reading them checks every length against what is there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dovetune {

struct PackedValue {
  std::string name;
  uint32_t type = 0;
  uint32_t size = 0;   // of the data, wherever it is kept
  int64_t big_id = 0;  // the row that holds the data; 0 when |data| holds it
  std::string data;
};

// Each value, in order: its name's size (4 bytes) and name, type (4 bytes),
// data size (4 bytes), then 0 and the data, or 1 and the number of the row
// holding the data (8 bytes); numbers little-endian.
std::string PackValues(const std::vector<PackedValue>& values);

// One value as it lies in packed bytes, pointing into them.
struct PackedEntry {
  const char* name = nullptr;
  size_t name_size = 0;
  uint32_t type = 0;
  uint32_t size = 0;
  int64_t big_id = 0;
  const char* data = nullptr;  // |size| bytes when big_id is 0
};

// Walks packed bytes value by value without copying them: a key's values are
// read by the thousand, straight into the room their reader already has.
class PackedReader {
 public:
  PackedReader(const char* bytes, size_t size) : at_(bytes), left_(size) {}

  // The next value; false at the end, and also when the bytes are not as
  // PackValues writes them, which damaged() then tells.
  bool Next(PackedEntry* entry);
  bool damaged() const { return damaged_; }

 private:
  bool Number(size_t size, uint64_t* number);
  bool Bytes(uint64_t size, const char** bytes);

  const char* at_;
  size_t left_;
  bool damaged_ = false;
};

// The values |bytes| hold, in their order; false, with |values| unspecified,
// when the bytes are not as PackValues writes them.
bool UnpackValues(const char* bytes, size_t size, std::vector<PackedValue>* values);

}  // namespace dovetune
