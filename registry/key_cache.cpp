#include "registry/key_cache.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace dovetune {

namespace {

// Values of this many keys are held; a run works on two or three at a time.
constexpr size_t kHeldKeys = 4;

// Keys with up to this many values are searched for a name as it is given,
// before it is folded.
constexpr size_t kScannedValues = 16;

}  // namespace

void KeyValues::Index() {
  PlaceOrder();
  FoldOrder();
}

// The values in the order of their places.
void KeyValues::PlaceOrder() {
  order_by_place_.resize(stored_.size());
  for (size_t i = 0; i < stored_.size(); ++i) order_by_place_[i] = static_cast<uint32_t>(i);
  std::sort(order_by_place_.begin(), order_by_place_.end(),
            [this](uint32_t a, uint32_t b) { return stored_[a].place < stored_[b].place; });
}

// The values in the order of their folded names.
void KeyValues::FoldOrder() {
  order_by_fold_.resize(stored_.size());
  for (size_t i = 0; i < stored_.size(); ++i) order_by_fold_[i] = static_cast<uint32_t>(i);
  std::sort(order_by_fold_.begin(), order_by_fold_.end(), [this](uint32_t a, uint32_t b) {
    return stored_[a].folded_name < stored_[b].folded_name;
  });
}

size_t KeyValues::LowerBound(const std::string& folded_name) const {
  return std::lower_bound(order_by_fold_.begin(), order_by_fold_.end(), folded_name,
                          [this](uint32_t index, const std::string& name) {
                            return stored_[index].folded_name < name;
                          }) -
         order_by_fold_.begin();
}

const StoredValue* KeyValues::Find(const std::string& folded_name) const {
  const size_t at = LowerBound(folded_name);
  if (at == order_by_fold_.size() || stored_[order_by_fold_[at]].folded_name != folded_name) {
    return nullptr;
  }
  return &stored_[order_by_fold_[at]];
}

const StoredValue* KeyValues::FindExact(const char* name, size_t size) const {
  if (stored_.size() > kScannedValues) return nullptr;
  for (const StoredValue& value : stored_) {
    const std::string& candidate = value.value.name;
    if (candidate.size() == size && std::memcmp(candidate.data(), name, size) == 0) return &value;
  }
  return nullptr;
}

void KeyValues::Set(const StoreValue& value, const std::string& folded_name) {
  const size_t at = LowerBound(folded_name);
  if (at < order_by_fold_.size() && stored_[order_by_fold_[at]].folded_name == folded_name) {
    StoredValue& existing = stored_[order_by_fold_[at]];
    existing.value.type = value.type;
    existing.value.data = value.data;
    existing.data_held = true;
    return;
  }
  const uint32_t index = static_cast<uint32_t>(stored_.size());
  const int64_t place = stored_.empty() ? 1 : stored_[order_by_place_.back()].place + 1;
  stored_.push_back(StoredValue{value, folded_name, place});
  order_by_place_.push_back(index);
  order_by_fold_.insert(order_by_fold_.begin() + at, index);
}

// A listed key's subkeys are found by binary search: remembering each of
// thousands of presets one by one would cost a listing more than reading it.
int64_t KeyCache::FindChild(int64_t parent, const std::string& folded_name) {
  const auto found = subkeys_.find(parent);
  if (found == subkeys_.end()) return 0;
  Listing& listing = found->second;
  const auto key_at = [&listing](size_t place) {
    return listing.by_fold.empty() ? place : listing.by_fold[place];
  };
  const size_t count = listing.keys.size();
  size_t low = 0;
  size_t high = count;
  if (listing.next_guess < high &&
      listing.keys[key_at(listing.next_guess)].folded_name == folded_name) {
    low = listing.next_guess;
    high = low;
  }
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (listing.keys[key_at(middle)].folded_name < folded_name) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == count || listing.keys[key_at(low)].folded_name != folded_name) return 0;
  listing.next_guess = low + 1;
  return listing.keys[key_at(low)].id;
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
  listing.by_fold.clear();
  listing.next_guess = 0;
  const std::vector<StoredKey>& keys = listing.keys;
  // The SQLite store lists them in this order already; a Wine prefix in its own.
  bool listed_by_fold = true;
  for (size_t i = 1; i < keys.size() && listed_by_fold; ++i) {
    listed_by_fold = keys[i - 1].folded_name <= keys[i].folded_name;
  }
  if (listed_by_fold) return;
  listing.by_fold.resize(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) listing.by_fold[i] = static_cast<uint32_t>(i);
  std::sort(listing.by_fold.begin(), listing.by_fold.end(),
            [&keys](uint32_t a, uint32_t b) { return keys[a].folded_name < keys[b].folded_name; });
}

KeyValues* KeyCache::Values(int64_t key) {
  // Most lookups are in the key used last.
  if (last_used_ < values_.size() && values_[last_used_].key == key) {
    values_[last_used_].last_use = ++uses_;
    return &values_[last_used_].values;
  }
  for (HeldValues& held : values_) {
    if (held.key != key) continue;
    held.last_use = ++uses_;
    last_used_ = static_cast<size_t>(&held - values_.data());
    return &held.values;
  }
  return nullptr;
}

KeyValues* KeyCache::PlaceForValues(int64_t key) {
  DropValues(key);
  if (values_.size() < kHeldKeys) {
    values_.push_back(HeldValues{key, ++uses_, KeyValues()});
    return &values_.back().values;
  }
  // The least used key gives up its place and its room, so that the others
  // stay where they are.
  HeldValues& held = *std::min_element(
      values_.begin(), values_.end(),
      [](const HeldValues& a, const HeldValues& b) { return a.last_use < b.last_use; });
  held.key = key;
  held.last_use = ++uses_;
  return &held.values;
}

void KeyCache::DropValues(int64_t key) {
  values_.erase(std::remove_if(values_.begin(), values_.end(),
                               [key](const HeldValues& held) { return held.key == key; }),
                values_.end());
}

void KeyCache::Clear() {
  subkeys_.clear();
  values_.clear();
}

}  // namespace dovetune
