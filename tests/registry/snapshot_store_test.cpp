// The store that holds a running Wine's copy of the registry: whatever order
// keys and values arrive in, they list in the order a Wine prefix lists them,
// and are found by any letter case of their names.
#include "registry/stores/snapshot_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dovetune {
namespace {

const char kGreek[] = "\xce\xb1\xce\xb2\xe2\x82\xac";       // αβ€
const char kUpperGreek[] = "\xce\x91\xce\x92\xe2\x82\xac";  // ΑΒ€

struct OrderCase {
  const char* label;
  std::vector<std::string> added;
  std::vector<std::string> listed;
};

class SnapshotOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(SnapshotOrderTest, KeysAndValuesListInWinesOrder) {
  SnapshotStore store;
  ASSERT_TRUE(store.Begin(0));
  const KeyId user = store.FindRoot(store.Fold("HKEY_CURRENT_USER"));
  ASSERT_NE(user, 0);
  for (const std::string& name : GetParam().added) {
    ASSERT_NE(store.AddChild(user, name, store.Fold(name)), 0) << name;
    ASSERT_TRUE(store.SetValue(user, StoreValue{name, 1, "d"}, store.Fold(name))) << name;
  }
  std::vector<std::string> keys, values;
  for (const StoredKey& key : store.Children(user)) keys.push_back(key.name);
  std::vector<StoredValue> stored;
  ASSERT_TRUE(store.Values(user, &stored));
  for (size_t i = 0; i < stored.size(); ++i) {
    values.push_back(stored[i].value.name);
    EXPECT_EQ(stored[i].place, static_cast<int64_t>(i));
  }
  EXPECT_EQ(keys, GetParam().listed);
  EXPECT_EQ(values, GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SnapshotOrderTest,
    ::testing::Values(OrderCase{"LetterCaseIgnored", {"b", "aB", "A"}, {"A", "aB", "b"}},
                      OrderCase{"LowerCaseBeforeUnderscore", {"aB", "a_b"}, {"a_b", "aB"}},
                      OrderCase{"ShorterFirst", {"ab", "a"}, {"a", "ab"}},
                      OrderCase{"BeyondAsciiLast", {kGreek, "z", ""}, {"", "z", kGreek}}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return info.param.label; });

// A name in another letter case finds the key or value, changes the value in
// its place and deletes it; a name not there finds nothing.
TEST(SnapshotStoreTest, NamesAreFoundInAnyLetterCase) {
  SnapshotStore store;
  ASSERT_TRUE(store.Begin(0));
  const KeyId root = store.FindRoot(store.Fold("hkey_current_user"));
  ASSERT_NE(root, 0);
  const KeyId key = store.AddChild(root, kGreek, store.Fold(kGreek));
  ASSERT_NE(key, 0);
  EXPECT_EQ(store.FindChild(root, store.Fold(kUpperGreek)), key);
  EXPECT_EQ(store.FindChild(root, store.Fold("none")), 0);
  ASSERT_TRUE(store.SetValue(key, StoreValue{kGreek, 1, "one"}, store.Fold(kGreek)));
  ASSERT_TRUE(store.SetValue(key, StoreValue{kUpperGreek, 4, "two"}, store.Fold(kUpperGreek)));
  std::vector<StoredValue> values;
  ASSERT_TRUE(store.Values(key, &values));
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].value.name, kGreek);
  EXPECT_EQ(values[0].value.type, 4u);
  std::string data;
  ASSERT_TRUE(store.ReadData(key, store.Fold(kUpperGreek), &data));
  EXPECT_EQ(data, "two");
  EXPECT_FALSE(store.DeleteValue(key, store.Fold("none")));
  EXPECT_TRUE(store.DeleteValue(key, store.Fold(kUpperGreek)));
  EXPECT_FALSE(store.ReadData(key, store.Fold(kGreek), &data));
  EXPECT_TRUE(store.DeleteKey(key));
  EXPECT_EQ(store.FindChild(root, store.Fold(kGreek)), 0);
  EXPECT_FALSE(store.failed());
}

}  // namespace
}  // namespace dovetune
