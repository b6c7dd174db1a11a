#include "registry/handle_table.h"

namespace dovetune {

namespace {

// Handles are numbered from kFirstValue in steps of four and never used
// twice, so that a closed handle stays invalid; the numbers stop short of the
// predefined roots' values (0x80000000 and up).
constexpr uintptr_t kFirstValue = 0x1000;
constexpr uintptr_t kValueLimit = 0x80000000u;

}  // namespace

HandleTable::HandleTable() : next_value_(kFirstValue) {}

HKEY HandleTable::Add(KeyId key) {
  if (next_value_ >= kValueLimit) return nullptr;
  const uintptr_t value = next_value_;
  next_value_ += 4;
  open_.emplace(value, Entry{key, false});
  return reinterpret_cast<HKEY>(value);
}

HandleTable::Entry* HandleTable::Find(HKEY handle) {
  const auto found = open_.find(reinterpret_cast<uintptr_t>(handle));
  return found == open_.end() ? nullptr : &found->second;
}

bool HandleTable::Remove(HKEY handle) {
  return open_.erase(reinterpret_cast<uintptr_t>(handle)) == 1;
}

}  // namespace dovetune
