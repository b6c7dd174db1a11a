// Writing .reg files: each value type in the form the Windows registry
// editor writes, the wrapping of long hex data, and the file's encoding.

#include <gtest/gtest.h>

#include "base/utf.h"
#include "regtool/reg_file_writer.h"

namespace dovetune {

namespace {

std::string Line(const std::string& name, DWORD type, const std::string& data) {
  std::string line;
  std::string error;
  EXPECT_TRUE(FormatValueLine(RegValue{name, type, data}, &line, &error)) << error;
  return line;
}

std::string Bytes(int first, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>(first + i));
  return bytes;
}

TEST(RegFileWriterTest, EachTypeInTheEditorsForm) {
  EXPECT_EQ(Line("sz", REG_SZ, std::string("a \"q\" \\ b\0", 10)), "\"sz\"=\"a \\\"q\\\" \\\\ b\"");
  EXPECT_EQ(Line("", REG_SZ, std::string("def\0", 4)), "@=\"def\"");
  EXPECT_EQ(Line("n", REG_DWORD, std::string("\x80\0\0\0", 4)), "\"n\"=dword:00000080");
  EXPECT_EQ(Line("n", REG_DWORD, "\xff\xff\xff\xff"), "\"n\"=dword:ffffffff");
  EXPECT_EQ(Line("q", REG_QWORD, std::string("\x89\x67\x45\x23\x01\0\0\0", 8)),
            "\"q\"=hex(b):89,67,45,23,01,00,00,00");
  EXPECT_EQ(Line("b", REG_BINARY, "\x0a\xbc"), "\"b\"=hex:0a,bc");
  EXPECT_EQ(Line("b", REG_BINARY, ""), "\"b\"=hex:");
  EXPECT_EQ(Line("x", REG_NONE, std::string("\x01\0", 2)), "\"x\"=hex(0):01,00");
  EXPECT_EQ(Line("x", 0x20, "\x01"), "\"x\"=hex(20):01");
  // Text types other than a plain string are written as UTF-16LE.
  EXPECT_EQ(Line("e", REG_EXPAND_SZ, std::string("%P%\0", 4)),
            "\"e\"=hex(2):25,00,50,00,25,00,00,00");
  EXPECT_EQ(Line("m", REG_MULTI_SZ, std::string("a\0\xc3\xa9\0\0", 6)),
            "\"m\"=hex(7):61,00,00,00,e9,00,00,00,00,00");
}

TEST(RegFileWriterTest, StringsThatQuotesCannotCarryExactlyBecomeHex) {
  // No terminating zero, an inner zero, a line break, a surplus zero.
  EXPECT_EQ(Line("s", REG_SZ, "ab"), "\"s\"=hex(1):61,00,62,00");
  EXPECT_EQ(Line("s", REG_SZ, std::string("a\0b\0", 4)), "\"s\"=hex(1):61,00,00,00,62,00,00,00");
  EXPECT_EQ(Line("s", REG_SZ, std::string("a\nb\0", 4)), "\"s\"=hex(1):61,00,0a,00,62,00,00,00");
  EXPECT_EQ(Line("s", REG_SZ, ""), "\"s\"=hex(1):");
  EXPECT_EQ(Line("s", REG_DWORD, "\x01\x02"), "\"s\"=hex(4):01,02");
}

TEST(RegFileWriterTest, LongHexWrapsWhereTheEditorWrapsIt) {
  // Widths as the editor writes them: a byte is moved to the next line once
  // the line has reached 77 characters, and the first byte never moves.
  EXPECT_EQ(Line("abc", REG_BINARY, Bytes(1, 23)),
            "\"abc\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17");
  EXPECT_EQ(Line("abcd", REG_BINARY, Bytes(1, 23)),
            "\"abcd\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
            "  17");
  EXPECT_EQ(
      Line("bin", REG_BINARY, Bytes(0, 49)),
      "\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
      "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
      "  30");
  const std::string long_name(75, 'n');
  EXPECT_EQ(Line(long_name, REG_BINARY, "\x01\x02"), "\"" + long_name + "\"=hex:01,\\\r\n  02");
  // Non-ASCII names count in characters, not bytes.
  const std::string four_letters = "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9";
  EXPECT_EQ(Line(four_letters, REG_BINARY, Bytes(1, 23)).substr(four_letters.size() + 2),
            Line("abcd", REG_BINARY, Bytes(1, 23)).substr(6));
}

TEST(RegFileWriterTest, RefusesWhatAFileCannotCarry) {
  std::string line;
  std::string error;
  EXPECT_FALSE(FormatValueLine(RegValue{"bad\xff", REG_DWORD, "\0\0\0\0"}, &line, &error));
  EXPECT_NE(error.find("value name"), std::string::npos) << error;
  EXPECT_FALSE(FormatValueLine(RegValue{"two\nlines", REG_DWORD, "\0\0\0\0"}, &line, &error));
  EXPECT_FALSE(FormatValueLine(RegValue{"t", REG_EXPAND_SZ, "\xff\0"}, &line, &error));
  EXPECT_NE(error.find("not UTF-8"), std::string::npos) << error;
  RegFileWriter writer;
  EXPECT_FALSE(writer.AddKey("HKEY_CURRENT_USER\\bad\xc0", &error));
}

TEST(RegFileWriterTest, FileIsUtf16WithBomCrlfAndABlankLineAfterEachKey) {
  RegFileWriter writer;
  std::string error;
  ASSERT_TRUE(
      writer.AddKey("HKEY_CURRENT_USER\\Software\\Gr\xc3\xb6\xc3\x9f"
                    "e",
                    &error));
  ASSERT_TRUE(writer.AddValue(RegValue{"v", REG_DWORD, std::string(4, '\0')}, &error));
  ASSERT_TRUE(writer.AddKey("HKEY_CURRENT_USER\\Software\\Empty", &error));
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Gr\xc3\xb6\xc3\x9f"
      "e]\r\n"
      "\"v\"=dword:00000000\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Empty]\r\n\r\n";
  EXPECT_EQ(writer.Text(), text);
  std::string utf16;
  ASSERT_TRUE(Utf8ToUtf16Le(text, &utf16));
  EXPECT_EQ(writer.Encode(), "\xff\xfe" + utf16);
}

}  // namespace

}  // namespace dovetune
