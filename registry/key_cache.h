// What a run has already read of the embedded store: the subkey lists of keys
// that were enumerated, where their ids are then found by name, and the values
// of the key read last. Listing the presets and summarising each one then
// costs one query per preset instead of one per value. The registry tells
// the cache of every change it makes, so the cache always agrees with the
// store; nothing else writes to the store during a run, which holds it locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/stores/key_store.h"

namespace dovetune {

// The values of one key in the order they were created, found by folded name.
class KeyValues {
 public:
  KeyValues() = default;

  // The values, to be filled anew (their strings' room is reused); Index
  // must follow before any other use.
  std::vector<StoredValue>* room() { return &stored_; }
  // Puts the values in the order they were created.
  void Index();

  size_t size() const { return stored_.size(); }
  // The value at |index| in the order the values were created.
  const StoredValue& At(size_t index) const { return stored_[index]; }
  const StoredValue* Find(const std::string& folded_name) const;
  // The value whose name is exactly |name|: the name a program asks for is
  // usually the one it created, so most lookups need no fold. Null when none
  // is.
  const StoredValue* FindExact(const char* name, size_t size) const;

 private:
  std::vector<StoredValue> stored_;
};

class KeyCache {
 public:
  // The id of a subkey of a listed key: 0 when |parent| has not been listed
  // or has no such subkey.
  int64_t FindChild(int64_t parent, const std::string& folded_name) const;
  void ChildAdded(int64_t parent);
  // |parent| is 0 when it is not known.
  void KeyDeleted(int64_t parent, int64_t key);

  // Subkeys in the store's order; null until SetSubkeys. Their ids are then
  // found by name (FindChild).
  const std::vector<StoredKey>* Subkeys(int64_t parent) const;
  void SetSubkeys(int64_t parent, std::vector<StoredKey> children);

  // Null when the key's values are not held; held are those of the key read
  // last, so that memory stays small however many keys a run reads.
  KeyValues* Values(int64_t key);
  // The place for the values of |key|, which takes the room of the key read
  // before: fill its room() and Index it, or DropValues on a failure.
  KeyValues* PlaceForValues(int64_t key);
  void DropValues(int64_t key);

  // Forgets everything, as after a change too wide to follow key by key.
  void Clear();

 private:
  // A key's subkeys as the store listed them, and their places in the order
  // of their folded names.
  struct Listing {
    std::vector<StoredKey> keys;
    std::vector<uint32_t> by_fold;
  };

  std::unordered_map<int64_t, Listing> subkeys_;
  int64_t values_key_ = 0;  // the key whose values are held; 0 when none
  KeyValues values_;
};

}  // namespace dovetune
