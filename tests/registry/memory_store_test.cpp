// The store in memory: whatever order keys and values arrive in, they list in
// the order its contents were made with (as the SQLite store or as a Wine
// prefix lists them), and are found by any letter case of their names.
#include "registry/stores/memory_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace dovetune {
namespace {

using Order = MemoryStore::Order;

const char kGreek[] = "\xce\xb1\xce\xb2\xe2\x82\xac";       // αβ€
const char kUpperGreek[] = "\xce\x91\xce\x92\xe2\x82\xac";  // ΑΒ€
const char kFullwidthA[] = "\xef\xbc\xa1";                  // U+FF21
const char kLinearB[] = "\xf0\x90\x80\x80";                 // U+10000, two UTF-16 units

struct OrderCase {
  const char* label;
  Order order;
  std::vector<std::string> added;
  std::vector<std::string> keys;    // as Children lists them
  std::vector<std::string> values;  // by their places
};

class MemoryStoreOrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(MemoryStoreOrderTest, KeysAndValuesListInTheContentsOrder) {
  MemoryStore store(MemoryStore::Fresh({}, GetParam().order));
  ASSERT_TRUE(store.Begin(0));
  const KeyId user = store.FindRoot(store.Fold("HKEY_CURRENT_USER"));
  ASSERT_NE(user, 0);
  const KeyId parent = store.AddChild(user, "parent", store.Fold("parent"));
  for (const std::string& name : GetParam().added) {
    ASSERT_NE(store.AddChild(parent, name, store.Fold(name)), 0) << name;
    ASSERT_TRUE(store.SetValue(parent, StoreValue{name, 1, "d"}, store.Fold(name))) << name;
  }
  std::vector<std::string> keys, values;
  for (const StoredKey& key : store.Children(parent)) keys.push_back(key.name);
  std::vector<StoredValue> stored;
  ASSERT_TRUE(store.Values(parent, &stored));
  std::stable_sort(stored.begin(), stored.end(),
                   [](const StoredValue& a, const StoredValue& b) { return a.place < b.place; });
  for (size_t i = 0; i < stored.size(); ++i) {
    values.push_back(stored[i].value.name);
    if (i > 0) {
      EXPECT_LT(stored[i - 1].place, stored[i].place) << "two values share a place";
    }
  }
  EXPECT_EQ(keys, GetParam().keys);
  EXPECT_EQ(values, GetParam().values);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MemoryStoreOrderTest,
    ::testing::Values(
        OrderCase{"SqliteLetterCaseIgnored",
                  Order::kAsSqlite,
                  {"b", "aB", "A"},
                  {"A", "aB", "b"},
                  {"b", "aB", "A"}},
        OrderCase{"SqliteUpperCaseBeforeUnderscore",
                  Order::kAsSqlite,
                  {"a_b", "aB"},
                  {"aB", "a_b"},
                  {"a_b", "aB"}},
        OrderCase{"SqliteBeyondAsciiLast",
                  Order::kAsSqlite,
                  {kGreek, "z", ""},
                  {"", "z", kGreek},
                  {kGreek, "z", ""}},
        OrderCase{"SqliteByCodePoint",
                  Order::kAsSqlite,
                  {kLinearB, kFullwidthA},
                  {kFullwidthA, kLinearB},
                  {kLinearB, kFullwidthA}},
        OrderCase{"WineLetterCaseIgnored",
                  Order::kAsWine,
                  {"b", "aB", "A"},
                  {"A", "aB", "b"},
                  {"A", "aB", "b"}},
        OrderCase{"WineLowerCaseAfterUnderscore",
                  Order::kAsWine,
                  {"aB", "a_b"},
                  {"a_b", "aB"},
                  {"a_b", "aB"}},
        OrderCase{"WineShorterFirst", Order::kAsWine, {"ab", "a"}, {"a", "ab"}, {"a", "ab"}},
        OrderCase{"WineBeyondAsciiLast",
                  Order::kAsWine,
                  {kGreek, "z", ""},
                  {"", "z", kGreek},
                  {"", "z", kGreek}},
        OrderCase{"WineByUtf16Unit",
                  Order::kAsWine,
                  {kFullwidthA, kLinearB},
                  {kLinearB, kFullwidthA},
                  {kLinearB, kFullwidthA}}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return info.param.label; });

class MemoryStoreNameTest : public ::testing::TestWithParam<Order> {};

// A name in another letter case finds the key or value, changes the value in
// its place and deletes it; a name not there finds nothing.
TEST_P(MemoryStoreNameTest, NamesAreFoundInAnyLetterCase) {
  MemoryStore store(MemoryStore::Fresh({}, GetParam()));
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

INSTANTIATE_TEST_SUITE_P(Orders, MemoryStoreNameTest,
                         ::testing::Values(Order::kAsSqlite, Order::kAsWine),
                         [](const ::testing::TestParamInfo<Order>& info) {
                           return info.param == Order::kAsSqlite ? "AsSqlite" : "AsWine";
                         });

}  // namespace
}  // namespace dovetune
