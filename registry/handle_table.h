// The key handles a run has open. No value is handed out twice in a run, so a
// closed handle stays invalid, and none looks like a predefined root handle.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "registry/stores/key_store.h"
#include "registry/win32_api.h"

namespace dovetune {

class HandleTable {
 public:
  struct Entry {
    KeyId key = 0;
    bool deleted = false;
  };

  HandleTable();

  // A new handle on |key|; null when the run has used up its handles.
  HKEY Add(KeyId key);
  // The entry of an open handle, which stays put while it is open; null for
  // any other value.
  Entry* Find(HKEY handle);
  // False when |handle| is not open.
  bool Remove(HKEY handle);
  // Calls |visit| with each open handle's entry.
  template <typename Visit>
  void ForEachOpen(Visit visit) {
    for (auto& open : open_) visit(open.second);
  }

 private:
  std::unordered_map<uintptr_t, Entry> open_;
  uintptr_t next_value_;
};

}  // namespace dovetune
