// Wine's registry file format: values written as wineserver writes them, files
// wineserver would refuse or damage refused, and anything written read back
// equal.

#include "registry/stores/wine_reg_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/wine_reg_text.h"

namespace dovetune {

namespace {

using namespace std::string_literals;

const char kHead[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n#arch=win64\n";

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int byte : bytes) out.push_back(static_cast<char>(byte));
  return out;
}

std::string Utf16(const std::u16string& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// The value line(s) wineserver writes for one value.
std::string ValueText(const std::u16string& name, uint32_t type, const std::string& data) {
  WineRegFile file;
  file.relative_to = ";;";
  WineRegKey* key = file.root.AddSubkey(u"K", 132000000000000000ULL);
  key->SetValue(name, type, data);
  const std::string text = FormatWineReg(file);
  const size_t start = text.find("#time=");
  return text.substr(text.find('\n', start) + 1);
}

TEST(WineRegFormatTest, WritesValuesAsWineserverDoes) {
  struct Case {
    std::u16string name;
    uint32_t type;
    std::string data;
    std::string expected;
  };
  const std::string long_binary(30, '\xab');
  const Case cases[] = {
      {u"", 1, Utf16(u"x\0"s), "@=\"x\"\n"},
      {u"a\"b\\c", 1, Utf16(u"q\"\\\0"s), "\"a\\\"b\\\\c\"=\"q\\\"\\\\\"\n"},
      {u"S", 2, Utf16(u"%P%\0"s), "\"S\"=str(2):\"%P%\"\n"},
      {u"M", 7, Utf16(u"a\0b\0\0"s), "\"M\"=str(7):\"a\\0b\\0\"\n"},
      {u"D", 4, Bytes({0x80, 0, 0, 0}), "\"D\"=dword:00000080\n"},
      {u"short", 4, Bytes({7, 0}), "\"short\"=hex(4):07,00\n"},
      {u"Q", 11, Bytes({1, 2, 3, 4, 5, 6, 7, 8}), "\"Q\"=hex(b):01,02,03,04,05,06,07,08\n"},
      {u"none", 0, "", "\"none\"=hex(0):\n"},
      {u"odd", 1, "abc", "\"odd\"=hex(1):61,62,63\n"},
      {u"unterminated", 1, Utf16(u"ab"), "\"unterminated\"=hex(1):61,00,62,00\n"},
      {u"\u00e9a\u20ac\u00e9", 1, Utf16(u"\u00e9z\0"s), "\"\\x00e9a\\x20ac\\xe9\"=\"\\xe9z\"\n"},
      {u"c\x01"
       u"1\x01z\t\x1b",
       1, Utf16(u"\x7f\0"s), "\"c\\0011\\1z\\t\\e\"=\"\x7f\"\n"},
      {u"B", 3, long_binary,
       "\"B\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\n"
       "  ab,ab,ab,ab,ab,ab,ab\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValueText(c.name, c.type, c.data), c.expected);
  }
}

TEST(WineRegFormatTest, KeysInWinesOrderWithTimesAndBlocksOnlyWhereWineWritesThem) {
  WineRegFile file;
  file.relative_to = ";; All keys relative to X";
  file.arch = "win64";
  const uint64_t time = 0x1dd86ccd5625c7aULL;
  WineRegKey* software = file.root.AddSubkey(u"Software", time);
  software->AddSubkey(u"ab", time)->SetValue(u"v", 4, Bytes({1, 0, 0, 0}));
  software->AddSubkey(u"a_b", time);
  software->AddSubkey(u"A[1]", time)->has_class = true;
  const std::string expected =
      "WINE REGISTRY Version 2\n;; All keys relative to X\n\n#arch=win64\n"
      "\n[Software\\\\A\\[1\\]] 1796704220\n#time=1dd86ccd5625c7a\n#class=\"\"\n"
      "\n[Software\\\\a_b] 1796704220\n#time=1dd86ccd5625c7a\n"
      "\n[Software\\\\ab] 1796704220\n#time=1dd86ccd5625c7a\n\"v\"=dword:00000001\n";
  EXPECT_EQ(FormatWineReg(file), expected);
}

TEST(WineRegFormatTest, ReadsWhatWineReadsAndWritesItBackUnchanged) {
  const std::string text = std::string(kHead) +
                           "\n[Software\\\\Wine] 1796704220\n#time=1dd86ccd5625c7a\n"
                           "#class=\"c\\\"\"\n#link\n"
                           "@=\"d\"\n\"bin\"=hex:00,01,02\n\"e\"=hex(2):41,00\n";
  WineRegFile file;
  std::string error;
  ASSERT_TRUE(ParseWineReg(text, &file, &error)) << error;
  const WineRegKey* wine = file.root.FindSubkey(u"software")->FindSubkey(u"wine");
  ASSERT_NE(wine, nullptr);
  EXPECT_EQ(wine->class_name, u"c\"");
  EXPECT_TRUE(wine->link);
  ASSERT_EQ(wine->values.size(), 3u);
  EXPECT_EQ(wine->values[1].data, Bytes({0, 1, 2}));
  EXPECT_EQ(FormatWineReg(file), text);

  // What Wine reads but does not write comes out in Wine's own form.
  const std::string loose =
      std::string(kHead) +
      "; a comment\r\n[Software\\\\Wine] 1\r\n  \"x\" = dword:1\n\"b\"=hex:00,\\\n  01\n";
  ASSERT_TRUE(ParseWineReg(loose, &file, &error)) << error;
  EXPECT_NE(FormatWineReg(file), loose);
}

TEST(WineRegFormatTest, RefusesWhatWineRefusesDropsOrEmpties) {
  const std::string key = "\n[Software] 1\n";
  const std::pair<std::string, std::string> cases[] = {
      {"", "first line"},
      {"\xEF\xBB\xBF" + std::string(kHead), "first line"},
      {"WINE REGISTRY Version 2 \n", "first line"},
      {"WINE REGISTRY Version 2\n#arch=win16\n", "#arch"},
      {std::string(kHead) + "[Software\n\"v\"=\"x\"\n", "closing ']'"},
      {std::string(kHead) + "\"v\"=\"x\"\n", "before the first key"},
      {std::string(kHead) + key + "\"v\"=\"x\n", "closing '\"'"},
      {std::string(kHead) + key + "\"v=\"x\"\n", "'='"},
      {std::string(kHead) + key + "\"v\"=word:1\n", "type"},
      {std::string(kHead) + key + "\"v\"=hex:100\n", "above ff"},
      {std::string(kHead) + key + "\"v\"=hex:01,zz\n", "stray"},
      {std::string(kHead) + key + "\"v\"=hex:01,\\\n\n  02\n", "blank line"},
      {std::string(kHead) + key + "\"v\"=hex:01,\\\n", "past the end"},
      {std::string(kHead) + key + "\"v\"=\"\xff\"\n", "closing '\"'"},
      {std::string(kHead) + key + "\"v\"=\"\xC0\x80\"\n", "closing '\"'"},
      {std::string(kHead) + key + "\"v\"=\"\xED\xA0\x80\"\n", "closing '\"'"},
      {std::string(kHead) + key + "\"v\"=\"\xE2\x82\"\n", "closing '\"'"},
      {std::string(kHead) + key + "\"v\"=\"\xF4\x90\x80\x80\"\n", "closing '\"'"},
      {std::string(kHead) + key + "\"\x80\"=\"x\"\n", "closing '\"'"},
      {std::string(kHead) + key + "\"v\"=\"a\"\n" + std::string("x\0y\n", 4), "NUL"},
      {std::string(kHead) + key + "garbage\n", "no key, value"},
      {std::string(kHead) + key + "#class=x\n", "#class"},
      {std::string(kHead) + "[" + std::string(257, 'k') + "]\n", "longer"},
  };
  for (const auto& c : cases) {
    WineRegFile file;
    std::string error;
    EXPECT_FALSE(ParseWineReg(c.first, &file, &error)) << c.first;
    EXPECT_NE(error.find(c.second), std::string::npos) << error;
  }
}

// Key lines that repeat, respell or skip back to an earlier path, and the
// numbers of key and dword lines in every form strtoul and sscanf take.
TEST(WineRegFormatTest, KeyPathsAndNumbersReadAsWineReadsThem) {
  WineRegFile file;
  std::string error;
  ASSERT_TRUE(ParseWineReg(std::string(kHead) + "[A\\\\B] 12\n\"v\"=dword:0x10\n"
                                                "[a\\\\b\\\\C] +7\n\"v\"=dword:-1\n"
                                                "[A\\\\\\\\B\\\\D]   3\n\"v\"=dword: 7\n"
                                                "[Z]\n\"v\"=dword:123456789\n"
                                                "[Y]\n\"v\"=dword:1\n\"b\"=dword:2\n\"V\"=dword:3\n"
                                                "[A\\\\B]\n\"w\"=dword:fffffffffffffffff\n"
                                                "[A\\\\E] 4294967295\n\"v\"=dword:\n",
                           &file, &error))
      << error;
  ASSERT_EQ(file.root.subkeys.size(), 3u);
  const WineRegKey* a = file.root.FindSubkey(u"a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->subkeys.size(), 2u);
  const WineRegKey* b = a->FindSubkey(u"b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->name, u"B");
  ASSERT_EQ(b->subkeys.size(), 2u);
  ASSERT_NE(b->FindSubkey(u"c"), nullptr);
  ASSERT_NE(b->FindSubkey(u"d"), nullptr);
  const auto dword = [](const WineRegKey* key, const char16_t* name) {
    const WineRegValue* value = const_cast<WineRegKey*>(key)->FindValue(name);
    uint32_t number = 0;
    if (value && value->data.size() == 4) std::memcpy(&number, value->data.data(), 4);
    return number;
  };
  EXPECT_EQ(dword(b, u"v"), 0x10u);
  EXPECT_EQ(dword(b, u"w"), 0xFFFFFFFFu);
  EXPECT_EQ(dword(b->FindSubkey(u"c"), u"v"), 0xFFFFFFFFu);
  EXPECT_EQ(dword(b->FindSubkey(u"d"), u"v"), 7u);
  EXPECT_EQ(dword(file.root.FindSubkey(u"z"), u"v"), 0x23456789u);
  EXPECT_EQ(dword(a->FindSubkey(u"e"), u"v"), 0u);
  // Values out of order, and one repeated: in order, the first spelling kept.
  const WineRegKey* y = file.root.FindSubkey(u"y");
  ASSERT_EQ(y->values.size(), 2u);
  EXPECT_EQ(y->values[0].name, u"b");
  EXPECT_EQ(y->values[1].name, u"v");
  EXPECT_EQ(dword(y, u"v"), 3u);
  const uint64_t k1970 = 116444736000000000ULL;
  EXPECT_EQ(b->time, k1970 + 12 * 10000000ULL);
  EXPECT_EQ(b->FindSubkey(u"c")->time, k1970 + 7 * 10000000ULL);
  EXPECT_EQ(b->FindSubkey(u"d")->time, k1970 + 3 * 10000000ULL);
  EXPECT_EQ(a->FindSubkey(u"e")->time, k1970 + 4294967295ULL * 10000000ULL);
  EXPECT_GT(file.root.FindSubkey(u"z")->time, k1970 + 1700000000 * 10000000ULL);  // now
}

// Names and strings as UTF-8 bytes, beside the escapes Wine writes: each
// character one UTF-16 unit, or a surrogate pair past U+FFFF.
TEST(WineRegFormatTest, ReadsUtf8TextAsUtf16Units) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"plain", u"plain"},
      {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
      {"\xE2\x82\xAC\\x20ac", u"\u20AC\u20AC"},
      {"\xEF\xBF\xBF", u"\uFFFF"},
      {"a\xF0\x9F\x98\x80"
       "b",
       u"a\U0001F600b"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const auto& c : cases) {
    WineRegFile file;
    std::string error;
    ASSERT_TRUE(ParseWineReg(std::string(kHead) + "[K]\n\"" + c.first + "\"=\"" + c.first + "\"\n",
                             &file, &error))
        << c.first << ": " << error;
    const WineRegValue& value = file.root.FindSubkey(u"k")->values.at(0);
    EXPECT_EQ(value.name, c.second) << c.first;
    EXPECT_EQ(value.data, Utf16(c.second + u'\0')) << c.first;
  }
}

TEST(WineRegFormatTest, LaterSpellingOfAValueKeepsTheFirstNameAndTakesTheLastData) {
  WineRegFile file;
  std::string error;
  ASSERT_TRUE(
      ParseWineReg(std::string(kHead) + "[K]\n\"Ab\"=\"1\"\n\"aB\"=dword:2\n", &file, &error));
  const WineRegKey* key = file.root.FindSubkey(u"k");
  ASSERT_EQ(key->values.size(), 1u);
  EXPECT_EQ(key->values[0].name, u"Ab");
  EXPECT_EQ(key->values[0].type, 4u);
}

// Random names and data of every type, written and read back, come back equal.
TEST(WineRegFormatTest, AnythingWrittenReadsBackEqual) {
  std::mt19937 random(13);
  auto unit = [&random]() -> char16_t {
    switch (random() % 5) {
      case 0:
        return static_cast<char16_t>(random() % 0x20);
      case 1:
        return static_cast<char16_t>(0x80 + random() % 0xD780);
      case 2:
        return u"\\\"[]@=#;0af7x"[random() % 13];
      default:
        return static_cast<char16_t>(0x20 + random() % 0x5F);
    }
  };
  auto text = [&](size_t max_length) {
    std::u16string s(random() % max_length, 0);
    for (char16_t& c : s) c = unit();
    return s;
  };
  for (int round = 0; round < 200; ++round) {
    WineRegFile file;
    file.relative_to = ";; All keys relative to REGISTRY\\\\User";
    file.arch = "win64";
    std::u16string key_name = u"K" + text(8);
    for (char16_t& c : key_name) c = c == u'\\' || c == 0 ? u'_' : c;
    WineRegKey* key = file.root.AddSubkey(key_name, WineTimeNow());
    for (int v = 0; v < 6; ++v) {
      const uint32_t type = random() % 13;
      std::string data(random() % 90, 0);
      for (char& byte : data) byte = static_cast<char>(random());
      if (type == 1 || type == 2 || type == 7) data = Utf16(text(20) + u'\0');
      std::u16string name = text(10);
      if (!name.empty() && name.back() == 0) name.back() = u'0';
      key->SetValue(name, type, data);
    }
    const std::string written = FormatWineReg(file);
    WineRegFile read;
    std::string error;
    ASSERT_TRUE(ParseWineReg(written, &read, &error)) << error << "\n" << written;
    EXPECT_EQ(FormatWineReg(read), written);
    const WineRegKey* back = read.root.FindSubkey(key->order);
    ASSERT_NE(back, nullptr) << written;
    ASSERT_EQ(back->values.size(), key->values.size());
    for (size_t i = 0; i < key->values.size(); ++i) {
      EXPECT_EQ(back->values[i].name, key->values[i].name);
      EXPECT_EQ(back->values[i].type, key->values[i].type);
      EXPECT_EQ(back->values[i].data, key->values[i].data);
    }
  }
}

// Names cross to UTF-8 and back unchanged, lone surrogates and all.
TEST(WineRegFormatTest, NamesConvertToUtf8AndBack) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", ""},
      {u"plain", "plain"},
      {u"a\u00e9b",
       "a\xC3\xA9"
       "b"},
      {u"\xD83D\xDE00!", "\xF0\x9F\x98\x80!"},
      {u"x\xD800", "x\xED\xA0\x80"},
      {u"\xDC00y\xD800", "\xED\xB0\x80y\xED\xA0\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8Lossless(c.first), c.second);
    EXPECT_EQ(Utf8ToUtf16Lossless(c.second), c.first);
  }
}

// A name's bytes that are no UTF-8 (overlong forms, leads past U+10FFFF,
// sequences cut short) each stand for the character of their value, so that
// no name becomes another character, NUL least of all. The three-byte form of
// a lone surrogate is one unit, as Utf16ToUtf8Lossless writes it.
TEST(WineRegFormatTest, BytesThatAreNoUtf8StandForTheirValues) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"a\xFF", u"a\u00FF"},
      {"a\xC0\x80"
       "b",
       u"a\u00C0\u0080b"},
      {"\xC1\xBF", u"\u00C1\u00BF"},
      {"\xE0\x80\x80", u"\u00E0\u0080\u0080"},
      {"\xF0\x80\x80\x80", u"\u00F0\u0080\u0080\u0080"},
      {"\xF4\x90\x80\x80", u"\u00F4\u0090\u0080\u0080"},
      {"\xF8\x90\x80\x80", u"\u00F8\u0090\u0080\u0080"},
      {"\xE2\x82", u"\u00E2\u0082"},
      {"\x80x", u"\u0080x"},
      {"\xED\xA0\x80", u"\xD800"},
      {"\xED\xBF\xBF", u"\xDFFF"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16Lossless(c.first), c.second) << c.first;
}

void CollectKeys(WineRegKey* key, std::vector<WineRegKey*>* keys) {
  keys->push_back(key);
  for (const auto& subkey : key->subkeys) CollectKeys(subkey, keys);
}

// The blocks an index finds, each as its text, and whether they come in
// Wine's order: key lines by their '[' at the start of a line (after white
// space), each block with the blank line before it when there is one.
TEST(WineRegFormatTest, IndexFindsEachKeyLinesBlockAndWinesOrder) {
  struct Case {
    std::string keys;  // after the file's head
    std::vector<std::string> blocks;
    bool in_order;
  };
  const Case cases[] = {
      {"\n[A] 1\n#time=1\n\n[A\\\\B] 1\n", {"\n[A] 1\n#time=1\n", "\n[A\\\\B] 1\n"}, true},
      {"\n[A] 1\n\"v\"=\"x [y]\"\n\"w\"=\"[z\"\n",
       {"\n[A] 1\n\"v\"=\"x [y]\"\n\"w\"=\"[z\"\n"},
       true},
      {"\n[A] 1\n  [B] 2\n", {"\n[A] 1\n", "  [B] 2\n"}, true},
      {"\r\n[A] 1\r\n[B] 1\r\n", {"[A] 1\r\n", "[B] 1\r\n"}, true},
      {"[A]\n\"b\"=hex:01,\\\n  02\n\n\n[B]", {"[A]\n\"b\"=hex:01,\\\n  02\n\n", "\n[B]"}, true},
      {"\n[A\\\\B]\n\n[A\\\\C]\n", {"\n[A\\\\B]\n", "\n[A\\\\C]\n"}, true},
      {"\n[A\\\\B\\\\C]\n\n[A\\\\D]\n", {"\n[A\\\\B\\\\C]\n", "\n[A\\\\D]\n"}, true},
      {"\n[A\\\\\\x42]\n\n[A\\\\C]\n", {"\n[A\\\\\\x42]\n", "\n[A\\\\C]\n"}, true},
      {"\n[A\\\\B]\n\n[AB]\n", {"\n[A\\\\B]\n", "\n[AB]\n"}, true},
      {"\n[A_B]\n\n[AB]\n", {"\n[A_B]\n", "\n[AB]\n"}, true},
      {"\n[AB]\n\n[A_B]\n", {"\n[AB]\n", "\n[A_B]\n"}, false},
      {"\n[B]\n\n[A]\n", {"\n[B]\n", "\n[A]\n"}, false},
      {"\n[A]\n\n[A]\n", {"\n[A]\n", "\n[A]\n"}, false},
      {"\n[A\\\\B]\n\n[A]\n", {"\n[A\\\\B]\n", "\n[A]\n"}, false},
      {"\n[a]\n\n[A\\\\B]\n", {"\n[a]\n", "\n[A\\\\B]\n"}, false},
      {"\n[A\\\\BC]\n\n[A\\\\B]\n", {"\n[A\\\\BC]\n", "\n[A\\\\B]\n"}, false},
  };
  for (const Case& c : cases) {
    const std::string text = kHead + c.keys;
    WineRegFile file;
    std::string error;
    ASSERT_TRUE(IndexWineReg(text, &file, &error)) << c.keys << error;
    std::vector<std::string> blocks;
    for (const WineRegBlock& block : file.blocks) {
      blocks.push_back(text.substr(block.begin, block.end - block.begin));
    }
    EXPECT_EQ(blocks, c.blocks) << c.keys;
    EXPECT_EQ(file.in_order, c.in_order) << c.keys;
    EXPECT_EQ(file.header_end, file.blocks[0].begin) << c.keys;
  }
}

// Loads |key| and every key below it from the file's blocks.
bool LoadAll(const WineRegBlocks& blocks, const WineRegFile& file, WineRegKey* key,
             std::string* error) {
  if (!LoadWineRegKey(blocks, file, key, error)) return false;
  for (const auto& subkey : key->subkeys) {
    if (!LoadAll(blocks, file, subkey, error)) return false;
  }
  return true;
}

// A file read in pieces of any size, with its blocks read back as they are
// needed, gives the index, the tree and the errors, line for line, of the
// file read whole.
TEST(WineRegFormatTest, ReadInPiecesReadsAsReadWhole) {
  const std::string head = kHead;
  const std::string key = "\n[Software] 1\n";
  const std::string texts[] = {
      head + "\n[A] 1\n#time=1\n\n[A\\\\B] 1\n\"v\"=\"x [y]\"\n\"w\"=\"[z\"\n",
      head + "\r\n[A] 1\r\n\"v\"=dword:2\r\n[B] 1\r\n",
      head + "[A] 3\n\"b\"=hex:01,\\\n  02\n\n\n[B] 4\n  [C] 2\n\"c\"=str(2):\"%x%\"",
      head + "\n[B] 1\n\n[A] 2\n\"a\"=\"1\"\n\n[B] 3\n\"b\"=\"2\"\n\n\n   \n",
      head,
      "",
      "WINE REGISTRY Version 2\n#arch=win16\n",
      head + "[Software\n\"v\"=\"x\"\n",
      head + key + "\"v\"=\"a\"\n" + std::string("x\0y\n", 4),
      head + key + "\n[A]\n\"v\"=\"a\"\n[B\n" + std::string("\0", 1),
      head + key + "\"v\"=hex:01,\\\n",
      head + key + "\"v\"=hex:01,\\\n[A]\n",
      head + key + "\"v\"=\"a\"\n\n[A]\n\"w\"=\"b\"\ngarbage\n",
      head + key + "\"v\"=hex:01,\\\n\n  02\n",
  };
  for (const std::string& text : texts) {
    WineRegFile whole;
    std::string whole_error;
    const bool whole_read = ParseWineReg(text, &whole, &whole_error);
    for (const size_t piece : {1, 2, 3, 5, 8, 13, 4096}) {
      const WineRegReader read = [&text](char* into, size_t size, size_t offset) -> long long {
        const size_t count = offset < text.size() ? std::min(size, text.size() - offset) : 0;
        std::memcpy(into, text.data() + offset, count);
        return static_cast<long long>(count);
      };
      std::string read_back;  // the last block read, as the file's own would be
      const WineRegBlocks blocks = {
          [&](const WineRegBlock& block, std::string_view* bytes) {
            read_back = text.substr(block.begin, block.end - block.begin);
            *bytes = read_back;
            return true;
          },
          [&text](size_t pos) {
            return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + pos, '\n'));
          }};
      WineRegFile file;
      std::string error;
      const bool read_in_pieces =
          IndexWineRegFrom(read, piece, &file, &error) && LoadAll(blocks, file, &file.root, &error);
      const std::string where = text + " in pieces of " + std::to_string(piece);
      ASSERT_EQ(read_in_pieces, whole_read) << where << ": " << error;
      EXPECT_EQ(error, whole_error) << where;
      if (!whole_read) continue;
      EXPECT_EQ(file.header_end, whole.header_end) << where;
      EXPECT_EQ(file.in_order, whole.in_order) << where;
      ASSERT_EQ(file.blocks.size(), whole.blocks.size()) << where;
      for (size_t i = 0; i < file.blocks.size(); ++i) {
        EXPECT_EQ(file.blocks[i].begin, whole.blocks[i].begin) << where;
        EXPECT_EQ(file.blocks[i].end, whole.blocks[i].end) << where;
      }
      EXPECT_EQ(FormatWineReg(file), FormatWineReg(whole)) << where;
    }
  }
}

// A key with subkeys and no block of its own is in the tree all the same,
// and one met again gathers the values of all its blocks, the later winning.
TEST(WineRegFormatTest, KeysWithoutBlocksAndKeysWithTwoAreOneKeyEach) {
  const std::string text = std::string(kHead) +
                           "\n[A\\\\B\\\\C] 1\n\"v\"=dword:1\n"
                           "\n[A\\\\D] 1\n"
                           "\n[A\\\\B\\\\C] 1\n\"v\"=dword:2\n\"w\"=dword:3\n";
  WineRegFile file;
  std::string error;
  ASSERT_TRUE(IndexWineReg(text, &file, &error)) << error;
  WineRegKey* a = file.root.FindSubkey(u"a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->block, WineRegKey::kNoBlock);
  ASSERT_EQ(a->subkeys.size(), 2u);
  WineRegKey* c = a->FindSubkey(u"b")->FindSubkey(u"c");
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(LoadWineRegKey(text, file, c, &error)) << error;
  ASSERT_EQ(c->values.size(), 2u);
  EXPECT_EQ(c->values[0].data, Bytes({2, 0, 0, 0}));
  EXPECT_FALSE(file.in_order);
}

// What the prefix store does to a key it changes: its values read first, a
// new time, and its block written anew.
void Change(const std::string& text, const WineRegFile& file, WineRegKey* key) {
  std::string error;
  ASSERT_TRUE(LoadWineRegKey(text, file, key, &error)) << error;
  key->time = WineTimeNow();
  key->rewrite = true;
  key->MarkChanged();
}

// The blocks of a key and every key below it, as the store leaves them out
// when it deletes them.
void Remove(WineRegFile* file, const WineRegKey& key) {
  for (size_t block = key.block; block != WineRegKey::kNoBlock;
       block = file->blocks[block].next_of_key) {
    file->blocks[block].removed = true;
  }
  for (const auto& subkey : key.subkeys) Remove(file, *subkey);
}

// A file changed at random keys is written exactly as if formatted whole,
// with the unchanged keys' blocks copied from the text.
TEST(WineRegFormatTest, ChangesWriteAsIfFormattedWhole) {
  std::mt19937 random(7);
  const std::u16string names[] = {u"a", u"B", u"c_d", u"cd", u"\u00e9", u"Zz"};
  auto name = [&] { return names[random() % 6]; };
  auto dword = [&] { return std::string(4, static_cast<char>('0' + random() % 3)); };
  for (int round = 0; round < 60; ++round) {
    WineRegFile file;
    file.relative_to = ";; All keys relative to REGISTRY\\\\User";
    file.arch = "win64";
    for (int k = 0; k < 12; ++k) {
      std::vector<WineRegKey*> keys;
      CollectKeys(&file.root, &keys);
      WineRegKey* parent = keys[random() % keys.size()];
      const std::u16string child = name();
      WineRegKey* key = parent->FindSubkey(WineOrder(child));
      if (!key) key = parent->AddSubkey(child, 132000000000000000ULL + random());
      if (random() % 2) key->SetValue(name(), 4, dword());
    }
    const std::string text = FormatWineReg(file);
    WineRegFile read;
    std::string error;
    ASSERT_TRUE(IndexWineReg(text, &read, &error)) << error;
    ASSERT_TRUE(read.in_order);
    for (int change = 0; change < 6; ++change) {
      std::vector<WineRegKey*> keys;
      CollectKeys(&read.root, &keys);
      WineRegKey* key = keys[random() % keys.size()];
      switch (random() % 5) {
        case 0:
          Change(text, read, key);
          key->SetValue(name(), 4, dword());
          break;
        case 1:
          Change(text, read, key);
          key->DeleteValue(WineOrder(name()));
          break;
        case 2: {
          const std::u16string child = name();
          if (key->FindSubkey(WineOrder(child))) break;
          Change(text, read, key);
          key->AddSubkey(child, WineTimeNow())->rewrite = true;
          break;
        }
        case 3:
          if (!key->parent) break;
          Change(text, read, key->parent);
          Remove(&read, *key);
          key->parent->DeleteSubkey(key);
          break;
        default:
          Change(text, read, key);
      }
    }
    std::string written;
    ASSERT_TRUE(WriteWineRegChanges(text, read, [&](const char* data, size_t size) {
      written.append(data, size);
      return true;
    }));
    WineRegFile whole;
    ASSERT_TRUE(ParseWineReg(text, &whole, &error)) << error;
    std::vector<WineRegKey*> keys;
    CollectKeys(&read.root, &keys);
    for (WineRegKey* key : keys) ASSERT_TRUE(LoadWineRegKey(text, read, key, &error)) << error;
    ASSERT_EQ(written, FormatWineReg(read)) << round;
  }
}

}  // namespace

}  // namespace dovetune
