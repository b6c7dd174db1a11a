#include "tests/support/wine_reg_text.h"

#include <algorithm>
#include <cstring>

namespace dovetune {

namespace {

bool LoadAll(std::string_view text, const WineRegFile& file, WineRegKey* key, std::string* error) {
  if (!LoadWineRegKey(text, file, key, error)) return false;
  for (const auto& subkey : key->subkeys) {
    if (!LoadAll(text, file, subkey, error)) return false;
  }
  return true;
}

// Copies what |from| holds, and its subkeys, into |to|, every key to be
// written anew.
void CopyKeys(const WineRegKey& from, WineRegKey* to) {
  to->values = from.values;
  to->has_class = from.has_class;
  to->class_name = from.class_name;
  to->link = from.link;
  to->rewrite = true;
  to->MarkChanged();
  for (const auto& subkey : from.subkeys) {
    CopyKeys(*subkey, to->AddSubkey(subkey->name, subkey->time));
  }
}

}  // namespace

bool IndexWineReg(std::string_view text, WineRegFile* file, std::string* error) {
  const WineRegReader read = [text](char* into, size_t size, size_t offset) -> long long {
    const size_t count = offset < text.size() ? std::min(size, text.size() - offset) : 0;
    std::memcpy(into, text.data() + offset, count);
    return static_cast<long long>(count);
  };
  return IndexWineRegFrom(read, std::max<size_t>(text.size(), 1), file, error);
}

bool LoadWineRegKey(std::string_view text, const WineRegFile& file, WineRegKey* key,
                    std::string* error) {
  const WineRegBlocks blocks = {
      [text](const WineRegBlock& block, std::string_view* bytes) {
        *bytes = text.substr(block.begin, block.end - block.begin);
        return true;
      },
      [text](size_t pos) {
        return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + pos, '\n'));
      }};
  return LoadWineRegKey(blocks, file, key, error);
}

bool ParseWineReg(const std::string& text, WineRegFile* file, std::string* error) {
  return IndexWineReg(text, file, error) && LoadAll(text, *file, &file->root, error);
}

std::string FormatWineReg(const WineRegFile& file) {
  std::string out = "WINE REGISTRY Version 2\n" + file.relative_to + "\n";
  if (!file.arch.empty()) out += "\n#arch=" + file.arch + "\n";
  WineRegFile copy;
  copy.root.time = file.root.time;
  CopyKeys(file.root, &copy.root);
  const auto write = [&out](const char* data, size_t size) {
    out.append(data, size);
    return true;
  };
  WriteWineRegChanges(
      0, false, copy, [](size_t, size_t) { return false; }, write);
  return out;
}

bool WriteWineRegChanges(std::string_view text, const WineRegFile& file,
                         const WineRegWriter& write) {
  const auto copy = [&](size_t begin, size_t end) {
    return write(text.data() + begin, end - begin);
  };
  return WriteWineRegChanges(text.size(), !text.empty() && text.back() != '\n', file, copy, write);
}

}  // namespace dovetune
