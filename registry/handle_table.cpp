#include "registry/handle_table.h"

namespace dovetune {

namespace {

// The low 24 bits of a value are kFirstValue plus four times the slot, the
// rest the slot's generation; the predefined roots' low bits are below
// kFirstValue.
constexpr unsigned kGenerationShift = 24;
constexpr uintptr_t kLowBits = (uintptr_t{1} << kGenerationShift) - 1;
constexpr uintptr_t kFirstValue = 0x1000;
constexpr uint32_t kSlotLimit = (kLowBits + 1 - kFirstValue) / 4;
constexpr uintptr_t kGenerations = ~uintptr_t{0} >> kGenerationShift;

uintptr_t ValueOf(uint32_t slot, uint32_t generation) {
  return (static_cast<uintptr_t>(generation) << kGenerationShift) | (kFirstValue + 4 * slot);
}

}  // namespace

HKEY HandleTable::Add(KeyId key) {
  uint32_t slot = 0;
  if (!free_slots_.empty()) {
    slot = free_slots_.back();
    free_slots_.pop_back();
  } else if (slots_.size() < kSlotLimit) {
    slot = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  } else {
    return nullptr;
  }
  Slot& taken = slots_[slot];
  taken.entry = Entry{key, false};
  taken.open = true;
  return reinterpret_cast<HKEY>(ValueOf(slot, taken.generation));
}

HandleTable::Entry* HandleTable::Find(HKEY handle) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  const uintptr_t low = value & kLowBits;
  if (low < kFirstValue || (low - kFirstValue) % 4 != 0) return nullptr;
  const uintptr_t slot = (low - kFirstValue) / 4;
  if (slot >= slots_.size()) return nullptr;
  Slot& found = slots_[slot];
  if (!found.open || ValueOf(static_cast<uint32_t>(slot), found.generation) != value) {
    return nullptr;
  }
  return &found.entry;
}

bool HandleTable::Remove(HKEY handle) {
  Entry* entry = Find(handle);
  if (!entry) return false;
  const uint32_t slot =
      static_cast<uint32_t>(((reinterpret_cast<uintptr_t>(handle) & kLowBits) - kFirstValue) / 4);
  Slot& removed = slots_[slot];
  removed.open = false;
  removed.generation = static_cast<uint32_t>((removed.generation + 1) % (kGenerations + 1));
  free_slots_.push_back(slot);
  return true;
}

}  // namespace dovetune
