#include "registry/stores/packed_values.h"

#include "base/little_endian.h"

namespace dovetune {

namespace {

enum : unsigned char { kDataHere = 0, kDataElsewhere = 1 };

}  // namespace

std::string PackValues(const std::vector<PackedValue>& values) {
  std::string bytes;
  for (const PackedValue& value : values) {
    AppendLittleEndian(value.name.size(), 4, &bytes);
    bytes += value.name;
    AppendLittleEndian(value.type, 4, &bytes);
    AppendLittleEndian(value.size, 4, &bytes);
    if (value.big_id == 0) {
      bytes.push_back(static_cast<char>(kDataHere));
      bytes += value.data;
    } else {
      bytes.push_back(static_cast<char>(kDataElsewhere));
      AppendLittleEndian(static_cast<uint64_t>(value.big_id), 8, &bytes);
    }
  }
  return bytes;
}

// Takes a number from the front of what is left, never past its end.
bool PackedReader::Number(size_t size, uint64_t* number) {
  if (left_ < size) return false;
  *number = DecodeLittleEndian(reinterpret_cast<const unsigned char*>(at_), size);
  at_ += size;
  left_ -= size;
  return true;
}

bool PackedReader::Bytes(uint64_t size, const char** bytes) {
  if (left_ < size) return false;
  *bytes = at_;
  at_ += size;
  left_ -= static_cast<size_t>(size);
  return true;
}

// The fixed-size parts of a value, after its name: type, data size and where
// the data is.
constexpr size_t kAfterName = 4 + 4 + 1;

bool PackedReader::Next(PackedEntry* entry) {
  if (left_ == 0 || damaged_) return false;
  const unsigned char* at = reinterpret_cast<const unsigned char*>(at_);
  // Checked in as few steps as the layout allows: a listing reads values by
  // the ten thousand.
  const uint64_t name_size = left_ >= 4 ? DecodeLittleEndian(at, 4) : 0;
  if (left_ < 4 || left_ - 4 < name_size || left_ - 4 - name_size < kAfterName) {
    damaged_ = true;
    return false;
  }
  entry->name = at_ + 4;
  entry->name_size = static_cast<size_t>(name_size);
  const unsigned char* fixed = at + 4 + name_size;
  entry->type = static_cast<uint32_t>(DecodeLittleEndian(fixed, 4));
  entry->size = static_cast<uint32_t>(DecodeLittleEndian(fixed + 4, 4));
  const unsigned char where = fixed[8];
  at_ += 4 + name_size + kAfterName;
  left_ -= 4 + name_size + kAfterName;
  entry->big_id = 0;
  entry->data = nullptr;
  uint64_t id = 0;
  const bool whole = where == kDataHere ? Bytes(entry->size, &entry->data)
                                        : where == kDataElsewhere && Number(8, &id) &&
                                              static_cast<int64_t>(id) > 0;
  entry->big_id = static_cast<int64_t>(id);
  damaged_ = !whole;
  return whole;
}

bool UnpackValues(const char* bytes, size_t size, std::vector<PackedValue>* values) {
  PackedReader reader(bytes, size);
  PackedEntry entry;
  size_t count = 0;
  while (reader.Next(&entry)) {
    if (values->size() <= count) values->emplace_back();
    PackedValue& value = (*values)[count++];
    value.name.assign(entry.name, entry.name_size);
    value.type = entry.type;
    value.size = entry.size;
    value.big_id = entry.big_id;
    if (entry.data) {
      value.data.assign(entry.data, entry.size);
    } else {
      value.data.clear();
    }
  }
  values->resize(count);
  return !reader.damaged();
}

}  // namespace dovetune
