// Reading .reg files: encodings, headers, every kind of line, continued hex
// data, deletions, and the refusal of damaged files with the line at fault.

#include <gtest/gtest.h>

#include "base/utf.h"
#include "regtool/reg_file_reader.h"
#include "regtool/reg_file_writer.h"

namespace dovetune {

namespace {

using Kind = RegFileChange::Kind;

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";

std::vector<RegFileChange> Parse(const std::string& bytes) {
  std::vector<RegFileChange> changes;
  std::string error;
  EXPECT_TRUE(ParseRegFile(bytes, &changes, &error)) << error;
  return changes;
}

std::string Utf16(const std::string& text) {
  std::string bytes;
  EXPECT_TRUE(Utf8ToUtf16Le(text, &bytes));
  return "\xff\xfe" + bytes;
}

// The reason a damaged file is refused.
std::string Refusal(const std::string& bytes) {
  std::vector<RegFileChange> changes;
  std::string error;
  EXPECT_FALSE(ParseRegFile(bytes, &changes, &error));
  EXPECT_TRUE(changes.empty());
  return error;
}

TEST(RegFileReaderTest, ReadsEveryValueFormInUtf16) {
  const auto changes =
      Parse(Utf16(std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\T]\r\n"
                                         "@=\"def\"\r\n"
                                         "\"sz\"=\"a \\\"q\\\" \\\\ b\"\r\n"
                                         "\"dw\"=dword:00000080\r\n"
                                         "\"ex\"=hex(2):25,00,50,00,25,00,00,00\r\n"
                                         "\"ms\"=hex(7):61,00,00,00,e9,00,00,00,00,00\r\n"
                                         "\"qw\"=hex(b):89,67,45,23,01,00,00,00\r\n"
                                         "\"bin\"=hex:0a,BC\r\n"
                                         "\"none\"=hex(0):\r\n"
                                         "\"Gr\xc3\xb6\xc3\x9f"
                                         "e\"=dword:5\r\n\r\n"));
  ASSERT_EQ(changes.size(), 10u);
  EXPECT_EQ(changes[0].kind, Kind::kCreateKey);
  EXPECT_EQ(changes[0].key.Full(), "HKEY_CURRENT_USER\\Software\\T");
  EXPECT_EQ(changes[0].line, 3);
  const struct {
    const char* name;
    DWORD type;
    std::string data;
  } expected[] = {
      {"", REG_SZ, std::string("def\0", 4)},
      {"sz", REG_SZ, std::string("a \"q\" \\ b\0", 10)},
      {"dw", REG_DWORD, std::string("\x80\0\0\0", 4)},
      {"ex", REG_EXPAND_SZ, std::string("%P%\0", 4)},
      {"ms", REG_MULTI_SZ, std::string("a\0\xc3\xa9\0\0", 6)},
      {"qw", REG_QWORD, std::string("\x89\x67\x45\x23\x01\0\0\0", 8)},
      {"bin", REG_BINARY, "\x0a\xbc"},
      {"none", REG_NONE, ""},
      {"Gr\xc3\xb6\xc3\x9f"
       "e",
       REG_DWORD, std::string("\x05\0\0\0", 4)},
  };
  for (size_t i = 0; i < 9; ++i) {
    const RegFileChange& change = changes[i + 1];
    EXPECT_EQ(change.kind, Kind::kSetValue);
    EXPECT_EQ(change.key.sub_path, "Software\\T");
    EXPECT_EQ(change.value.name, expected[i].name);
    EXPECT_EQ(change.value.type, expected[i].type) << expected[i].name;
    EXPECT_EQ(change.value.data, expected[i].data) << expected[i].name;
    EXPECT_EQ(change.line, static_cast<int>(i) + 4);
  }
}

TEST(RegFileReaderTest, Utf8WithOrWithoutBomAndLfLineEnds) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\\xc3\xa9]\n"
      "\"\xc3\xa9\"=\"\xe2\x82\xac\"\n";
  for (const std::string& bytes : {text, "\xef\xbb\xbf" + text}) {
    const auto changes = Parse(bytes);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].key.sub_path, "Software\\\xc3\xa9");
    EXPECT_EQ(changes[1].value.name, "\xc3\xa9");
    EXPECT_EQ(changes[1].value.data, "\xe2\x82\xac" + std::string(1, '\0'));
  }
}

TEST(RegFileReaderTest, OlderHeaderKeepsNarrowTextInHex) {
  const std::string head = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n";
  const auto changes = Parse(head + "\"e\"=hex(2):25,50,25,00\r\n");
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[1].value.data, std::string("%P%\0", 4));
  // Text that is not UTF-8 could never be exported again.
  EXPECT_EQ(Refusal(head + "\"e\"=hex(2):25,e0,25,00\r\n"),
            "line 4: the data of a text value is not UTF-8 text");
}

TEST(RegFileReaderTest, ContinuedHexCommentsShortRootsAndDeletions) {
  const auto changes = Parse(std::string(kHeader) +
                             "; a comment\r\n"
                             "[-HKCU\\Software\\Old]\r\n"
                             "  [HKCU\\Software\\T] ; trailing comment\r\n"
                             "\"long\"=hex:01,02,\\\r\n"
                             "  03,04,\\\r\n"
                             "; between the lines\r\n"
                             "  05\r\n"
                             "\"gone\"=-\r\n"
                             "@=-\r\n"
                             "\"s\"=\"x\" ; comment\r\n"
                             "\"h\"=hex:0a, 0b, ; comment, 0c\r\n");
  ASSERT_EQ(changes.size(), 7u);
  EXPECT_EQ(changes[0].kind, Kind::kDeleteKey);
  EXPECT_EQ(changes[0].key.Full(), "HKEY_CURRENT_USER\\Software\\Old");
  EXPECT_EQ(changes[1].kind, Kind::kCreateKey);
  EXPECT_EQ(changes[2].value.data, "\x01\x02\x03\x04\x05");
  EXPECT_EQ(changes[2].line, 6);
  EXPECT_EQ(changes[3].kind, Kind::kDeleteValue);
  EXPECT_EQ(changes[3].value.name, "gone");
  EXPECT_EQ(changes[3].line, 10);
  EXPECT_EQ(changes[4].kind, Kind::kDeleteValue);
  EXPECT_EQ(changes[4].value.name, "");
  EXPECT_EQ(changes[5].value.data, std::string("x\0", 2));
  EXPECT_EQ(changes[6].value.data, "\x0a\x0b");
}

TEST(RegFileReaderTest, DamagedFilesAreRefusedWithTheLineAndReason) {
  const std::string key = "[HKEY_CURRENT_USER\\Software\\T]\r\n";
  const std::string head = kHeader + key;  // values start on line 4
  const struct {
    std::string file;
    const char* reason;
  } cases[] = {
      {"not a registry file\r\n", "line 1: not a .reg file"},
      {"", "line 1: not a .reg file"},
      {std::string(kHeader) + "\"v\"=dword:1\r\n", "line 3: a value line before the first"},
      {std::string(kHeader) + "[HKXX\\Software]\r\n", "line 3: Invalid key name"},
      {std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\r\n", "line 3: a key line must end"},
      {std::string(kHeader) + "[-HKEY_CURRENT_USER]\r\n", "line 3: a root key cannot be deleted"},
      {std::string(kHeader) + "[-HKCU\\Software\\T]\r\n\"v\"=dword:1\r\n",
       "line 4: a value line under a deleted key"},
      {head + "\"v\"=dword:123456789\r\n", "line 4: dword:"},
      {head + "\"v\"=dword:12x\r\n", "line 4: dword:"},
      {head + "\"v\"=dword:\r\n", "line 4: dword:"},
      {head + "\"v\"=hex:01,2g\r\n", "line 4: \"2g\" is not a byte"},
      {head + "\"v\"=hex:01,,02\r\n", "line 4: \"\" is not a byte"},
      {head + "\"v\"=hex:01,102\r\n", "line 4: \"102\" is not a byte"},
      {head + "\"v\"=hex(2):41\r\n", "line 4: the data of a text value is not UTF-16"},
      {head + "\"v\"=hex(7):00,d8,00,00\r\n", "line 4: the data of a text value is not UTF-16"},
      {head + "\"v\"=hex(zz):00\r\n", "line 4: hex( must be followed"},
      {head + "\"v\"=hex:01,\\\r\n", "line 4: the file ends inside continued hex data"},
      {head + "\"v\"=\"open\r\n", "line 4: a quoted text is not closed"},
      {head + "\"v\"=\"a\\tb\"\r\n", "line 4: unknown escape \\t"},
      {head + "\"v\"=\"x\" y\r\n", "line 4: text follows the closing quote"},
      {head + "\"v\"=str:x\r\n", "line 4: unknown data"},
      {head + "\"v\" dword:1\r\n", "line 4: the value name is not followed by ="},
      {head + "v=dword:1\r\n", "line 4: not a [KEY] line"},
      {head + "\r\n\r\n\"\xff\"=dword:1\r\n", "line 6: the line is not UTF-8"},
      {std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\a\rb]\r\n",
       "line 3: the line holds a carriage return"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(Refusal(test.file).rfind(test.reason, 0), 0u)
        << Refusal(test.file) << "\nexpected: " << test.reason;
  }
  EXPECT_EQ(Refusal(Utf16(head) + std::string("\"\0v\0\"\0=\0\x00\xdc", 10)).rfind("line 4:", 0),
            0u);
  EXPECT_EQ(Refusal(Utf16(head) + "\"").rfind("line 4: the file ends in half", 0), 0u);
  EXPECT_EQ(Refusal("\xfe\xff").rfind("line 1: UTF-16 big-endian", 0), 0u);
}

TEST(RegFileReaderTest, WhatTheWriterWritesReadsBackToTheSameBytes) {
  const RegValue values[] = {
      {"", REG_SZ, std::string("def\0", 4)},
      {"quote \" and \\", REG_SZ, std::string("back\\slash \"quoted\"\0", 20)},
      {"no zero", REG_SZ, "abc"},
      {"inner zero", REG_SZ, std::string("a\0b\0", 4)},
      {"lines", REG_SZ, std::string("a\r\nb\0", 5)},
      {"\xe2\x82\xac uro", REG_EXPAND_SZ, std::string("%\xf0\x9f\x8e\xb5%\0", 7)},
      {"multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9)},
      {"dword", REG_DWORD, "\x01\x02\x03\x04"},
      {"short dword", REG_DWORD, "\x01"},
      {"qword", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"},
      {"binary", REG_BINARY, std::string(300, '\xa5')},
      {"none", REG_NONE, ""},
      {"odd type", 0x12345, "\x00\x01"},
  };
  RegFileWriter writer;
  std::string error;
  ASSERT_TRUE(writer.AddKey("HKEY_CURRENT_USER\\Software\\Round [trip]", &error));
  for (const RegValue& value : values) ASSERT_TRUE(writer.AddValue(value, &error)) << error;
  const auto changes = Parse(writer.Encode());
  ASSERT_EQ(changes.size(), 1 + sizeof(values) / sizeof(values[0]));
  EXPECT_EQ(changes[0].key.sub_path, "Software\\Round [trip]");
  for (size_t i = 1; i < changes.size(); ++i) {
    EXPECT_EQ(changes[i].value.name, values[i - 1].name);
    EXPECT_EQ(changes[i].value.type, values[i - 1].type) << values[i - 1].name;
    EXPECT_EQ(changes[i].value.data, values[i - 1].data) << values[i - 1].name;
  }
}

}  // namespace

}  // namespace dovetune
