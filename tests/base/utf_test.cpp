// UTF-16: code points into units, units into little-endian bytes and back.

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

}  // namespace

}  // namespace dovetune
