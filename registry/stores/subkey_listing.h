// A key's subkeys as a store lists them, held compactly for the rest of the
// run: a presets key of thousands is listed once and each preset then found
// in it. Every subkey takes a small entry of fixed size, and its name and
// fold lie side by side in blocks of text that never move. The listing grows
// a block at a time, so it needs no count of the subkeys beforehand and is
// never held twice over while it grows, as a vector that doubles would be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dovetune {

// Some bytes of the listing's text; not terminated.
struct ListedText {
  const char* data;
  size_t size;

  // Byte by byte, as std::string and SQLite's BINARY collation compare.
  int Compare(const ListedText& other) const;
  int Compare(const std::string& other) const {
    return Compare(ListedText{other.data(), other.size()});
  }
  bool Equals(const std::string& other) const;
};

class SubkeyListing {
 public:
  SubkeyListing() = default;
  SubkeyListing(SubkeyListing&&) = default;
  SubkeyListing& operator=(SubkeyListing&&) = default;

  // Appends a subkey. False, adding nothing, for a name or fold of 64 KB or
  // more, far longer than any key name the registry allows.
  bool Add(int64_t id, const char* name, size_t name_size, const char* fold, size_t fold_size);

  size_t size() const { return size_; }
  int64_t id(size_t index) const { return At(index).id; }
  // The name in the letter case it was created with.
  ListedText name(size_t index) const;
  ListedText fold(size_t index) const;

 private:
  struct Entry {
    int64_t id;
    // Two 16-bit sizes, of the name and of the fold, then the name and the
    // fold themselves.
    const char* text;
  };
  // Most keys have few subkeys: the first four and their text share one
  // allocation. The first entries then double up to a block of 4 KB, after
  // which come blocks of that size; text comes in blocks that double up to
  // 64 KB.
  static constexpr size_t kFirstEntries = 4;
  static constexpr size_t kFirstTextEntries = 4;  // the room of 64 bytes of text
  static constexpr size_t kEntriesPerBlock = 256;

  const Entry& At(size_t index) const {
    if (index < kEntriesPerBlock) return first_[index];
    index -= kEntriesPerBlock;
    return more_->entry_blocks[index / kEntriesPerBlock][index % kEntriesPerBlock];
  }
  Entry* EntryRoom();
  void GrowFirstEntries();
  char* TextRoom(size_t size);
  struct More {
    std::vector<std::unique_ptr<Entry[]>> entry_blocks;
    std::vector<std::unique_ptr<char[]>> text_blocks;
    // The first allocation, kept for its text once the entries moved out.
    std::unique_ptr<Entry[]> first_text;
    size_t next_text_block = 0;
  };
  More& more();

  // A registry holds a listing for every key it enumerates, most of them
  // short or empty: what only long listings need is kept apart.
  std::unique_ptr<Entry[]> first_;
  std::unique_ptr<More> more_;
  char* text_next_ = nullptr;  // the unused end of the text room taken last
  uint32_t text_left_ = 0;
  uint32_t first_room_ = 0;
  size_t size_ = 0;
};

}  // namespace dovetune
