// Short byte strings compare equal exactly when they are, whatever their
// length and wherever they differ, and copy whole.

#include "base/short_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace dovetune {

namespace {

TEST(ShortBytesTest, ADifferenceAnywhereIsSeenAndACopyIsWhole) {
  for (size_t size = 0; size <= 40; ++size) {
    std::string a;
    for (size_t i = 0; i < size; ++i) a.push_back(static_cast<char>('A' + i % 26));
    const std::string same = a;
    EXPECT_TRUE(SameBytes(a.data(), same.data(), size)) << size;
    for (size_t at = 0; at < size; ++at) {
      std::string other = a;
      other[at] = static_cast<char>(other[at] ^ 0x20);
      EXPECT_FALSE(SameBytes(a.data(), other.data(), size)) << size << " " << at;
    }
    std::string copy(size, '\0');
    CopyBytes(&copy[0], a.data(), size);
    EXPECT_EQ(copy, a) << size;
  }
}

}  // namespace

}  // namespace dovetune
