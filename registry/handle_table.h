// The key handles a run has open. A handle's value names its slot and the
// slot's generation: opening and closing then cost no allocation once the
// table has grown (a listing opens keys by the thousand), and a closed handle
// stays invalid after its slot is reused. Values never look like the
// predefined root handles.
#pragma once

#include <cstdint>
#include <vector>

#include "registry/stores/key_store.h"
#include "registry/win32_api.h"

namespace dovetune {

class HandleTable {
 public:
  struct Entry {
    KeyId key = 0;
    bool deleted = false;
  };

  // A new handle on |key|; null when the table is full.
  HKEY Add(KeyId key);
  // The entry of an open handle; null for any other value.
  Entry* Find(HKEY handle);
  // False when |handle| is not open.
  bool Remove(HKEY handle);
  // Calls |visit| with each open handle's entry.
  template <typename Visit>
  void ForEachOpen(Visit visit) {
    for (Slot& slot : slots_) {
      if (slot.open) visit(slot.entry);
    }
  }

 private:
  struct Slot {
    Entry entry;
    uint32_t generation = 0;
    bool open = false;
  };

  std::vector<Slot> slots_;
  std::vector<uint32_t> free_slots_;
};

}  // namespace dovetune
