// CRegistry: the key wrapper the preset store is built on.

#include "registry/registry.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/platform.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

constexpr char kTestPath[] = "Software\\DovetuneTest";

class CRegistryTest : public RegistryTest, public ::testing::WithParamInterface<TestStore> {
 protected:
  CRegistryTest() : RegistryTest(GetParam()) {}

  void SetUp() override {
    RegistryTest::SetUp();
    CRegistry software(HKEY_CURRENT_USER, "Software");
    ASSERT_TRUE(software.CreateKey("DovetuneTest"));
  }

  static std::vector<std::string> AllValueNames(CRegistry& key) {
    std::vector<std::string> names;
    std::string name;
    while (key.EnumValue(name)) names.push_back(name);
    return names;
  }
  static std::vector<std::string> AllSubkeyNames(CRegistry& key) {
    std::vector<std::string> names;
    std::string name;
    while (key.EnumKey(name)) names.push_back(name);
    return names;
  }
};

TEST_P(CRegistryTest, FailedOpenHoldsNothingAndEverythingAfterFails) {
  CRegistry key;
  EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, "Software\\Missing"));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.GetPath(), "");
  DWORD value = 42;
  std::string name = "untouched";
  EXPECT_FALSE(key.KeyExists(""));
  EXPECT_FALSE(key.ReadDword("v", value));
  EXPECT_FALSE(key.WriteDword("v", 1));
  EXPECT_FALSE(key.EnumKey(name));
  EXPECT_FALSE(key.EnumValue(name));
  EXPECT_FALSE(key.CreateKey("x"));
  EXPECT_EQ(value, 42u);
}

TEST_P(CRegistryTest, PathTextFollowsOpenAndOpenKey) {
  CRegistry key(HKEY_CURRENT_USER, "Software");
  EXPECT_EQ(key.GetPath(), "HKEY_CURRENT_USER\\Software");
  ASSERT_TRUE(key.OpenKey("DovetuneTest"));
  EXPECT_EQ(key.GetPath(), "HKEY_CURRENT_USER\\Software\\DovetuneTest");
  ASSERT_TRUE(key.CreateKey("a"));
  EXPECT_EQ(key.GetPath(), "HKEY_CURRENT_USER\\Software\\DovetuneTest\\a");
  // A failed OpenKey still extends the text, but holds no key any more.
  EXPECT_FALSE(key.OpenKey("missing"));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.GetPath(), "HKEY_CURRENT_USER\\Software\\DovetuneTest\\a\\missing");
  key.Close();
  EXPECT_EQ(key.GetPath(), "HKEY_CURRENT_USER\\Software\\DovetuneTest\\a\\missing");
  EXPECT_TRUE(key.Open(HKEY_LOCAL_MACHINE, ""));
  EXPECT_EQ(key.GetPath(), "HKEY_LOCAL_MACHINE\\");
  key.Close();
  EXPECT_EQ(key.GetPath(), "");
}

TEST_P(CRegistryTest, CreateKeyOfAnExistingKeyKeepsItsValues) {
  {
    CRegistry key(HKEY_CURRENT_USER, kTestPath);
    ASSERT_TRUE(key.CreateKey("sub"));
    ASSERT_TRUE(key.WriteDword("kept", 5));
  }
  CRegistry key(HKEY_CURRENT_USER, kTestPath);
  ASSERT_TRUE(key.CreateKey("SUB"));
  DWORD value = 0;
  EXPECT_TRUE(key.ReadDword("kept", value));
  EXPECT_EQ(value, 5u);
}

TEST_P(CRegistryTest, KeyExistsLeavesTheHeldKeyAlone) {
  CRegistry key(HKEY_CURRENT_USER, kTestPath);
  ASSERT_TRUE(key.WriteDword("mark", 1));
  ASSERT_TRUE(key.CreateKey("child"));
  ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, kTestPath));
  EXPECT_TRUE(key.KeyExists("CHILD"));
  EXPECT_FALSE(key.KeyExists("other"));
  EXPECT_TRUE(key.KeyExists(""));
  DWORD value = 0;
  EXPECT_TRUE(key.ReadDword("mark", value));
  EXPECT_EQ(key.GetPath(), "HKEY_CURRENT_USER\\Software\\DovetuneTest");
}

TEST_P(CRegistryTest, ReadDwordAcceptsOnlyFourByteDwords) {
  CRegistry key(HKEY_CURRENT_USER, kTestPath);
  HKEY raw = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestPath, 0, KEY_ALL_ACCESS, &raw), ERROR_SUCCESS);
  const BYTE bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(RegSetValueExA(raw, "short", 0, REG_DWORD, bytes, 2), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(raw, "long", 0, REG_DWORD, bytes, 8), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(raw, "binary", 0, REG_BINARY, bytes, 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(raw, "string", 0, REG_SZ, bytes, 4), ERROR_SUCCESS);
  RegCloseKey(raw);

  for (const char* name : {"short", "long", "binary", "string", "missing"}) {
    DWORD value = 0xDEADBEEF;
    EXPECT_FALSE(key.ReadDword(name, value)) << name;
    EXPECT_EQ(value, 0xDEADBEEFu) << name;
  }
  ASSERT_TRUE(key.WriteDword("binary", 0x80000001u));
  DWORD value = 0;
  EXPECT_TRUE(key.ReadDword("BINARY", value));
  EXPECT_EQ(value, 0x80000001u);
}

TEST_P(CRegistryTest, EnumerationRestartsFromTheFirstAfterTheEnd) {
  CRegistry key(HKEY_CURRENT_USER, kTestPath);
  ASSERT_TRUE(key.WriteDword("b", 1));
  ASSERT_TRUE(key.WriteDword("a", 2));
  {
    CRegistry child(HKEY_CURRENT_USER, kTestPath);
    ASSERT_TRUE(child.CreateKey("y"));
    ASSERT_TRUE(child.Open(HKEY_CURRENT_USER, kTestPath));
    ASSERT_TRUE(child.CreateKey("X"));
  }
  const std::vector<std::string> values = InValueOrder({"b", "a"});
  const std::vector<std::string> subkeys{"X", "y"};
  EXPECT_EQ(AllValueNames(key), values);
  EXPECT_EQ(AllValueNames(key), values);
  EXPECT_EQ(AllSubkeyNames(key), subkeys);
  EXPECT_EQ(AllSubkeyNames(key), subkeys);
}

TEST_P(CRegistryTest, LongValueNamesAreEnumeratedNotSkipped) {
  CRegistry key(HKEY_CURRENT_USER, kTestPath);
  const std::string long_name(700, 'n');
  const std::string longest_name(16383, 'm');
  ASSERT_TRUE(key.WriteDword("first", 1));
  ASSERT_TRUE(key.WriteDword(long_name, 2));
  ASSERT_TRUE(key.WriteDword(std::string(499, 'e'), 3));
  ASSERT_TRUE(key.WriteDword(longest_name, 4));
  ASSERT_TRUE(key.WriteDword("last", 5));
  EXPECT_EQ(AllValueNames(key),
            InValueOrder({"first", long_name, std::string(499, 'e'), longest_name, "last"}));
}

#ifndef _WIN32
// Store-only: the store's names are UTF-8, where one character takes up to
// three bytes; Windows' narrow character set takes one or two.
TEST_P(CRegistryTest, LongNonAsciiNamesAreEnumeratedNotSkipped) {
  std::string accents;  // 16,383 characters of two bytes each
  for (int i = 0; i < 16383; ++i) accents += "\xC3\xA9";
  std::string euros;  // 16,383 characters of three bytes each
  for (int i = 0; i < 16383; ++i) euros += "\xE2\x82\xAC";
  CRegistry key(HKEY_CURRENT_USER, kTestPath);
  ASSERT_TRUE(key.WriteDword("first", 1));
  ASSERT_TRUE(key.WriteDword(accents, 2));
  ASSERT_TRUE(key.WriteDword(euros, 3));
  ASSERT_TRUE(key.WriteDword("last", 4));
  EXPECT_EQ(AllValueNames(key), (std::vector<std::string>{"first", accents, euros, "last"}));

  // Subkey names of up to 255 characters may take more than the first buffer.
  std::string long_key;
  for (int i = 0; i < 255; ++i) long_key += "\xC3\xA9";
  CRegistry parent(HKEY_CURRENT_USER, kTestPath);
  ASSERT_TRUE(parent.CreateKey("a"));
  ASSERT_TRUE(parent.Open(HKEY_CURRENT_USER, kTestPath));
  ASSERT_TRUE(parent.CreateKey(long_key));
  ASSERT_TRUE(parent.Open(HKEY_CURRENT_USER, kTestPath));
  EXPECT_EQ(AllSubkeyNames(parent), (std::vector<std::string>{"a", long_key}));
}
#endif

TEST_P(CRegistryTest, DeleteKeyWorksOnItsArgumentsAlone) {
  CRegistry key(HKEY_CURRENT_USER, kTestPath);
  ASSERT_TRUE(key.CreateKey("gone"));
  ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, kTestPath));
  EXPECT_TRUE(key.DeleteKey(HKEY_CURRENT_USER, "Software\\DovetuneTest\\GONE"));
  EXPECT_FALSE(key.KeyExists("gone"));
  EXPECT_FALSE(key.DeleteKey(HKEY_CURRENT_USER, "Software\\DovetuneTest\\gone"));
  EXPECT_EQ(key.GetPath(), "HKEY_CURRENT_USER\\Software\\DovetuneTest");
  EXPECT_TRUE(key.WriteDword("still", 1));
  // Deleting a key that has subkeys fails.
  ASSERT_TRUE(key.CreateKey("a\\b"));
  EXPECT_FALSE(key.DeleteKey(HKEY_CURRENT_USER, "Software\\DovetuneTest\\a"));
}

// Hundreds of values written into one key in one run, some replaced (under
// another letter case, small by large and large by small) and some deleted and
// created again, keep their names, data and order of creation: within the run,
// once it is kept, and not at all when it is dropped.
TEST_P(CRegistryTest, ManyValuesSetInOneRunKeepTheirOrder) {
  using Values = std::vector<std::pair<std::string, std::string>>;  // name and data, in order
  const auto name_of = [](int i) { return "v" + std::to_string(1000 + i); };
  const auto data_of = [](int i, char kind) {
    return std::string(i % 50 == 7 ? 3000 : 4, kind) + std::to_string(i);
  };
  Values expected;
  const auto set = [&](const std::string& name, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestPath, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size())),
        ERROR_SUCCESS);
    RegCloseKey(key);
  };
  const auto remove = [&](const std::string& name) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestPath, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, name.c_str()), ERROR_SUCCESS);
    RegCloseKey(key);
  };
  const auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    CRegistry key(HKEY_CURRENT_USER, kTestPath);
    std::vector<std::string> names = AllValueNames(key);
    std::vector<std::string> expected_names;
    for (const auto& value : expected) expected_names.push_back(value.first);
    // The system registry does not promise an order.
    if (store_kind_ == TestStore::kSystem) {
      std::sort(names.begin(), names.end());
      std::sort(expected_names.begin(), expected_names.end());
    }
    EXPECT_EQ(names, expected_names);
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestPath, 0, KEY_READ, &raw), ERROR_SUCCESS);
    for (const auto& value : expected) {
      std::string data(4000, '\0');
      DWORD size = static_cast<DWORD>(data.size());
      EXPECT_EQ(RegQueryValueExA(raw, value.first.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&data[0]), &size),
                ERROR_SUCCESS);
      data.resize(size);
      EXPECT_EQ(data, value.second) << value.first;
    }
    RegCloseKey(raw);
  };

  const int kValues = 400;
  for (int i = 0; i < kValues; ++i) {
    set(name_of(i), data_of(i, 's'));
    expected.emplace_back(name_of(i), data_of(i, 's'));
  }
  for (int i = 0; i < kValues; i += 3) {
    std::string upper = name_of(i);
    upper[0] = 'V';
    const std::string data = std::string(i % 6 == 0 ? 3000 : 2, 'r') + std::to_string(i);
    set(upper, data);
    expected[i].second = data;
  }
  for (int i = kValues - 5; i >= 0; i -= 5) {
    remove(name_of(i));
    expected.erase(expected.begin() + i);
  }
  for (int i = 0; i < kValues; i += 10) {
    set(name_of(i), "again");
    expected.emplace_back(name_of(i), "again");
  }
  check("in the run");
  CommitAndReopen();
  check("after the commit");
#ifndef _WIN32
  for (int i = 0; i < kValues; i += 2) set(name_of(i), "dropped");
  remove(name_of(1));
  DiscardAndReopen();
  check("after a dropped run");
#endif
}

INSTANTIATE_TEST_SUITE_P(Stores, CRegistryTest, ::testing::ValuesIn(StoresUnderTest()),
                         TestStoreName);

}  // namespace

}  // namespace dovetune
