#include "registry/stores/subkey_listing.h"

#include <algorithm>
#include <cstring>

namespace dovetune {

namespace {

// Text blocks start small and double up to this size.
constexpr size_t kFirstTextBlock = 64;
constexpr size_t kLargestTextBlock = 64 * 1024;

constexpr size_t kSizesBytes = 4;

// Most keys have few subkeys.
constexpr size_t kFirstEntries = 16;

uint16_t ReadSize(const char* at) {
  uint16_t size;
  std::memcpy(&size, at, sizeof(size));
  return size;
}

}  // namespace

int ListedText::Compare(const char* other, size_t other_size) const {
  const size_t common = std::min(size, other_size);
  const int bytes = common == 0 ? 0 : std::memcmp(data, other, common);
  if (bytes != 0) return bytes;
  if (size == other_size) return 0;
  return size < other_size ? -1 : 1;
}

char* SubkeyListing::TextRoom(size_t size) {
  if (size > text_left_) {
    next_text_block_ = std::min(std::max(next_text_block_ * 2, kFirstTextBlock), kLargestTextBlock);
    const size_t block = std::max(next_text_block_, size);
    text_blocks_.emplace_back(new char[block]);
    text_next_ = text_blocks_.back().get();
    text_left_ = block;
  }
  char* room = text_next_;
  text_next_ += size;
  text_left_ -= size;
  return room;
}

bool SubkeyListing::Add(int64_t id, const char* name, size_t name_size, const char* fold,
                        size_t fold_size) {
  if (name_size > UINT16_MAX || fold_size > UINT16_MAX) return false;
  const size_t size = kSizesBytes + name_size + fold_size;
  char* text = TextRoom(size);
  const uint16_t sizes[2] = {static_cast<uint16_t>(name_size), static_cast<uint16_t>(fold_size)};
  std::memcpy(text, sizes, kSizesBytes);
  if (name_size != 0) std::memcpy(text + kSizesBytes, name, name_size);
  if (fold_size != 0) std::memcpy(text + kSizesBytes + name_size, fold, fold_size);
  if (entries_.empty() || entries_.back().size() == kEntriesPerBlock) {
    entries_.emplace_back();
    entries_.back().reserve(entries_.size() > 1 ? kEntriesPerBlock : kFirstEntries);
  }
  entries_.back().push_back(Entry{id, text});
  ++size_;
  return true;
}

void SubkeyListing::Clear() {
  entries_.clear();
  text_blocks_.clear();
  text_next_ = nullptr;
  text_left_ = 0;
  next_text_block_ = 0;
  size_ = 0;
}

ListedText SubkeyListing::name(size_t index) const {
  const char* text = At(index).text;
  return ListedText{text + kSizesBytes, ReadSize(text)};
}

ListedText SubkeyListing::fold(size_t index) const {
  const char* text = At(index).text;
  return ListedText{text + kSizesBytes + ReadSize(text), ReadSize(text + 2)};
}

}  // namespace dovetune
