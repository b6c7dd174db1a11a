// Which registry a run chooses from its environment, as Wine chooses its
// prefix, and that choosing only looks: it makes no file or folder anywhere.

#include "registry/store_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

constexpr const char* kUnset = nullptr;

struct Case {
  const char* title;
  const char* registry;  // DOVETUNE_REGISTRY, or kUnset
  const char* prefix;    // WINEPREFIX, relative to the test's folder when it starts with @
  bool ok;
  StoreOrigin origin;
  const char* path;   // the chosen path, relative to the test's folder
  const char* error;  // a part of the reason, when not ok
};

class StoreChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // home/.wine is a prefix; "made" is one too; "empty" is a folder without
    // user.reg; "file" is no folder.
    for (const char* folder : {"home", "home/.wine", "made", "empty"}) {
      ASSERT_EQ(mkdir(folder_.File(folder).c_str(), 0700), 0) << folder;
    }
    WriteWholeFile(folder_.File("home/.wine/user.reg"), "WINE REGISTRY Version 2\n");
    WriteWholeFile(folder_.File("made/user.reg"), "WINE REGISTRY Version 2\n");
    WriteWholeFile(folder_.File("file"), "WINE REGISTRY Version 2\n");
    environment_["HOME"] = folder_.File("home");
  }

  // Chooses with |environment_| and nothing else.
  bool Choose(StoreChoice* choice, std::string* error) {
    return ChooseStore(
        [this](const char* name) {
          const auto found = environment_.find(name);
          return found == environment_.end() ? nullptr : found->second.c_str();
        },
        choice, error);
  }
  void Set(const char* name, const char* value) {
    if (value) {
      environment_[name] = value[0] == '@' ? folder_.File(value + 1) : value;
    } else {
      environment_.erase(name);
    }
  }

  TempFolder folder_;
  std::map<std::string, std::string> environment_;
};

TEST_F(StoreChoiceTest, TheEnvironmentChoosesAsWineDoes) {
  const char* const own = "home/.config/dovetune/registry.db";
  const Case cases[] = {
      {"DOVETUNE_REGISTRY first", "/x/store.db", "rel", true, StoreOrigin::kExplicit, nullptr, ""},
      {"WINEPREFIX before ~/.wine", kUnset, "@made", true, StoreOrigin::kWinePrefixVariable, "made",
       ""},
      {"an empty DOVETUNE_REGISTRY is unset", "", "@made", true, StoreOrigin::kWinePrefixVariable,
       "made", ""},
      {"~/.wine without WINEPREFIX", kUnset, kUnset, true, StoreOrigin::kWineDefaultPrefix,
       "home/.wine", ""},
      {"a relative WINEPREFIX", kUnset, "made", false, StoreOrigin::kSystem, nullptr,
       "WINEPREFIX=made is not an absolute path"},
      {"an empty WINEPREFIX, which Wine refuses", kUnset, "", false, StoreOrigin::kSystem, nullptr,
       "WINEPREFIX= is not an absolute path"},
      {"a WINEPREFIX without user.reg", kUnset, "@empty", false, StoreOrigin::kSystem, nullptr,
       "empty holds no user.reg; make the prefix with \"WINEPREFIX="},
      {"a missing WINEPREFIX", kUnset, "@missing", false, StoreOrigin::kSystem, nullptr,
       "WINEPREFIX names no Wine prefix: "},
      {"a WINEPREFIX that is a file", kUnset, "@file", false, StoreOrigin::kSystem, nullptr,
       "file is not a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    Set("DOVETUNE_REGISTRY", c.registry);
    Set("WINEPREFIX", c.prefix);
    StoreChoice choice;
    std::string error;
    ASSERT_EQ(Choose(&choice, &error), c.ok) << error;
    if (!c.ok) {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(choice.origin, c.origin);
    EXPECT_EQ(choice.path, c.path ? folder_.File(c.path) : c.registry);
    EXPECT_EQ(choice.own_store, folder_.File(own));
  }
  EXPECT_EQ(FolderEntries(folder_.path()),
            (std::vector<std::string>{"empty", "file", "home", "made"}));
  EXPECT_EQ(FolderEntries(folder_.File("home")), std::vector<std::string>{".wine"});
  EXPECT_EQ(FolderEntries(folder_.File("empty")), std::vector<std::string>{});
}

// Without a prefix the run keeps to dovetune's own store, wherever the
// folders for it point.
TEST_F(StoreChoiceTest, WithoutAPrefixTheOwnStoreIsChosen) {
  const struct {
    const char* title;
    const char* home;
    const char* config;
    const char* path;  // relative to the test's folder; empty for none
  } cases[] = {
      {"HOME", "@empty", kUnset, "empty/.config/dovetune/registry.db"},
      {"XDG_CONFIG_HOME", "@empty", "@config", "config/dovetune/registry.db"},
      {"a ~/.wine without user.reg", "@other", kUnset, "other/.config/dovetune/registry.db"},
      {"a relative HOME", "home", kUnset, ""},
  };
  for (const char* folder : {"other", "other/.wine"}) {
    ASSERT_EQ(mkdir(folder_.File(folder).c_str(), 0700), 0) << folder;
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    Set("HOME", c.home);
    Set("XDG_CONFIG_HOME", c.config);
    StoreChoice choice;
    std::string error;
    ASSERT_TRUE(Choose(&choice, &error)) << error;
    EXPECT_EQ(choice.origin, StoreOrigin::kOwnStore);
    const std::string expected = *c.path ? folder_.File(c.path) : std::string();
    EXPECT_EQ(choice.path, expected);
    EXPECT_EQ(choice.own_store, expected);
  }
}

}  // namespace

}  // namespace dovetune
