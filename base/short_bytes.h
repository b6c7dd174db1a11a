// Comparing and copying the few bytes of a name or a number without a call
// into the C library, whose general routines cost more than the work itself
// when a listing does it for every value it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dovetune {

// Whether the |size| bytes at |a| and |b| are the same. Names of one key often
// share their start ("DefBitRate", "DefVbrMode"), so their last eight bytes
// are compared first.
inline bool SameBytes(const char* a, const char* b, size_t size) {
  if (size < 8) {
    for (size_t i = 0; i < size; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  uint64_t a_word, b_word;
  std::memcpy(&a_word, a + size - 8, 8);
  std::memcpy(&b_word, b + size - 8, 8);
  if (a_word != b_word) return false;
  for (size_t i = 0; i + 8 < size; i += 8) {
    std::memcpy(&a_word, a + i, 8);
    std::memcpy(&b_word, b + i, 8);
    if (a_word != b_word) return false;
  }
  return true;
}

// Copies |size| bytes; at most eight of them without a call.
inline void CopyBytes(char* to, const char* from, size_t size) {
  if (size > 8) {
    std::memcpy(to, from, size);
    return;
  }
  for (size_t i = 0; i < size; ++i) to[i] = from[i];
}

}  // namespace dovetune
