// Key handles are found only while open, whatever slot a later handle takes,
// and never pass for a predefined root.

#include "registry/handle_table.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace dovetune {

namespace {

TEST(HandleTableTest, AClosedHandleStaysInvalidWhenItsSlotIsReused) {
  HandleTable table;
  std::vector<HKEY> closed;
  std::set<HKEY> seen;
  HKEY kept = table.Add(1);
  for (KeyId key = 2; key < 200; ++key) {
    HKEY handle = table.Add(key);
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(seen.insert(handle).second) << "a value handed out twice";
    ASSERT_EQ(table.Find(handle)->key, key);
    if (key % 3 != 0) {  // some stay open while others come and go
      ASSERT_TRUE(table.Remove(handle));
      closed.push_back(handle);
    }
  }
  for (HKEY handle : closed) {
    EXPECT_EQ(table.Find(handle), nullptr);
    EXPECT_FALSE(table.Remove(handle));
  }
  EXPECT_EQ(table.Find(kept)->key, 1);
  int open = 0;
  table.ForEachOpen([&open](HandleTable::Entry&) { ++open; });
  EXPECT_EQ(open, 1 + 66);

  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                    HKEY_CURRENT_CONFIG, static_cast<HKEY>(nullptr)}) {
    EXPECT_EQ(table.Find(root), nullptr);
    EXPECT_EQ(seen.count(root), 0u);
  }
  EXPECT_EQ(table.Find(reinterpret_cast<HKEY>(reinterpret_cast<uintptr_t>(kept) + 1)), nullptr);
}

}  // namespace

}  // namespace dovetune
