// CPresetStore's initialisation, copying and queries, on a registry of the
// test's own.

#include "presets/preset_store.h"

#include <string>
#include <utility>
#include <vector>

#include "presets/preset_schema.h"
#include "registry/registry.h"
#include "tests/support/platform.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

using Values = std::vector<std::pair<std::string, DWORD>>;

const Values kFactory = {
    {"DefBitRate", 128},        {"DefVbrMode", 6},  {"DefCodecQuality", 1}, {"DefAacProfile", 5},
    {"DefUsePNS", 0},           {"DefDownmix", 0},  {"DefMuxIntoVideo", 0}, {"DefExportAAC", 0},
    {"DefHintForStreaming", 0}, {"DefOptimize", 0},
};

// |values| listed in the order they were written, in the order the registry
// lists them.
Values InRegistryOrder(Values values) {
  return InValueOrder(std::move(values),
                      [](const Values::value_type& value) { return value.first; });
}

// |values| with one number changed.
Values With(Values values, size_t index, DWORD number) {
  values[index].second = number;
  return values;
}

class PresetStoreTest : public RegistryTest {
 protected:
  Values ValuesOf(const std::string& name) {
    std::vector<std::string> names;
    std::vector<DWORD> numbers;
    store_.ReadPresetValues(name, names, numbers);
    EXPECT_EQ(names.size(), numbers.size());
    Values values;
    for (size_t i = 0; i < names.size() && i < numbers.size(); ++i) {
      values.emplace_back(names[i], numbers[i]);
    }
    return values;
  }
  static void Write(const std::string& path, const std::string& name, DWORD value) {
    CRegistry key(HKEY_CURRENT_USER, path);
    ASSERT_TRUE(key.WriteDword(name, value)) << path;
  }
  static bool KeyThere(const std::string& path) {
    CRegistry key;
    return key.Open(HKEY_CURRENT_USER, path);
  }
  static std::string PresetPath(const std::string& name) {
    return std::string(schema::kPresetsKeyPath) + "\\" + name;
  }

  CPresetStore store_;
};

TEST_F(PresetStoreTest, FirstRunBuildsTheTreeWithFactorySettings) {
  store_.Initialize();
  CRegistry product(HKEY_CURRENT_USER, "Software\\Orvane");
  std::string name;
  ASSERT_TRUE(product.EnumKey(name));
  EXPECT_EQ(name, "Ostrel");
  ASSERT_TRUE(product.OpenKey("Ostrel"));
  std::vector<std::string> children;
  while (product.EnumKey(name)) children.push_back(name);
  // "Presets" is stored with its capital, whatever case it is opened under.
  EXPECT_EQ(children, (std::vector<std::string>{"Presets", "Zelvo (HE-AAC)"}));
  EXPECT_EQ(ValuesOf("default"), InRegistryOrder(kFactory));
  EXPECT_EQ(ValuesOf("current"), InRegistryOrder(kFactory));

  std::vector<std::string> presets;
  store_.ListPresets(presets);
  EXPECT_EQ(presets, std::vector<std::string>{"default"});
}

TEST_F(PresetStoreTest, InitializeLeavesExistingSettingsAlone) {
  store_.Initialize();
  Write(PresetPath("default"), "DefBitRate", 320);
  Write(schema::kCurrentSettingsKeyPath, "DefVbrMode", 9);
  CommitAndReopen();
  store_.Initialize();
  EXPECT_EQ(ValuesOf("default"), InRegistryOrder(With(kFactory, 0, 320)));
  EXPECT_EQ(ValuesOf("current"), InRegistryOrder(With(kFactory, 1, 9)));
}

TEST_F(PresetStoreTest, DeletedDefaultComesBackWithFactorySettings) {
  store_.Initialize();
  Write(schema::kCurrentSettingsKeyPath, "DefDownmix", 1);
  EXPECT_TRUE(store_.DeletePreset("default"));
  EXPECT_FALSE(store_.PresetExists("default"));
  store_.Initialize();
  EXPECT_EQ(ValuesOf("default"), InRegistryOrder(kFactory));
  EXPECT_EQ(ValuesOf("current"), InRegistryOrder(With(kFactory, 5, 1)));
}

TEST_F(PresetStoreTest, DeletedCurrentSettingsAreCopiedFromTheEditedDefault) {
  store_.Initialize();
  Write(PresetPath("default"), "DefOptimize", 7);
  CRegistry registry;
  ASSERT_TRUE(registry.DeleteKey(HKEY_CURRENT_USER, schema::kCurrentSettingsKeyPath));
  store_.Initialize();
  EXPECT_EQ(ValuesOf("current"), InRegistryOrder(With(kFactory, 9, 7)));
}

TEST_F(PresetStoreTest, CopyBetweenEqualNamesOrFromAMissingPresetDoesNothing) {
  store_.Initialize();
  store_.CopyPreset("default", "default");
  store_.CopyPreset("current", "current");
  EXPECT_EQ(ValuesOf("default"), InRegistryOrder(kFactory));
  store_.CopyPreset("missing", "target");
  EXPECT_FALSE(store_.PresetExists("target"));
}

TEST_F(PresetStoreTest, CopyKeepsValuesTheSourceLacksAndCarriesExtraOnes) {
  store_.Initialize();
  store_.CopyPreset("default", "fast");
  Write(PresetPath("fast"), "Extra", 99);
  Write(PresetPath("default"), "DefBitRate", 64);
  store_.CopyPreset("default", "fast");
  Values expected = With(kFactory, 0, 64);
  expected.emplace_back("Extra", 99);
  expected = InRegistryOrder(expected);
  EXPECT_EQ(ValuesOf("fast"), expected);

  store_.CopyPreset("fast", "current");
  EXPECT_EQ(ValuesOf("current"), expected);
}

TEST_F(PresetStoreTest, CopySkipsValuesThatAreNotNumbers) {
  store_.Initialize();
  store_.CopyPreset("default", "mixed");
  HKEY raw = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, PresetPath("mixed").c_str(), 0, KEY_ALL_ACCESS, &raw),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(raw, "Label", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_SUCCESS);
  RegCloseKey(raw);
  store_.CopyPreset("mixed", "copy");
  EXPECT_EQ(ValuesOf("copy"), InRegistryOrder(kFactory));
  CRegistry copy(HKEY_CURRENT_USER, PresetPath("copy"));
  std::string name;
  int count = 0;
  while (copy.EnumValue(name)) ++count;
  EXPECT_EQ(count, 10);
}

TEST_F(PresetStoreTest, CopyIntoANameTheRegistryRefusesWritesNothingElsewhere) {
  store_.Initialize();
  const std::string too_long(300, 'x');
  store_.CopyPreset("default", too_long);
  store_.CopyPreset("default", "ok\\" + too_long);
  EXPECT_FALSE(store_.PresetExists("ok"));
  // Nothing landed in the presets key itself.
  EXPECT_TRUE(ValuesOf("").empty());
}

TEST_F(PresetStoreTest, QueriesFollowTheRegistryComparison) {
  store_.Initialize();
  EXPECT_TRUE(store_.PresetExists("current"));
  EXPECT_TRUE(store_.PresetExists("DEFAULT"));
  EXPECT_TRUE(store_.PresetExists(""));
  EXPECT_FALSE(store_.PresetExists("Current"));
  EXPECT_TRUE(ValuesOf("missing").empty());

  CRegistry registry;
  ASSERT_TRUE(registry.DeleteKey(HKEY_CURRENT_USER, schema::kCurrentSettingsKeyPath));
  EXPECT_TRUE(store_.PresetExists("current"));
  EXPECT_TRUE(ValuesOf("current").empty());
}

TEST_F(PresetStoreTest, DeleteRefusesAPresetWithKeysBeneathIt) {
  store_.Initialize();
  store_.CopyPreset("default", "a\\b");
  EXPECT_FALSE(store_.DeletePreset("a"));
  EXPECT_TRUE(store_.PresetExists("a\\b"));
  EXPECT_TRUE(store_.DeletePreset("a\\b"));
  EXPECT_TRUE(store_.DeletePreset("A"));
  EXPECT_FALSE(store_.PresetExists("a"));
  // "current" names a preset, never the current settings key.
  EXPECT_FALSE(store_.DeletePreset("current"));
  EXPECT_EQ(ValuesOf("current"), InRegistryOrder(kFactory));
}

TEST_F(PresetStoreTest, ListingOnAnEmptyPresetsKeyIsEmpty) {
  store_.Initialize();
  ASSERT_TRUE(store_.DeletePreset("default"));
  std::vector<std::string> names;
  store_.ListPresets(names);
  EXPECT_TRUE(names.empty());
}

}  // namespace

}  // namespace dovetune
