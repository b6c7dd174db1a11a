// The compact listing of a key's subkeys: what goes in comes out, in order,
// however long the listing or its names, and its text compares as the
// store's folds are ordered.

#include "registry/stores/subkey_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dovetune {

namespace {

std::string Text(const ListedText& text) { return std::string(text.data, text.size); }

// Folds of every kind a store makes: the name itself, and folds that differ
// from it, in length or beyond ASCII.
std::string FoldOf(const std::string& name, size_t i) {
  switch (i % 3) {
    case 0:
      return name;
    case 1:
      return "F" + name;
    default:
      return name + "\xc3\x89";
  }
}

TEST(SubkeyListingTest, HoldsEveryNameAndFoldInOrderAcrossBlocks) {
  // Lengths from none to more than a whole text block, and enough subkeys to
  // fill many blocks of entries.
  std::vector<std::string> names;
  for (size_t length : {0, 1, 7, 8, 255, 767, 60000}) names.push_back(std::string(length, 'n'));
  for (int i = 0; i < 3000; ++i) names.push_back("Preset-" + std::to_string(i) + "-x");
  SubkeyListing listing;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string fold = FoldOf(names[i], i);
    ASSERT_TRUE(listing.Add(static_cast<int64_t>(i) * 7 + 1, names[i].data(), names[i].size(),
                            fold.data(), fold.size()));
  }
  ASSERT_EQ(listing.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(listing.id(i), static_cast<int64_t>(i) * 7 + 1) << i;
    EXPECT_EQ(Text(listing.name(i)), names[i]) << i;
    EXPECT_EQ(Text(listing.fold(i)), FoldOf(names[i], i)) << i;
  }
}

TEST(SubkeyListingTest, RefusesANameTooLongToHoldAndKeepsTheRest) {
  SubkeyListing listing;
  const std::string huge(70000, 'x');
  ASSERT_TRUE(listing.Add(1, "a", 1, "A", 1));
  EXPECT_FALSE(listing.Add(2, huge.data(), huge.size(), "X", 1));
  EXPECT_FALSE(listing.Add(3, "x", 1, huge.data(), huge.size()));
  ASSERT_EQ(listing.size(), 1u);
  EXPECT_EQ(Text(listing.name(0)), "a");
}

TEST(SubkeyListingTest, TextComparesByteByByteAsStringsDo) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"", "a"},
      {"a", "b"},
      {"ab", "a"},
      {"PRESET-2", "PRESET-10"},
      {"\xc3\x89", "Z"},  // bytes from 0x80 on sort after ASCII
      {std::string("a\0b", 3), std::string("a\0c", 3)},
  };
  const auto sign = [](int compared) { return (compared > 0) - (compared < 0); };
  for (const auto& [left, right] : cases) {
    const ListedText text{left.data(), left.size()};
    EXPECT_EQ(sign(text.Compare(right)), sign(left.compare(right))) << left << " / " << right;
    EXPECT_EQ(text.Equals(right), left == right) << left << " / " << right;
  }
}

}  // namespace

}  // namespace dovetune
