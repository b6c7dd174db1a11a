// The registry functions themselves: the behaviour a real registry shows, which
// the embedded registry must reproduce on every store. Each test runs on each
// store in turn (off Windows the SQLite file and memory; on Windows the system
// registry), beneath a key of its own.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "registry/win32_api.h"
#include "tests/support/platform.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

class RegistryApiTest : public RegistryTest, public ::testing::WithParamInterface<TestStore> {
 protected:
  RegistryApiTest() : RegistryTest(GetParam()) {}

  void SetUp() override {
    RegistryTest::SetUp();
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\DovetuneTest", &root_), ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(root_);
    RegistryTest::TearDown();
  }

  static LONG Create(HKEY parent, const char* path, HKEY* key) {
    return RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, key, nullptr);
  }
  static LONG Open(HKEY parent, const char* path, HKEY* key) {
    return RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, key);
  }
  // Opens and closes at once: whether the key is there.
  static LONG Probe(HKEY parent, const char* path) {
    HKEY key = nullptr;
    const LONG result = Open(parent, path, &key);
    if (result == ERROR_SUCCESS) RegCloseKey(key);
    return result;
  }
  static LONG Touch(HKEY parent, const char* path) {
    HKEY key = nullptr;
    const LONG result = Create(parent, path, &key);
    if (result == ERROR_SUCCESS) RegCloseKey(key);
    return result;
  }
  static LONG SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  }
  static LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
  }
  static std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[512];
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof(name);
      if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name, length);
    }
    return names;
  }
  static std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    std::vector<char> name(16384);
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(name.size());
      if (RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name.data(), length);
    }
    return names;
  }

  HKEY root_ = nullptr;
};

TEST_P(RegistryApiTest, KeyNamesIgnoreLetterCaseAndKeepTheirOwn) {
  ASSERT_EQ(Touch(root_, "Presets"), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, "presets"), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, "PRESETS"), ERROR_SUCCESS);
  ASSERT_EQ(Touch(root_, "pReSeTs"), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(root_), std::vector<std::string>{"Presets"});

  // Non-ASCII letters fold too: É and é name the same key.
  const std::string summer = NarrowText(L"\u00C9t\u00E9");
  const std::string shouted = NarrowText(L"\u00E9T\u00C9");
  ASSERT_FALSE(summer.empty());
  ASSERT_EQ(Touch(root_, summer.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, shouted.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(root_), (std::vector<std::string>{"Presets", summer}));
}

TEST_P(RegistryApiTest, ValueNamesIgnoreLetterCaseAndReplacingKeepsPlaceAndName) {
  ASSERT_EQ(SetDword(root_, "Zeta", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(root_, "alpha", 2), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(root_, "Mid", 3), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(root_, "ZETA", REG_SZ, std::string("text", 5)), ERROR_SUCCESS);

  // The replaced value keeps its first name, and its place where values keep
  // the order they were created in.
  if (RegistryKeepsValueCreationOrder()) {
    EXPECT_EQ(ValueNames(root_), (std::vector<std::string>{"Zeta", "alpha", "Mid"}));
  } else {
    EXPECT_EQ(ValueNames(root_), (std::vector<std::string>{"alpha", "Mid", "Zeta"}));
  }
  DWORD type = 0;
  char data[16];
  DWORD size = sizeof(data);
  ASSERT_EQ(RegQueryValueExA(root_, "zeta", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(std::string(data, size), std::string("text", 5));

  // Data from a null buffer: nothing to read, unless there is nothing to read.
  EXPECT_EQ(RegSetValueExA(root_, "none", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  size = sizeof(data);
  EXPECT_EQ(RegQueryValueExA(root_, "none", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExA(root_, "none", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(root_, "none", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
}

TEST_P(RegistryApiTest, SubkeysEnumerateInCaseInsensitiveOrder) {
  for (const char* name : {"beta", "Alpha", "gamma", "BETA2", "_under"}) {
    ASSERT_EQ(Touch(root_, name), ERROR_SUCCESS);
  }
  // '_' (0x5F) lies between the upper-case and the lower-case letters.
  if (RegistrySortsByUpperCaseForms()) {
    EXPECT_EQ(SubkeyNames(root_),
              (std::vector<std::string>{"Alpha", "beta", "BETA2", "gamma", "_under"}));
  } else {
    EXPECT_EQ(SubkeyNames(root_),
              (std::vector<std::string>{"_under", "Alpha", "beta", "BETA2", "gamma"}));
  }
}

TEST_P(RegistryApiTest, NestedPathsCreateEveryLevelAndSkipEmptyComponents) {
  DWORD disposition = 0;
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(root_, "a\\b\\c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  EXPECT_EQ(Probe(root_, "a"), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, "A\\B"), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, "a\\\\b\\c\\"), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, "a\\c"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Probe(root_, "\\a"), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Touch(root_, "\\x"), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Probe(root_, "x"), ERROR_FILE_NOT_FOUND);

  ASSERT_EQ(
      RegCreateKeyExA(root_, "a\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);
}

TEST_P(RegistryApiTest, EmptySubkeyNameIsTheKeyItself) {
  HKEY same = nullptr;
  ASSERT_EQ(Open(root_, "", &same), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(same, "v", 7), ERROR_SUCCESS);
  RegCloseKey(same);
  DWORD value = 0;
  DWORD size = 4;
  EXPECT_EQ(RegQueryValueExA(root_, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(Touch(root_, ""), ERROR_SUCCESS);
  EXPECT_TRUE(SubkeyNames(root_).empty());
}

TEST_P(RegistryApiTest, DeleteRefusesKeysWithSubkeysAndRemovesValues) {
  ASSERT_EQ(Touch(root_, "parent\\child"), ERROR_SUCCESS);
  HKEY parent = nullptr;
  ASSERT_EQ(Open(root_, "parent", &parent), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(parent, "kept", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(root_, "parent"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ValueNames(parent), std::vector<std::string>{"kept"});
  EXPECT_EQ(RegDeleteKeyA(root_, "PARENT\\Child"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(root_, "parent\\child"), ERROR_FILE_NOT_FOUND);
  // No name is no key at all; the empty name is the key itself.
  EXPECT_EQ(RegDeleteKeyA(parent, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Probe(root_, "parent"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(parent, ""), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, "parent"), ERROR_FILE_NOT_FOUND);
  // Recreated, it starts empty.
  RegCloseKey(parent);
  ASSERT_EQ(Create(root_, "parent", &parent), ERROR_SUCCESS);
  EXPECT_TRUE(ValueNames(parent).empty());
  RegCloseKey(parent);
}

TEST_P(RegistryApiTest, HandlesOfDeletedKeysFail) {
  HKEY doomed = nullptr;
  ASSERT_EQ(Create(root_, "doomed", &doomed), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(root_, "doomed"), ERROR_SUCCESS);
  DWORD size = 4;
  DWORD value = 0;
  HKEY child = nullptr;
  char name[16];
  DWORD length = sizeof(name);
  EXPECT_EQ(SetDword(doomed, "v", 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryValueExA(doomed, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_KEY_DELETED);
  EXPECT_EQ(Create(doomed, "child", &child), ERROR_KEY_DELETED);
  EXPECT_EQ(Open(doomed, "", &child), ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumKeyExA(doomed, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumValueA(doomed, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
  // A key recreated under the same name is a new key.
  EXPECT_EQ(Touch(root_, "doomed"), ERROR_SUCCESS);
}

TEST_P(RegistryApiTest, NullAndClosedHandlesAreInvalid) {
  HKEY key = nullptr;
  ASSERT_EQ(Create(root_, "k", &key), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(key, "v", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  HKEY other = nullptr;
  EXPECT_EQ(Open(nullptr, "Software", &other), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(nullptr, "v", 1), ERROR_INVALID_HANDLE);
}

TEST_P(RegistryApiTest, KeyStaysValidAfterTheHandleItWasOpenedFromIsClosed) {
  HKEY parent = nullptr;
  HKEY child = nullptr;
  ASSERT_EQ(Create(root_, "p", &parent), ERROR_SUCCESS);
  ASSERT_EQ(Create(parent, "c", &child), ERROR_SUCCESS);
  RegCloseKey(parent);
  EXPECT_EQ(SetDword(child, "v", 1), ERROR_SUCCESS);
  RegCloseKey(child);
}

TEST_P(RegistryApiTest, SmallBuffersGiveMoreDataWithTypeAndSize) {
  ASSERT_EQ(SetBytes(root_, "LongValueName", REG_BINARY, "0123456789"), ERROR_SUCCESS);
  BYTE data[4];
  DWORD size = sizeof(data);
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(root_, "LongValueName", nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(size, 10u);
  // Without a buffer, only the size.
  size = 0;
  EXPECT_EQ(RegQueryValueExA(root_, "LongValueName", nullptr, &type, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);

  // A name buffer that is too small leaves the length passed in as it was.
  char name[5];
  DWORD length = sizeof(name);
  EXPECT_EQ(RegEnumValueA(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(length, sizeof(name));
  ASSERT_EQ(Touch(root_, "LongSubkeyName"), ERROR_SUCCESS);
  length = sizeof(name);
  EXPECT_EQ(RegEnumKeyExA(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(length, sizeof(name));
  // Room for the name but not for its terminating zero is too small as well.
  char exact[14];  // "LongValueName" and its terminating zero
  length = 13;
  EXPECT_EQ(RegEnumValueA(root_, 0, exact, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  length = 14;
  EXPECT_EQ(RegEnumValueA(root_, 0, exact, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(length, 13u);
  EXPECT_STREQ(exact, "LongValueName");
  // Data that does not fit leaves the name alone, and gives type and size.
  char untouched[32] = "untouched";
  length = sizeof(untouched);
  size = sizeof(data);
  type = 0;
  EXPECT_EQ(RegEnumValueA(root_, 0, untouched, &length, nullptr, &type, data, &size),
            ERROR_MORE_DATA);
  EXPECT_STREQ(untouched, "untouched");
  EXPECT_EQ(length, sizeof(untouched));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(size, 10u);
}

TEST_P(RegistryApiTest, EnumerationEndsWithNoMoreItemsAndRepeatsItself) {
  ASSERT_EQ(Touch(root_, "one"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(root_, "v", 1), ERROR_SUCCESS);
  char name[64];
  DWORD length = sizeof(name);
  EXPECT_EQ(RegEnumKeyExA(root_, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  length = sizeof(name);
  EXPECT_EQ(RegEnumValueA(root_, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  length = sizeof(name);
  ASSERT_EQ(RegEnumKeyExA(root_, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, length), "one");
  // A change to the key is seen by the same handle's next enumeration.
  ASSERT_EQ(Touch(root_, "two"), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(root_), (std::vector<std::string>{"one", "two"}));
}

TEST_P(RegistryApiTest, NameLengthLimits) {
  const std::string longest_key(LongestKeyNameComponent(), 'k');
  EXPECT_EQ(Touch(root_, longest_key.c_str()), ERROR_SUCCESS);
  const std::string too_long = longest_key + "k";
  EXPECT_EQ(Touch(root_, too_long.c_str()), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Probe(root_, too_long.c_str()), ERROR_INVALID_PARAMETER);
  // A path is walked one level at a time: a missing level ends an open before
  // the name that is too long, and creating makes the levels before it.
  const std::string nested = "a\\" + too_long;
  EXPECT_EQ(Probe(root_, nested.c_str()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Touch(root_, nested.c_str()), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Probe(root_, "a"), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, nested.c_str()), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(root_, nested.c_str()), ERROR_INVALID_PARAMETER);
  // Characters, not bytes: in the store each of these takes two.
  const std::string wide_key =
      NarrowText(std::wstring(LongestKeyNameComponent(), L'\u00E9').c_str());
  ASSERT_FALSE(wide_key.empty());
  EXPECT_EQ(Touch(root_, wide_key.c_str()), ERROR_SUCCESS);

  const std::string longest_value(16383, 'v');
  EXPECT_EQ(SetDword(root_, longest_value.c_str(), 1), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(root_, (longest_value + "v").c_str(), 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ValueNames(root_), std::vector<std::string>{longest_value});
}

TEST_P(RegistryApiTest, KeyPathsTakeAtMost260Characters) {
  // However short its levels, a longer path fails as a whole, before any key
  // is looked at or created.
  const std::string level(200, 'y');
  const std::string longest = level + "\\" + std::string(59, 'z');
  const std::string too_long = level + "\\" + std::string(60, 'z');
  EXPECT_EQ(Touch(root_, too_long.c_str()), ERROR_MORE_DATA);
  EXPECT_EQ(Probe(root_, level.c_str()), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(Touch(root_, longest.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, longest.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, (longest + "\\").c_str()), ERROR_MORE_DATA);
  EXPECT_EQ(Probe(HKEY_CURRENT_USER, ("Software\\DovetuneTest\\" + longest).c_str()),
            ERROR_MORE_DATA);
  EXPECT_EQ(RegDeleteKeyA(root_, too_long.c_str()), ERROR_MORE_DATA);
  EXPECT_EQ(RegDeleteKeyA(root_, longest.c_str()), ERROR_SUCCESS);
}

TEST_P(RegistryApiTest, ValuesComeBackWithTheirExactBytesAndType) {
  const std::string bytes("\x00\xFF\x10\x80 tail", 9);
  ASSERT_EQ(SetBytes(root_, "raw", REG_BINARY, bytes), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(root_, "short", REG_DWORD, std::string("\x05\x01", 2)), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(root_, "empty", REG_NONE, ""), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(root_, "", REG_SZ, std::string("default", 8)), ERROR_SUCCESS);
  CommitAndReopen();
  HKEY key = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\DovetuneTest", &key), ERROR_SUCCESS);
  struct Expected {
    const char* name;
    DWORD type;
    std::string bytes;
  };
  for (const Expected& expected :
       {Expected{"raw", REG_BINARY, bytes},
        Expected{"SHORT", REG_DWORD, std::string("\x05\x01", 2)}, Expected{"empty", REG_NONE, ""},
        Expected{nullptr, REG_SZ, std::string("default", 8)}}) {
    char data[32];
    DWORD size = sizeof(data);
    DWORD type = 99;
    ASSERT_EQ(
        RegQueryValueExA(key, expected.name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, expected.type);
    EXPECT_EQ(std::string(data, size), expected.bytes);
  }
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

// Large data is kept apart from the names the registry searches (the store
// reads it only when asked): it must come back whole by name and by index,
// after the run that wrote it and after a change in the same run.
TEST_P(RegistryApiTest, LargeValuesComeBackWholeByNameAndByIndex) {
  std::string large(100000, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 256);
  ASSERT_EQ(SetBytes(root_, "Large", REG_BINARY, large), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(root_, "Small", 5), ERROR_SUCCESS);
  CommitAndReopen();
  HKEY key = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\DovetuneTest", &key), ERROR_SUCCESS);
  std::vector<BYTE> data(large.size() + 1);
  DWORD size = 10;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(key, "LARGE", nullptr, &type, data.data(), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, large.size());
  size = static_cast<DWORD>(large.size());
  ASSERT_EQ(RegQueryValueExA(key, "large", nullptr, &type, data.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(std::string(data.begin(), data.begin() + size), large);

  char name[16];
  DWORD length = sizeof(name);
  size = static_cast<DWORD>(data.size());
  std::fill(data.begin(), data.end(), 0);
  ASSERT_EQ(RegEnumValueA(key, 0, name, &length, nullptr, &type, data.data(), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Large");
  EXPECT_EQ(std::string(data.begin(), data.begin() + size), large);

  // Replaced by small data in the same run, the value reads as its new data.
  ASSERT_EQ(SetBytes(key, "Large", REG_BINARY, "abc"), ERROR_SUCCESS);
  size = static_cast<DWORD>(data.size());
  ASSERT_EQ(RegQueryValueExA(key, "Large", nullptr, &type, data.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(data.begin(), data.begin() + size), "abc");
  RegCloseKey(key);
}

#ifndef _WIN32
// Store only: each run of the program is one transaction on the store, and a
// fresh store starts as small as it can. The system registry keeps every
// change as it is made, and holds much more.
TEST_P(RegistryApiTest, ARunThatDoesNotCommitLeavesNoTrace) {
  ASSERT_EQ(Touch(root_, "kept"), ERROR_SUCCESS);
  RegCloseKey(root_);
  CommitAndReopen();
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\DovetuneTest", &root_), ERROR_SUCCESS);
  ASSERT_EQ(Touch(root_, "dropped"), ERROR_SUCCESS);
  RegCloseKey(root_);
  DiscardAndReopen();
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\DovetuneTest", &root_), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(root_), std::vector<std::string>{"kept"});
}

TEST_P(RegistryApiTest, FreshRegistryHoldsSoftwareOnly) {
  HKEY user = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "", &user), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(user), std::vector<std::string>{"Software"});
  RegCloseKey(user);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
}
#endif

TEST_P(RegistryApiTest, DeleteValueRemovesOneValueWhateverItsCase) {
  ASSERT_EQ(SetDword(root_, "Keep", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(root_, "Gone", 2), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(root_, "", REG_SZ, std::string("default\0", 8)), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(root_, "GONE"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(root_, "Gone"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(root_, nullptr), ERROR_SUCCESS);  // the default value
  EXPECT_EQ(ValueNames(root_), std::vector<std::string>{"Keep"});
  EXPECT_EQ(RegDeleteValueA(nullptr, "Keep"), ERROR_INVALID_HANDLE);
}

TEST_P(RegistryApiTest, DeleteTreeRemovesTheKeyAndEverythingBeneathIt) {
  HKEY deep = nullptr;
  ASSERT_EQ(Create(root_, "Tree\\A\\Deep", &deep), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(deep, "x", 1), ERROR_SUCCESS);
  ASSERT_EQ(Touch(root_, "Tree\\B"), ERROR_SUCCESS);
  ASSERT_EQ(Touch(root_, "Treetop"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteTreeA(root_, "tree"), ERROR_SUCCESS);
  EXPECT_EQ(Probe(root_, "Tree"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SubkeyNames(root_), std::vector<std::string>{"Treetop"});
  EXPECT_EQ(SetDword(deep, "y", 2), ERROR_KEY_DELETED);  // an open handle beneath it
  RegCloseKey(deep);
  EXPECT_EQ(RegDeleteTreeA(root_, "Tree"), ERROR_FILE_NOT_FOUND);
}

TEST_P(RegistryApiTest, DeleteTreeWithoutSubkeyEmptiesTheKeyButKeepsIt) {
  ASSERT_EQ(Touch(root_, "Inner\\Deeper"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(root_, "v", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(root_, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(SubkeyNames(root_).empty());
  EXPECT_TRUE(ValueNames(root_).empty());
  EXPECT_EQ(SetDword(root_, "still usable", 1), ERROR_SUCCESS);
}

#ifndef _WIN32
// The system registry empties a whole root when asked to (Wine does, taking
// the user's settings with it), so this runs on the store alone, which
// refuses: a slip of the key name must not cost every setting in it.
TEST_P(RegistryApiTest, DeleteTreeNeverRemovesARootKey) {
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Probe(HKEY_CURRENT_USER, "Software\\DovetuneTest"), ERROR_SUCCESS);
}
#endif

INSTANTIATE_TEST_SUITE_P(Stores, RegistryApiTest, ::testing::ValuesIn(StoresUnderTest()),
                         TestStoreName);

}  // namespace

}  // namespace dovetune
