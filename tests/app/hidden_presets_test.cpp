// The notice of presets that a run on a Wine prefix does not see: given only
// when dovetune's own store holds presets besides "default", and found
// without changing, creating or waiting for that store.

#include "app/hidden_presets.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

const char kPresets[] = "Software\\Orvane\\Ostrel\\Presets\\";

void AddPreset(const std::string& store, const std::string& name) {
  WriteValueBetweenRuns(store, kPresets + name, "DefBitRate", REG_DWORD, std::string(4, '\0'));
}

TEST(HiddenPresetsTest, ToldOnlyOfPresetsTheOwnStoreHoldsBesidesDefault) {
  TempFolder folder;
  const std::string with_two = folder.File("two.db");
  AddPreset(with_two, "default");
  AddPreset(with_two, "fast");
  AddPreset(with_two, "It's late");
  const std::string only_default = folder.File("default.db");
  AddPreset(only_default, "Default");
  const std::string no_presets_key = folder.File("bare.db");
  WriteValueBetweenRuns(no_presets_key, "Software\\Other", "x", REG_DWORD, std::string(4, '\0'));
  const std::string not_a_store = folder.File("garbage.db");
  WriteWholeFile(not_a_store, std::string(4096, 'x'));
  const std::string held = folder.File("held.db");
  AddPreset(held, "fast");
  // Another program holds the store so that nobody may read it.
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(held.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

  const struct {
    const char* title;
    StoreOrigin origin;
    std::string own_store;
    const char* count;  // the count the notice gives, or null for no notice
  } cases[] = {
      {"WINEPREFIX", StoreOrigin::kWinePrefixVariable, with_two, "holds 2 presets that"},
      {"~/.wine", StoreOrigin::kWineDefaultPrefix, with_two, "holds 2 presets that"},
      {"a prefix named by DOVETUNE_REGISTRY", StoreOrigin::kExplicit, with_two, nullptr},
      {"the own store itself", StoreOrigin::kOwnStore, with_two, nullptr},
      {"only \"default\", in any case", StoreOrigin::kWinePrefixVariable, only_default, nullptr},
      {"no presets key", StoreOrigin::kWinePrefixVariable, no_presets_key, nullptr},
      {"no own store", StoreOrigin::kWinePrefixVariable, folder.File("missing.db"), nullptr},
      {"no folder for one", StoreOrigin::kWinePrefixVariable, "", nullptr},
      {"not a store", StoreOrigin::kWinePrefixVariable, not_a_store, nullptr},
      {"a store held by another", StoreOrigin::kWineDefaultPrefix, held, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    StoreChoice choice;
    choice.origin = c.origin;
    choice.path = folder.File("prefix");
    choice.own_store = c.own_store;
    const std::string notice = HiddenPresetsNotice(choice);
    if (!c.count) {
      EXPECT_EQ(notice, "");
      continue;
    }
    EXPECT_NE(notice.find(c.count), std::string::npos) << notice;
    // The commands it gives move the presets, the own store's path quoted.
    EXPECT_NE(notice.find("  DOVETUNE_REGISTRY='" + c.own_store +
                          "' dovetune-reg export 'HKCU\\Software\\Orvane\\Ostrel\\Presets' "
                          "presets.reg\n  dovetune-reg import presets.reg\n"),
              std::string::npos)
        << notice;
    EXPECT_EQ(notice.back(), '\n');
  }
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  // Looking made nothing: no store where there was none, no journal.
  EXPECT_EQ(FolderEntries(folder.path()),
            (std::vector<std::string>{"bare.db", "default.db", "garbage.db", "held.db", "two.db"}));
}

}  // namespace

}  // namespace dovetune
