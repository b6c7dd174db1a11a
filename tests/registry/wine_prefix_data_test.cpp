// String data crosses between the registry's UTF-8 and Wine's UTF-16LE: the
// prefix store writes it to user.reg as wineserver writes it, and reads back
// what it wrote.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/stores/wine_prefix_store.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

TEST(WinePrefixDataTest, StringDataIsWrittenAsWineWritesItAndReadBack) {
  using namespace std::string_literals;
  struct Case {
    uint32_t type;
    std::string data;
    std::string line;  // in user.reg
  } cases[] = {
      {1, "a\xC3\xA9\0"s, "\"v\"=\"a\\xe9\"\n"},
      {1, "\xF0\x9F\x98\x80\0"s, "\"v\"=\"\\xd83d\\xde00\"\n"},
      {1,
       "\xC3\xA9"
       "1\0"s,
       "\"v\"=\"\\x00e91\"\n"},
      {2, "%P%\0"s, "\"v\"=str(2):\"%P%\"\n"},
      {7, "a\0b\0\0"s, "\"v\"=str(7):\"a\\0b\\0\"\n"},
      {1, "odd", "\"v\"=hex(1):6f,00,64,00,64,00\n"},
      {3, "\xC3\xA9", "\"v\"=hex:c3,a9\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    WriteWholeFile(folder.File("user.reg"),
                   "WINE REGISTRY Version 2\n"
                   ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
                   "\n#arch=win64\n\n[Software] 1\n");
    {
      WinePrefixStore store(folder.path());
      ASSERT_TRUE(store.Begin(0)) << store.failure_reason();
      const KeyId key = store.FindChild(store.FindRoot("hkey_current_user"), "software");
      ASSERT_TRUE(store.SetValue(key, {"v", c.type, c.data}, "v"));
      ASSERT_TRUE(store.Commit()) << store.failure_reason();
    }
    const std::string text = ReadWholeFile(folder.File("user.reg"));
    EXPECT_NE(text.find(c.line), std::string::npos) << c.line << " in\n" << text;
    WinePrefixStore store(folder.path());
    store.SetReadOnlyRun();
    ASSERT_TRUE(store.Begin(0)) << store.failure_reason();
    std::vector<StoredValue> values;
    ASSERT_TRUE(
        store.Values(store.FindChild(store.FindRoot("hkey_current_user"), "software"), &values));
    ASSERT_EQ(values.size(), 1u) << c.line;
    EXPECT_EQ(values[0].value.type, c.type) << c.line;
    EXPECT_EQ(values[0].value.data, c.data) << c.line;
  }
}

}  // namespace

}  // namespace dovetune
