#include "registry/key_cache.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace dovetune {

void KeyValues::Index() {
  const auto by_place = [](const StoredValue& a, const StoredValue& b) {
    return a.place < b.place;
  };
  // Left as they are when in order, as the SQLite store gives them: each
  // keeps the room the next key's values are read into.
  if (!std::is_sorted(stored_.begin(), stored_.end(), by_place)) {
    std::sort(stored_.begin(), stored_.end(), by_place);
  }
}

const StoredValue* KeyValues::Find(const std::string& folded_name) const {
  for (const StoredValue& value : stored_) {
    if (value.folded_name == folded_name) return &value;
  }
  return nullptr;
}

const StoredValue* KeyValues::FindExact(const char* name, size_t size) const {
  for (const StoredValue& value : stored_) {
    const std::string& candidate = value.value.name;
    if (candidate.size() == size && std::memcmp(candidate.data(), name, size) == 0) return &value;
  }
  return nullptr;
}

// A listed key's subkeys are found by binary search in the order of their
// folded names: a key of thousands is listed once and each found in it.
int64_t KeyCache::FindChild(int64_t parent, const std::string& folded_name) const {
  const auto found = subkeys_.find(parent);
  if (found == subkeys_.end()) return 0;
  const Listing& listing = found->second;
  const auto at = std::lower_bound(listing.by_fold.begin(), listing.by_fold.end(), folded_name,
                                   [&listing](uint32_t index, const std::string& name) {
                                     return listing.keys[index].folded_name < name;
                                   });
  if (at == listing.by_fold.end() || listing.keys[*at].folded_name != folded_name) return 0;
  return listing.keys[*at].id;
}

void KeyCache::ChildAdded(int64_t parent) { subkeys_.erase(parent); }

void KeyCache::KeyDeleted(int64_t parent, int64_t key) {
  if (parent != 0) {
    subkeys_.erase(parent);
  } else {
    subkeys_.clear();
  }
  subkeys_.erase(key);
  DropValues(key);
}

const std::vector<StoredKey>* KeyCache::Subkeys(int64_t parent) const {
  const auto found = subkeys_.find(parent);
  return found == subkeys_.end() ? nullptr : &found->second.keys;
}

void KeyCache::SetSubkeys(int64_t parent, std::vector<StoredKey> children) {
  Listing& listing = subkeys_[parent];
  listing.keys = std::move(children);
  const std::vector<StoredKey>& keys = listing.keys;
  listing.by_fold.resize(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) listing.by_fold[i] = static_cast<uint32_t>(i);
  std::sort(listing.by_fold.begin(), listing.by_fold.end(),
            [&keys](uint32_t a, uint32_t b) { return keys[a].folded_name < keys[b].folded_name; });
}

KeyValues* KeyCache::Values(int64_t key) {
  return key != 0 && key == values_key_ ? &values_ : nullptr;
}

KeyValues* KeyCache::PlaceForValues(int64_t key) {
  values_key_ = key;
  return &values_;
}

void KeyCache::DropValues(int64_t key) {
  if (key == values_key_) values_key_ = 0;
}

void KeyCache::Clear() {
  subkeys_.clear();
  values_key_ = 0;
}

}  // namespace dovetune
