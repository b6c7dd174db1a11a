#include "registry/stores/subkey_listing.h"

#include <algorithm>
#include <cstring>

namespace dovetune {

namespace {

// Text blocks start small and double up to this size.
constexpr size_t kFirstTextBlock = 128;
constexpr size_t kLargestTextBlock = 64 * 1024;

constexpr size_t kSizesBytes = 4;

// The fold size that stands for a fold that is the name with a to z raised,
// as most keys' are.
constexpr uint16_t kRaisedName = UINT16_MAX;

char Raise(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

// Raises a to z in each of eight bytes at once.
uint64_t RaiseWord(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighBits = 0x8080808080808080;
  // A byte's high bit marks a to z: at least 'a' and not above 'z', and not
  // a byte of 0x80 or more to begin with.
  const uint64_t low_bits = word & ~kHighBits;
  const uint64_t from_a = low_bits + (0x80 - 'a') * kOnes;
  const uint64_t above_z = low_bits + (0x80 - 'z' - 1) * kOnes;
  const uint64_t letters = from_a & ~above_z & ~word & kHighBits;
  return word ^ (letters >> 2);  // 0x80 >> 2 is the bit that tells a from A
}

uint64_t Load(const char* text) {
  uint64_t word;
  std::memcpy(&word, text, sizeof(word));
  return word;
}

// The eight bytes of a word as a number that orders as they do in memory.
uint64_t InOrder(uint64_t word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return word;
#else
  return __builtin_bswap64(word);
#endif
}

unsigned char ByteAt(const char* text, size_t at, bool raise) {
  return static_cast<unsigned char>(raise ? Raise(text[at]) : text[at]);
}

// Words that end past the text's end are read as its last eight bytes
// instead, some of them compared twice.
bool IsRaised(const char* name, const char* fold, size_t size) {
  if (size < 8) {
    for (size_t at = 0; at < size; ++at) {
      if (Raise(name[at]) != fold[at]) return false;
    }
    return true;
  }
  for (size_t at = 0; at + 8 < size; at += 8) {
    if (RaiseWord(Load(name + at)) != Load(fold + at)) return false;
  }
  return RaiseWord(Load(name + size - 8)) == Load(fold + size - 8);
}

uint16_t ReadSize(const char* at) {
  uint16_t size;
  std::memcpy(&size, at, sizeof(size));
  return size;
}

}  // namespace

// Eight bytes at a time: folds are compared in every lookup of a listed
// key, thousands in a listing.
int ListedText::Compare(const ListedText& other) const {
  const size_t common = std::min(size, other.size);
  if (!raised && !other.raised) {
    const int bytes = common == 0 ? 0 : std::memcmp(data, other.data, common);
    if (bytes != 0) return bytes;
  } else if (common < 8) {
    for (size_t at = 0; at < common; ++at) {
      const unsigned char mine = ByteAt(data, at, raised);
      const unsigned char theirs = ByteAt(other.data, at, other.raised);
      if (mine != theirs) return mine < theirs ? -1 : 1;
    }
  } else {
    // The last word may overlap the one before: its bytes in common with
    // that one are equal, so the first that differs still decides.
    for (size_t at = 0;; at += 8) {
      if (at + 8 > common) at = common - 8;
      uint64_t mine = Load(data + at);
      uint64_t theirs = Load(other.data + at);
      if (raised) mine = RaiseWord(mine);
      if (other.raised) theirs = RaiseWord(theirs);
      if (mine != theirs) return InOrder(mine) < InOrder(theirs) ? -1 : 1;
      if (at + 8 == common) break;
    }
  }
  if (size == other.size) return 0;
  return size < other.size ? -1 : 1;
}

bool ListedText::Equals(const std::string& other) const {
  if (size != other.size()) return false;
  if (raised) return IsRaised(data, other.data(), size);
  return size == 0 || std::memcmp(data, other.data(), size) == 0;
}

std::string ListedText::str() const {
  std::string text(data, size);
  if (raised) {
    for (char& c : text) c = Raise(c);
  }
  return text;
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
  if (name_size > UINT16_MAX || fold_size >= kRaisedName) return false;
  const bool raised = fold_size == name_size && IsRaised(name, fold, name_size);
  const size_t held_fold = raised ? 0 : fold_size;
  Entry* entry = EntryRoom();
  char* text = TextRoom(kSizesBytes + name_size + held_fold);
  const uint16_t sizes[2] = {static_cast<uint16_t>(name_size),
                             raised ? kRaisedName : static_cast<uint16_t>(fold_size)};
  std::memcpy(text, sizes, kSizesBytes);
  if (name_size != 0) std::memcpy(text + kSizesBytes, name, name_size);
  if (held_fold != 0) std::memcpy(text + kSizesBytes + name_size, fold, held_fold);
  *entry = Entry{id, text};
  ++size_;
  return true;
}

void SubkeyListing::Clear() {
  first_.reset();
  more_.reset();
  text_next_ = nullptr;
  text_left_ = 0;
  first_room_ = 0;
  size_ = 0;
}

ListedText SubkeyListing::name(size_t index) const {
  const char* text = At(index).text;
  return ListedText{text + kSizesBytes, ReadSize(text)};
}

ListedText SubkeyListing::fold(size_t index) const {
  const char* text = At(index).text;
  const uint16_t name_size = ReadSize(text);
  const uint16_t fold_size = ReadSize(text + 2);
  if (fold_size == kRaisedName) return ListedText{text + kSizesBytes, name_size, true};
  return ListedText{text + kSizesBytes + name_size, fold_size};
}

}  // namespace dovetune
