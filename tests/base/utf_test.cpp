// UTF-16: code points into units, units into little-endian bytes and back,
// and UTF-16LE text into UTF-8.

#include "base/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace dovetune {

namespace {

TEST(Utf16Test, CodePointsPackIntoUnitsAndLittleEndianBytes) {
  struct Case {
    char32_t code_point;
    std::u16string units;
    std::string bytes;
  };
  const Case cases[] = {
      {U'A', u"A", std::string("A\0", 2)},
      {U'\u00e9', u"\u00e9", std::string("\xe9\0", 2)},
      {U'\uffff', u"\uffff", "\xff\xff"},
      {U'\U00010000', {0xD800, 0xDC00}, std::string("\x00\xd8\x00\xdc", 4)},
      {U'\U0010FFFF', {0xDBFF, 0xDFFF}, "\xff\xdb\xff\xdf"},
  };
  for (const Case& c : cases) {
    std::u16string units;
    AppendUtf16(c.code_point, &units);
    EXPECT_EQ(units, c.units) << static_cast<uint32_t>(c.code_point);
    EXPECT_EQ(Utf16UnitsToLe(units), c.bytes) << static_cast<uint32_t>(c.code_point);
    EXPECT_EQ(Utf16LeToUnits(c.bytes), c.units) << static_cast<uint32_t>(c.code_point);
    std::string utf8;
    AppendUtf8(c.code_point, &utf8);
    EXPECT_EQ(Utf16Length("a" + utf8), 1 + c.units.size()) << static_cast<uint32_t>(c.code_point);
  }
  // Each byte that is not UTF-8, a cut sequence's included, is one unit.
  EXPECT_EQ(Utf16Length("a\xff\xe2\x82"), 4u);
  // An odd last byte is no unit.
  EXPECT_EQ(Utf16LeToUnits(std::string("A\0B", 3)), u"A");
}

// A surrogate pair is one character; a lone surrogate, wherever it stands,
// is no UTF-8, nor is an odd last byte.
TEST(Utf16Test, Utf16LeConvertsToUtf8OnlyWhereEveryUnitIsACharacter) {
  const std::pair<std::u16string, const char*> cases[] = {
      {u"", ""},
      {u"a\u00e9\uffff", "a\xC3\xA9\xEF\xBF\xBF"},
      {{'x', 0xD83D, 0xDE00, 'y'}, "x\xF0\x9F\x98\x80y"},
      {{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
      {{'x', 0xD800}, nullptr},
      {{0xD800, 'x'}, nullptr},
      {{0xD800, 0xD800, 0xDC00}, nullptr},
      {{0xDC00, 'x'}, nullptr},
      {{'x', 0xDE00}, nullptr},
  };
  for (const auto& c : cases) {
    std::string utf8 = "unchanged";
    const std::string bytes = Utf16UnitsToLe(c.first);
    EXPECT_EQ(Utf16LeToUtf8(bytes, &utf8), c.second != nullptr) << bytes;
    EXPECT_EQ(utf8, c.second ? c.second : "unchanged") << bytes;
  }
  std::string utf8;
  EXPECT_FALSE(Utf16LeToUtf8(std::string("A\0B", 3), &utf8));
}

}  // namespace

}  // namespace dovetune
