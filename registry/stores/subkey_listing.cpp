#include "registry/stores/subkey_listing.h"

#include <algorithm>
#include <cstring>

namespace dovetune {

namespace {

// Text blocks start small and double up to this size.
constexpr size_t kFirstTextBlock = 128;
constexpr size_t kLargestTextBlock = 64 * 1024;

constexpr size_t kSizesBytes = 4;

uint16_t ReadSize(const char* at) {
  uint16_t size;
  std::memcpy(&size, at, sizeof(size));
  return size;
}

}  // namespace

// Byte by byte, as std::string compares.
int ListedText::Compare(const ListedText& other) const {
  const size_t common = std::min(size, other.size);
  const int bytes = common == 0 ? 0 : std::memcmp(data, other.data, common);
  if (bytes != 0) return bytes;
  if (size == other.size) return 0;
  return size < other.size ? -1 : 1;
}

bool ListedText::Equals(const std::string& other) const {
  return size == other.size() && (size == 0 || std::memcmp(data, other.data(), size) == 0);
}

SubkeyListing::More& SubkeyListing::more() {
  if (!more_) more_.reset(new More);
  return *more_;
}

SubkeyListing::Entry* SubkeyListing::EntryRoom() {
  if (size_ == 0) {
    // Entries are plain data: the room is not touched until it is used.
    first_.reset(new Entry[kFirstEntries + kFirstTextEntries]);
    first_room_ = kFirstEntries;
    text_next_ = reinterpret_cast<char*>(first_.get() + kFirstEntries);
    text_left_ = kFirstTextEntries * sizeof(Entry);
  }
  if (size_ == first_room_ && first_room_ < kEntriesPerBlock) GrowFirstEntries();
  if (size_ < kEntriesPerBlock) return &first_[size_];
  const size_t place = (size_ - kEntriesPerBlock) % kEntriesPerBlock;
  std::vector<std::unique_ptr<Entry[]>>& blocks = more().entry_blocks;
  if (place == 0) blocks.emplace_back(new Entry[kEntriesPerBlock]);
  return &blocks.back()[place];
}

// Moves the first entries to twice the room. The first allocation stays
// where it is, for the text it holds.
void SubkeyListing::GrowFirstEntries() {
  std::unique_ptr<Entry[]> grown(new Entry[first_room_ * 2]);
  std::copy(first_.get(), first_.get() + size_, grown.get());
  More& kept = more();
  if (!kept.first_text) kept.first_text = std::move(first_);
  first_ = std::move(grown);
  first_room_ *= 2;
}

char* SubkeyListing::TextRoom(size_t size) {
  if (size > text_left_) {
    More& kept = more();
    kept.next_text_block =
        std::min(std::max(kept.next_text_block * 2, kFirstTextBlock), kLargestTextBlock);
    const size_t block = std::max(kept.next_text_block, size);
    kept.text_blocks.emplace_back(new char[block]);
    text_next_ = kept.text_blocks.back().get();
    text_left_ = static_cast<uint32_t>(block);
  }
  char* room = text_next_;
  text_next_ += size;
  text_left_ -= static_cast<uint32_t>(size);
  return room;
}

bool SubkeyListing::Add(int64_t id, const char* name, size_t name_size, const char* fold,
                        size_t fold_size) {
  if (name_size > UINT16_MAX || fold_size > UINT16_MAX) return false;
  Entry* entry = EntryRoom();
  char* text = TextRoom(kSizesBytes + name_size + fold_size);
  const uint16_t sizes[2] = {static_cast<uint16_t>(name_size), static_cast<uint16_t>(fold_size)};
  std::memcpy(text, sizes, kSizesBytes);
  if (name_size != 0) std::memcpy(text + kSizesBytes, name, name_size);
  if (fold_size != 0) std::memcpy(text + kSizesBytes + name_size, fold, fold_size);
  *entry = Entry{id, text};
  ++size_;
  return true;
}

ListedText SubkeyListing::name(size_t index) const {
  const char* text = At(index).text;
  return ListedText{text + kSizesBytes, ReadSize(text)};
}

ListedText SubkeyListing::fold(size_t index) const {
  const char* text = At(index).text;
  const uint16_t name_size = ReadSize(text);
  const uint16_t fold_size = ReadSize(text + 2);
  return ListedText{text + kSizesBytes + name_size, fold_size};
}

}  // namespace dovetune
