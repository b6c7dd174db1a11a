// A run keeps what it has read of the store (subkey lists, subkey ids, the
// values of the keys it read last). Whatever a run does, what it reads must be
// exactly what the next run reads from the store, on every store.

#include <algorithm>
#include <string>
#include <vector>

#include "registry/win32_api.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

// A key as the registry functions show it: its values in order, then each
// subkey in order, recursively.
std::string Describe(HKEY key, const std::string& indent = "") {
  std::string text;
  char name[600];
  BYTE data[64];
  for (DWORD index = 0;; ++index) {
    DWORD name_length = sizeof(name);
    DWORD type = 0;
    DWORD size = sizeof(data);
    if (RegEnumValueA(key, index, name, &name_length, nullptr, &type, data, &size) !=
        ERROR_SUCCESS) {
      break;
    }
    // Every value is read once more by name, as ReadDword does.
    DWORD queried_type = 0;
    BYTE queried[64];
    DWORD queried_size = sizeof(queried);
    const LONG query = RegQueryValueExA(key, name, nullptr, &queried_type, queried, &queried_size);
    text += indent + name + " " + std::to_string(type) + " " +
            std::string(reinterpret_cast<char*>(data), size) +
            (query == ERROR_SUCCESS && queried_type == type && queried_size == size &&
                     std::string(reinterpret_cast<char*>(queried), size) ==
                         std::string(reinterpret_cast<char*>(data), size)
                 ? ""
                 : " (reads differently by name)") +
            "\n";
  }
  for (DWORD index = 0;; ++index) {
    DWORD name_length = sizeof(name);
    if (RegEnumKeyExA(key, index, name, &name_length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    text += indent + "[" + name + "]\n";
    HKEY subkey = nullptr;
    if (RegOpenKeyExA(key, name, 0, KEY_ALL_ACCESS, &subkey) != ERROR_SUCCESS) {
      text += indent + "  (cannot be opened by its listed name)\n";
      continue;
    }
    text += Describe(subkey, indent + "  ");
    RegCloseKey(subkey);
  }
  return text;
}

class RegistryCacheTest : public RegistryTest, public ::testing::WithParamInterface<TestStore> {
 protected:
  RegistryCacheTest() : RegistryTest(GetParam()) {}

  static constexpr const char* kRootPath = "Software\\DovetuneCacheTest";

  HKEY OpenPath(const char* path) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
  }
  static LONG SetText(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>(text.size()));
  }
  static std::string Read(HKEY key, const char* name) {
    char data[64];
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS) {
      return "(missing)";
    }
    return std::string(data, size);
  }
  // The tree as this run sees it must be the tree the next run reads.
  void ExpectNextRunSeesTheSame() {
    HKEY root = OpenPath(kRootPath);
    const std::string seen = Describe(root);
    RegCloseKey(root);
    CommitAndReopen();
    root = OpenPath(kRootPath);
    EXPECT_EQ(Describe(root), seen);
    RegCloseKey(root);
  }
};

TEST_P(RegistryCacheTest, ValuesWrittenAfterBeingReadAreSeenThroughEveryHandle) {
  HKEY writer = OpenPath("Software\\DovetuneCacheTest\\Preset");
  HKEY reader = OpenPath("Software\\DovetuneCacheTest\\preset");
  ASSERT_EQ(SetText(writer, "Beta", "1"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(writer, "alpha", "2"), ERROR_SUCCESS);
  EXPECT_EQ(Read(reader, "BETA"), "1");  // the key's values are now held

  // Replacing keeps the first name and place; a new value comes last, even
  // when its name sorts first.
  ASSERT_EQ(SetText(writer, "ALPHA", "3"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(writer, "Aardvark", "4"), ERROR_SUCCESS);
  EXPECT_EQ(Read(reader, "alpha"), "3");
  EXPECT_EQ(Read(reader, "aardvark"), "4");
  EXPECT_EQ(Describe(reader), "Beta 1 1\nalpha 1 3\nAardvark 1 4\n");
  ASSERT_EQ(SetText(writer, "beta", "5"), ERROR_SUCCESS);
  EXPECT_EQ(Describe(reader), "Beta 1 5\nalpha 1 3\nAardvark 1 4\n");
  RegCloseKey(writer);
  RegCloseKey(reader);
  ExpectNextRunSeesTheSame();
}

TEST_P(RegistryCacheTest, SubkeyListsFollowKeysCreatedAndDeleted) {
  HKEY parent = OpenPath(kRootPath);
  for (const char* name : {"m", "B", "x"})
    RegCloseKey(OpenPath((std::string(kRootPath) + "\\" + name).c_str()));
  EXPECT_EQ(Describe(parent), "[B]\n[m]\n[x]\n");  // the list is now held

  RegCloseKey(OpenPath("Software\\DovetuneCacheTest\\a"));
  EXPECT_EQ(Describe(parent), "[a]\n[B]\n[m]\n[x]\n");
  ASSERT_EQ(RegDeleteKeyA(parent, "M"), ERROR_SUCCESS);
  EXPECT_EQ(Describe(parent), "[a]\n[B]\n[x]\n");
  HKEY probe = nullptr;
  EXPECT_EQ(RegOpenKeyExA(parent, "m", 0, KEY_ALL_ACCESS, &probe), ERROR_FILE_NOT_FOUND);
  RegCloseKey(parent);
  ExpectNextRunSeesTheSame();
}

TEST_P(RegistryCacheTest, AKeyRemadeUnderAnOldNameStartsEmpty) {
  HKEY old_key = OpenPath("Software\\DovetuneCacheTest\\fast");
  ASSERT_EQ(SetText(old_key, "DefBitRate", "old"), ERROR_SUCCESS);
  EXPECT_EQ(Read(old_key, "DefBitRate"), "old");
  HKEY parent = OpenPath(kRootPath);
  ASSERT_EQ(RegDeleteKeyA(parent, "fast"), ERROR_SUCCESS);

  HKEY new_key = OpenPath("Software\\DovetuneCacheTest\\FAST");
  EXPECT_EQ(Read(new_key, "DefBitRate"), "(missing)");
  EXPECT_EQ(Describe(parent), "[FAST]\n");
  char data[8];
  DWORD size = sizeof(data);
  EXPECT_EQ(RegQueryValueExA(old_key, "DefBitRate", nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                             &size),
            ERROR_KEY_DELETED);
  RegCloseKey(old_key);
  RegCloseKey(new_key);
  RegCloseKey(parent);
  ExpectNextRunSeesTheSame();
}

TEST_P(RegistryCacheTest, APathOpenedBeforeItsKeyWasDeletedNoLongerLeadsThere) {
  const char* path = "Software\\DovetuneCacheTest\\gone";
  HKEY key = OpenPath(path);
  ASSERT_EQ(SetText(key, "v", "old"), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  RegCloseKey(key);

  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, path), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key), ERROR_FILE_NOT_FOUND);
  RegCloseKey(OpenPath(path));
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "v"), "(missing)");
  RegCloseKey(key);
  ExpectNextRunSeesTheSame();
}

TEST_P(RegistryCacheTest, AKeyDeletedThroughItsOwnHandleLeavesItsParentsList) {
  HKEY parent = OpenPath(kRootPath);
  HKEY child = OpenPath("Software\\DovetuneCacheTest\\child");
  EXPECT_EQ(Describe(parent), "[child]\n");
  ASSERT_EQ(RegDeleteKeyA(child, ""), ERROR_SUCCESS);
  EXPECT_EQ(Describe(parent), "");
  HKEY probe = nullptr;
  EXPECT_EQ(RegOpenKeyExA(parent, "child", 0, KEY_ALL_ACCESS, &probe), ERROR_FILE_NOT_FOUND);
  RegCloseKey(child);
  RegCloseKey(parent);
  ExpectNextRunSeesTheSame();
}

// Value names are folded into room kept from the lookup before: a long name
// after a short one, a non-ASCII one after an ASCII one, and a name that is
// the start of the one before must each find their own value or none.
TEST_P(RegistryCacheTest, NamesLookedUpInTurnFindTheirOwnValues) {
  HKEY key = OpenPath(kRootPath);
  ASSERT_EQ(SetText(key, "Äpfel and a name longer than a short string", "apples"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "Ab", "ab"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "b", "b"), ERROR_SUCCESS);
  const struct {
    const char* name;
    const char* expected;
  } kLookups[] = {
      {"aB", "ab"},
      {"äPFEL AND A NAME LONGER THAN A SHORT STRING", "apples"},
      {"B", "b"},
      {"A", "(missing)"},
      {"äpfel", "(missing)"},
      {"AB", "ab"},
  };
  for (const auto& lookup : kLookups)
    EXPECT_EQ(Read(key, lookup.name), lookup.expected) << lookup.name;
  RegCloseKey(key);

  // A key with more values than are searched one by one.
  HKEY many = OpenPath("Software\\DovetuneCacheTest\\many");
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(SetText(many, ("v" + std::to_string(i)).c_str(), std::to_string(i)), ERROR_SUCCESS);
  }
  for (const char* name : {"V0", "v17", "V39", "v40", "v"}) {
    const std::string number = std::string(name).substr(1);
    EXPECT_EQ(Read(many, name), !number.empty() && std::stoi(number) < 40 ? number : "(missing)")
        << name;
  }
  RegCloseKey(many);
}

// Held values are kept in the order they were made and found by name however
// the key changes: growing past the size that is searched one by one while
// held, and read again after a value from the middle is gone.
TEST_P(RegistryCacheTest, HeldValuesKeepTheirOrderAsTheKeyGrowsAndShrinks) {
  HKEY key = OpenPath(kRootPath);
  std::string expected;
  for (int i = 0; i < 24; ++i) {
    const std::string name = std::string(1, static_cast<char>('z' - i)) + std::to_string(i);
    ASSERT_EQ(SetText(key, name.c_str(), std::to_string(i)), ERROR_SUCCESS);
    EXPECT_EQ(Read(key, name.c_str()), std::to_string(i)) << name;  // held from the first
    if (i != 5) expected += name + " 1 " + std::to_string(i) + "\n";
  }
  EXPECT_EQ(Read(key, "Y1"), "1");
  ASSERT_EQ(RegDeleteValueA(key, "u5"), ERROR_SUCCESS);
  EXPECT_EQ(Describe(key), expected);
  EXPECT_EQ(Read(key, "U5"), "(missing)");
  // The handle used last stops working once it is closed.
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "y1", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  ExpectNextRunSeesTheSame();
}

TEST_P(RegistryCacheTest, ManyKeysReadInTurnKeepTheirOwnValues) {
  // More keys than a run holds values of, written and read in turn, so that
  // held values are let go and read again from the store.
  std::vector<HKEY> keys;
  for (int i = 0; i < 12; ++i) {
    keys.push_back(OpenPath(("Software\\DovetuneCacheTest\\k" + std::to_string(i)).c_str()));
    ASSERT_EQ(SetText(keys.back(), "v", std::to_string(i)), ERROR_SUCCESS);
  }
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 12; ++i) {
      EXPECT_EQ(Read(keys[i], "V"), std::to_string(i + round * 100));
      ASSERT_EQ(SetText(keys[i], "v", std::to_string(i + (round + 1) * 100)), ERROR_SUCCESS);
    }
  }
  for (HKEY key : keys) RegCloseKey(key);
  ExpectNextRunSeesTheSame();
}

TEST_P(RegistryCacheTest, ADiscardedRunLeavesNothingHeldForTheNext) {
  HKEY key = OpenPath("Software\\DovetuneCacheTest\\kept");
  ASSERT_EQ(SetText(key, "v", "committed"), ERROR_SUCCESS);
  RegCloseKey(key);
  CommitAndReopen();
  key = OpenPath("Software\\DovetuneCacheTest\\kept");
  ASSERT_EQ(SetText(key, "v", "discarded"), ERROR_SUCCESS);
  RegCloseKey(OpenPath("Software\\DovetuneCacheTest\\dropped"));
  RegCloseKey(key);
  DiscardAndReopen();
  key = OpenPath("Software\\DovetuneCacheTest\\kept");
  EXPECT_EQ(Read(key, "v"), "committed");
  RegCloseKey(key);
  HKEY parent = OpenPath(kRootPath);
  EXPECT_EQ(Describe(parent), "[kept]\n  v 1 committed\n");
  RegCloseKey(parent);
}

// Keys read one after another reuse the room of those read before: names
// that match the last key's only in letter case, fewer or more values, keys
// without values between them, and a key deleted part-way through the reads.
TEST_P(RegistryCacheTest, KeysReadAfterEachOtherKeepTheirOwnNamesAndData) {
  const std::vector<std::vector<std::pair<const char*, const char*>>> kKeys = {
      {{"Rate", "128"}, {"Mode", "vbr"}},
      {},
      {{"RATE", "96"}, {"mode", "cbr"}, {"Extra", "a longer value than the others"}},
      {{"Rate", ""}},
      {{"Mode", "x"}, {"Rate", "64"}},
  };
  for (size_t i = 0; i < kKeys.size(); ++i) {
    HKEY key = OpenPath(("Software\\DovetuneCacheTest\\k" + std::to_string(i)).c_str());
    for (const auto& value : kKeys[i]) ASSERT_EQ(SetText(key, value.first, value.second), 0);
    RegCloseKey(key);
  }
  CommitAndReopen();
  HKEY parent = OpenPath(kRootPath);
  const std::string before = Describe(parent);
  EXPECT_EQ(before,
            "[k0]\n  Rate 1 128\n  Mode 1 vbr\n[k1]\n"
            "[k2]\n  RATE 1 96\n  mode 1 cbr\n  Extra 1 a longer value than the others\n"
            "[k3]\n  Rate 1 \n[k4]\n  Mode 1 x\n  Rate 1 64\n");
  ASSERT_EQ(RegDeleteKeyA(parent, "k1"), ERROR_SUCCESS);
  for (const char* name : {"k4", "k0", "k2", "k3"}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(Read(key, "rate") + "/" + Read(key, "MODE"), name[1] == '4'   ? "64/x"
                                                           : name[1] == '0' ? "128/vbr"
                                                           : name[1] == '2' ? "96/cbr"
                                                                            : "/(missing)")
        << name;
    RegCloseKey(key);
  }
  RegCloseKey(parent);
  ExpectNextRunSeesTheSame();
}

// A key's name is kept as the bytes it was given, whatever they are, each
// name a key of its own.
TEST_P(RegistryCacheTest, KeyNamesOfAnyBytesAreKeptAsGiven) {
  std::vector<std::string> names = {
      "it's",         "say \"hi\"",         "100%",        "%s%n%x%d",
      "new\nline",    "tab\there",          "caf\xC3\xA9", "\xE2\x99\xAA notes",
      "\xFF\xFE bad", "cut \xC3",           "cr\rreturn",  "semi;colon' OR 1=1 --",
      "  spaced  ",   "\x1B[31mred\x1B[0m", "*",           "?",
  };
  for (const std::string& name : names) {
    RegCloseKey(OpenPath((std::string(kRootPath) + "\\" + name).c_str()));
  }
  CommitAndReopen();
  HKEY parent = OpenPath(kRootPath);
  std::vector<std::string> listed;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof(name);
    if (RegEnumKeyExA(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    listed.emplace_back(name, length);
  }
  RegCloseKey(parent);
  std::sort(listed.begin(), listed.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(listed, names);
}

// An enumeration goes on by index through the list as it is after a change,
// as the registry's own does: the held list must never answer for a key
// created, deleted or renamed since it was read.
TEST_P(RegistryCacheTest, AListChangedMidEnumerationGoesOnFromTheChangedList) {
  struct Case {
    std::vector<std::string> deleted;
    std::vector<std::string> created;
    const char* from_index_2;  // what the enumeration finds from there on
  };
  const Case cases[] = {
      {{}, {"bb"}, "bb c d"},  // after the cursor: found next
      {{}, {"0"}, "b c d"},    // before it: the cursor's key comes again
      {{"a"}, {}, "d"},        // before it: one is passed over
      {{"c"}, {}, "d"},        // the next one: gone
      {{"c"}, {"C"}, "C d"},   // renamed in letter case only: the new case
      {{"b", "d"}, {"B", "D"}, "c D"},
  };
  for (const Case& test : cases) {
    const std::string root = std::string(kRootPath) + "\\Changing";
    for (const char* name : {"a", "b", "c", "d"})
      RegCloseKey(OpenPath((root + "\\" + name).c_str()));
    HKEY parent = OpenPath(root.c_str());
    char name[64];
    for (DWORD index = 0; index < 2; ++index) {
      DWORD length = sizeof(name);
      ASSERT_EQ(RegEnumKeyExA(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr),
                ERROR_SUCCESS);
    }
    for (const std::string& gone : test.deleted) ASSERT_EQ(RegDeleteKeyA(parent, gone.c_str()), 0);
    for (const std::string& made : test.created)
      RegCloseKey(OpenPath((root + "\\" + made).c_str()));
    std::string found;
    for (DWORD index = 2;; ++index) {
      DWORD length = sizeof(name);
      if (RegEnumKeyExA(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      found += (found.empty() ? "" : " ") + std::string(name);
    }
    EXPECT_EQ(found, test.from_index_2) << test.from_index_2;
    // Each listed key opens by its listed name.
    EXPECT_EQ(Describe(parent).find("cannot be opened"), std::string::npos) << test.from_index_2;
    for (const char* name : {"0", "a", "b", "bb", "c", "d"}) RegDeleteKeyA(parent, name);
    RegCloseKey(parent);
  }
  ExpectNextRunSeesTheSame();
}

INSTANTIATE_TEST_SUITE_P(Stores, RegistryCacheTest, ::testing::ValuesIn(StoresUnderTest()),
                         TestStoreName);

}  // namespace

}  // namespace dovetune
