// Name folding by the fixed case tables: which names are one, and the order
// Wine keeps them in.

#include "registry/stores/name_fold.h"

#include <gtest/gtest.h>

#include "base/utf.h"

namespace dovetune {

namespace {

std::string Utf8(char32_t code_point) {
  std::string text;
  AppendUtf8(code_point, &text);
  return text;
}

struct FoldCase {
  const char* what;
  std::string name;
  std::string upper;
  std::string lower;
};

TEST(NameFoldTest, FoldsBySimpleCaseMappingsThatGoBothWays) {
  const FoldCase cases[] = {
      {"ASCII", "Presets_1", "PRESETS_1", "presets_1"},
      {"Latin-1", "\xc3\x89t\xc3\xa9", "\xc3\x89T\xc3\x89", "\xc3\xa9t\xc3\xa9"},
      {"y with diaeresis leaves Latin-1", "\xc3\xbf", "\xc5\xb8", "\xc3\xbf"},
      {"Greek and Cyrillic", "\xce\xb1\xd0\x96", "\xce\x91\xd0\x96", "\xce\xb1\xd0\xb6"},
      {"fullwidth", Utf8(0xFF41) + Utf8(0xFF21), Utf8(0xFF21) + Utf8(0xFF21),
       Utf8(0xFF41) + Utf8(0xFF41)},
      // One-way mappings stay out: these are names of their own, as in Wine.
      {"sharp s has no simple upper case", "\xc3\x9f", "\xc3\x9f", "\xc3\x9f"},
      {"long s", Utf8(0x17F), Utf8(0x17F), Utf8(0x17F)},
      {"final sigma", Utf8(0x3C2), Utf8(0x3C2), Utf8(0x3C2)},
      {"micro sign", Utf8(0xB5), Utf8(0xB5), Utf8(0xB5)},
      {"title case Dz", Utf8(0x1C5), Utf8(0x1C5), Utf8(0x1C5)},
      {"Kelvin sign", Utf8(0x212A), Utf8(0x212A), Utf8(0x212A)},
      {"dotted and dotless i", Utf8(0x130) + Utf8(0x131), Utf8(0x130) + Utf8(0x131),
       Utf8(0x130) + Utf8(0x131)},
      // Past U+FFFF each UTF-16 unit is a surrogate, which maps to itself.
      {"Deseret", Utf8(0x10428) + Utf8(0x10400), Utf8(0x10428) + Utf8(0x10400),
       Utf8(0x10428) + Utf8(0x10400)},
      {"invalid bytes", "a\xff\xc3", "A\xff\xc3", "a\xff\xc3"},
  };
  for (const FoldCase& c : cases) {
    EXPECT_EQ(FoldName(c.name), c.upper) << c.what;
    EXPECT_EQ(LowerCaseFold(c.name), c.lower) << c.what;
  }
}

// Two names that are one upper-cased must be one lower-cased, or a store and
// Wine would disagree on which keys exist: for every unit, mapping to one
// case and then the other lands where mapping to the other case directly does.
TEST(NameFoldTest, UpperAndLowerCaseFoldsMakeTheSameNamesOne) {
  int folding = 0;
  for (char32_t unit = 0x80; unit <= 0xFFFF; ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    const std::string name = Utf8(unit);
    const std::string upper = FoldName(name);
    const std::string lower = LowerCaseFold(name);
    ASSERT_EQ(FoldName(lower), upper) << std::hex << unit;
    ASSERT_EQ(LowerCaseFold(upper), lower) << std::hex << unit;
    folding += upper != name || lower != name;
  }
  EXPECT_GT(folding, 2000);  // the tables are there at all
}

// ASCII names fold several bytes at a time: every ASCII byte, at every place
// of a name longer than one such step, folds as the letter cases say, and a
// non-ASCII character anywhere still folds by the tables.
TEST(NameFoldTest, EveryAsciiByteFoldsAtEveryPlace) {
  for (size_t place = 0; place < 19; ++place) {
    for (int byte = 0; byte < 0x80; ++byte) {
      std::string name = "mIxEd-Case_Name.19";  // 18 bytes, and one more put in
      name.insert(place, 1, static_cast<char>(byte));
      std::string upper = name;
      std::string lower = name;
      for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
      for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
      ASSERT_EQ(FoldName(name), upper) << place << " " << byte;
      ASSERT_EQ(LowerCaseFold(name), lower) << place << " " << byte;
    }
    std::string name = "longer-name-abc-xyz";
    name.replace(place, 1, Utf8(0xE9));  // é
    std::string expected = "LONGER-NAME-ABC-XYZ";
    expected.replace(place, 1, Utf8(0xC9));  // É
    EXPECT_EQ(FoldName(name), expected) << place;
  }
}

}  // namespace

}  // namespace dovetune
