#include "registry/stores/packed_values.h"

#include "base/little_endian.h"

namespace dovetune {

namespace {

enum : unsigned char { kDataHere = 0, kDataElsewhere = 1 };

// Takes bytes from the front of what is left, never past its end.
class Reader {
 public:
  Reader(const char* bytes, size_t size) : at_(bytes), left_(size) {}

  bool empty() const { return left_ == 0; }
  bool Number(size_t size, uint64_t* number) {
    if (left_ < size) return false;
    *number = DecodeLittleEndian(reinterpret_cast<const unsigned char*>(at_), size);
    Skip(size);
    return true;
  }
  bool Bytes(uint64_t size, std::string* bytes) {
    if (left_ < size) return false;
    bytes->assign(at_, static_cast<size_t>(size));
    Skip(static_cast<size_t>(size));
    return true;
  }

 private:
  void Skip(size_t size) {
    at_ += size;
    left_ -= size;
  }

  const char* at_;
  size_t left_;
};

bool UnpackOne(Reader* reader, PackedValue* value) {
  uint64_t name_size = 0, type = 0, size = 0, where = 0;
  if (!reader->Number(4, &name_size) || !reader->Bytes(name_size, &value->name) ||
      !reader->Number(4, &type) || !reader->Number(4, &size) || !reader->Number(1, &where)) {
    return false;
  }
  value->type = static_cast<uint32_t>(type);
  value->size = static_cast<uint32_t>(size);
  if (where == kDataHere) {
    value->big_id = 0;
    return reader->Bytes(size, &value->data);
  }
  uint64_t id = 0;
  value->data.clear();
  if (where != kDataElsewhere || !reader->Number(8, &id)) return false;
  value->big_id = static_cast<int64_t>(id);
  return value->big_id > 0;
}

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

bool UnpackValues(const char* bytes, size_t size, std::vector<PackedValue>* values) {
  Reader reader(bytes, size);
  size_t count = 0;
  while (!reader.empty()) {
    if (values->size() <= count) values->emplace_back();
    if (!UnpackOne(&reader, &(*values)[count])) return false;
    ++count;
  }
  values->resize(count);
  return true;
}

}  // namespace dovetune
