// A Wine registry file (user.reg and its kin) as a tree of keys over the
// file's own text: read by the rules wineserver reads it by, and changed by
// writing the blocks of the keys that changed, in wineserver's own form
// (server/registry.c: load_keys, save_all_subkeys), between the untouched
// bytes of the file.
//
// Indexing a file reads its header and its key lines only: every key the
// file names gets its place in the tree, with where its block lies. A key's
// values are parsed from its block when first asked for (LoadWineRegKey).
//
// Names and string data stay in UTF-16 units, as Wine holds them. Keys and
// values are kept in Wine's order: by the lower-case form of their names,
// unit by unit, the shorter name first on equal prefixes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dovetune {

struct WineRegValue {
  std::u16string name;   // empty for the default value, written "@"
  std::u16string order;  // the lower-case name the values are sorted by
  uint32_t type = 0;
  std::string data;  // the bytes as Wine holds them: strings in UTF-16LE
};

struct WineRegKey;
class WineRegKeyStore;

// A key. Its names' units, and the key itself, belong to the file's key
// store (WineRegKeyStore).
struct WineRegKey {
  std::u16string_view name;
  std::u16string_view order;  // the lower-case name the subkeys are sorted by
  uint64_t time = 0;          // the last change, as a FILETIME
  bool has_class = false;
  std::u16string class_name;
  bool link = false;
  WineRegKey* parent = nullptr;
  WineRegKeyStore* store = nullptr;  // where the key's subkeys are made
  std::vector<WineRegValue> values;  // sorted by |order|
  std::vector<WineRegKey*> subkeys;  // sorted by |order|
  // The key's first block in the file indexed (WineRegFile::blocks), or
  // kNoBlock: a key with only subkeys has none, nor has a key made since.
  size_t block = kNoBlock;
  // The first block in the file of this key or a key below it, or kNoBlock.
  size_t first_block = kNoBlock;
  // Whether |time|, |values|, the class and the link hold what the key's
  // blocks say (LoadWineRegKey); a key made since is loaded.
  bool loaded = false;
  // Whether the key's own block is written anew (by the store: a key whose
  // values or time changed, and every key made since).
  bool rewrite = false;
  // Whether anything at or below this key differs from the file indexed.
  bool changed = false;

  static constexpr size_t kNoBlock = static_cast<size_t>(-1);

  // Marks this key and the keys above it as changed. Every change to a key
  // must do this: the methods below do, and so must whoever sets |time| or
  // another field.
  void MarkChanged();
  // Whether Wine writes a block for this key: when it has a value, a class
  // or a link, or no subkeys.
  bool HasOwnBlock() const;

  // The subkey or value of that lower-case name; null when there is none.
  WineRegKey* FindSubkey(std::u16string_view order_name) const;
  WineRegValue* FindValue(const std::u16string& order_name);
  // Adds a subkey at its place. REQUIRES: none of that name exists.
  WineRegKey* AddSubkey(std::u16string_view name, uint64_t time);
  // Sets a value at its place; a value of the same name keeps its spelling.
  // Returns false when it already held exactly this type and data.
  bool SetValue(std::u16string name, uint32_t type, std::string data);
  bool DeleteValue(const std::u16string& order_name);
  // Takes the subkey out of the tree; its memory stays with the store.
  void DeleteSubkey(const WineRegKey* subkey);
};

// Where the keys of a file live: made in chunks and freed all together with
// the file, so that a key and its names cost no allocation of their own.
class WineRegKeyStore {
 public:
  WineRegKey* NewKey();
  // A copy of |units| that lives as long as the store.
  std::u16string_view Keep(std::u16string_view units);

 private:
  std::vector<std::unique_ptr<WineRegKey[]>> key_chunks_;
  size_t keys_left_ = 0;
  std::vector<std::unique_ptr<char16_t[]>> unit_chunks_;
  char16_t* next_unit_ = nullptr;
  size_t units_left_ = 0;
};

// A key line of the file and the lines after it, up to the next key line:
// from the blank line before the key line when there is one (Wine writes
// one before every block), so that a block is "\n[key] ...\n" as Wine
// writes it.
struct WineRegBlock {
  size_t begin = 0;
  size_t end = 0;
  size_t next_of_key = WineRegKey::kNoBlock;  // the same key's next block
  bool removed = false;                       // the key was deleted
};

struct WineRegFile {
  WineRegFile() : keys(std::make_unique<WineRegKeyStore>()) { root.store = keys.get(); }

  std::unique_ptr<WineRegKeyStore> keys;  // every key but the root
  std::string relative_to;                // the ";;" line that names the branch, as read
  std::string arch;                       // "win32", "win64", or empty when the file has none
  WineRegKey root;
  size_t header_end = 0;             // where the first block begins
  std::vector<WineRegBlock> blocks;  // in the file's order
  // Whether the blocks come in Wine's order, one for each key, each where
  // Wine would write it: only then can a changed block be put where Wine's
  // order puts it.
  bool in_order = true;
};

// Wine's lower-case form of a name, the form it sorts and compares names by.
std::u16string WineOrder(std::u16string_view name);

// Reads the header and the key lines of a file into |file|, the values of no
// key, through |read|, which reads as pread: up to |size| bytes at |offset|
// into |into|, giving the count read, 0 at the end of the file, or -1 on a
// failure it records itself (|*error| is then empty). The file is read in
// pieces of |piece| bytes and held no more than a piece and its longest line
// at a time. Fails, saying which line and why, on anything in them
// wineserver would refuse or read otherwise than a key line says: the first
// line, an unknown #arch, a line before the first key that is no comment or
// option, a key line without its ']' or with a name too long, a key line that
// follows a line continued with '\\' (Wine takes it for that line's data), a
// NUL byte.
using WineRegReader = std::function<long long(char* into, size_t size, size_t offset)>;
bool IndexWineRegFrom(const WineRegReader& read, size_t piece, WineRegFile* file,
                      std::string* error);

// Reads the values, time, class and link of |key| from its blocks, the file
// indexed as |file|. Fails, saying which line and why, on a line there that
// wineserver would refuse, drop or turn into an empty value: a malformed
// value or option, a stray line, a name too long. The blocks are read
// through |blocks|: |read| gives a block's bytes, valid until its next call,
// or false on a failure it records itself (LoadWineRegKey then fails with
// |*error| empty); |line_at| the number of the line at a place of the file,
// asked for only to name a line in an error.
struct WineRegBlocks {
  std::function<bool(const WineRegBlock& block, std::string_view* bytes)> read;
  std::function<size_t(size_t pos)> line_at;
};
bool LoadWineRegKey(const WineRegBlocks& blocks, const WineRegFile& file, WineRegKey* key,
                    std::string* error);

// Writes, through |copy| and |write|, the file of |size| bytes indexed as
// |file| with the changes made to the tree since: |copy| writes the bytes of
// that file from |begin| to |end| as they are, for the blocks that did not
// change, and |write| the new ones, each key whose block is written anew
// (|rewrite|) in wineserver's form, where wineserver's order puts it; the
// blocks of deleted keys are left out. |unended|: the file's last line has no
// LF. REQUIRES: |file.in_order|.
using WineRegWriter = std::function<bool(const char* data, size_t size)>;
using WineRegCopier = std::function<bool(size_t begin, size_t end)>;
bool WriteWineRegChanges(size_t size, bool unended, const WineRegFile& file,
                         const WineRegCopier& copy, const WineRegWriter& write);

// Names between the tree's UTF-16 and the registry's UTF-8. Units that are no
// character (a lone surrogate) pass through as their three-byte form, so that
// every name converts back unchanged.
std::string Utf16ToUtf8Lossless(std::u16string_view text);
std::u16string Utf8ToUtf16Lossless(const std::string& text);

// FILETIME of now, as wineserver stamps a change.
uint64_t WineTimeNow();

}  // namespace dovetune
