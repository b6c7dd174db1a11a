// What the program must not do with what it is given: widen the permissions of
// the store, reach keys outside the presets key through a preset name, or crash
// or print stray text on hostile arguments.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/cli_fixture.h"
#include "tests/support/command_fixture.h"

namespace dovetune {

namespace {

const std::string kFreshListing =
    Lines({"current - bitrate: vbr streaming", "default - bitrate: vbr streaming"});

mode_t Mode(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Sets the process's file mode mask for the lifetime of the object.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : previous_(umask(mask)) {}
  ~ScopedUmask() { umask(previous_); }

 private:
  mode_t previous_;
};

using PermissionTest = CliTest;

TEST_F(PermissionTest, CreatedFoldersAndStoreArePrivateWhateverTheMask) {
  ScopedUmask open_mask(0);
  store_path_ = folder_.File("config/dovetune/registry.db");
  EXPECT_EQ(Output({"view"}), kFreshListing);
  EXPECT_EQ(Mode(folder_.File("config")), 0700u);
  EXPECT_EQ(Mode(folder_.File("config/dovetune")), 0700u);
  EXPECT_EQ(Mode(store_path_), 0600u);
  // Nothing else is left beside the store: no temporary file, no journal.
  Output({"create", "x", "-downmix"});
  std::vector<std::string> entries;
  for (const auto& entry : {"registry.db", "registry.db-journal"}) {
    if (access(folder_.File(std::string("config/dovetune/") + entry).c_str(), F_OK) == 0) {
      entries.push_back(entry);
    }
  }
  EXPECT_EQ(entries, std::vector<std::string>{"registry.db"});
}

TEST_F(PermissionTest, ExistingFolderAndStoreKeepTheirPermissions) {
  ScopedUmask open_mask(0);
  Output({"view"});
  ASSERT_EQ(chmod(store_path_.c_str(), 0640), 0);
  ASSERT_EQ(chmod(folder_.path().c_str(), 0750), 0);
  Output({"create", "x", "-downmix"});
  Output({"edit", "x", "-cbr", "64"});
  Output({"use", "x"});
  Output({"delete", "x"});
  EXPECT_EQ(Mode(store_path_), 0640u);
  EXPECT_EQ(Mode(folder_.path()), 0750u);
  // A narrower store stays as narrow.
  ASSERT_EQ(chmod(store_path_.c_str(), 0400), 0);
  Output({"view"});
  EXPECT_EQ(Mode(store_path_), 0400u);
}

// A writing run keeps its journal beside the store until it commits; the
// journal must be no more open than the store.
TEST_F(PermissionTest, JournalIsNoWiderThanTheStore) {
  ScopedUmask open_mask(0);
  Output({"view"});
  ASSERT_EQ(chmod(store_path_.c_str(), 0640), 0);
  ProcessOptions options;
  options.pause_at = "before-commit";
  const pid_t writer =
      SpawnStopped(DOVETUNE_PAUSABLE_BINARY, {"create", "x", "-downmix"}, store_path_, options);
  ASSERT_GT(writer, 0) << "the run ended before it came to commit";
  const mode_t journal_mode = Mode(store_path_ + "-journal");
  kill(writer, SIGCONT);
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_NE(journal_mode, 0u) << "the writing run had no journal before it committed";
  EXPECT_EQ(journal_mode & ~0640u, 0u) << std::oct << journal_mode;
  EXPECT_EQ(FirstLine(Output({"view", "x"})), "x - bitrate: vbr streaming, downmix");
  EXPECT_EQ(Mode(store_path_), 0640u);
}

// Every key and value of the open registry outside the presets key, as text.
class RegistryDump {
 public:
  RegistryDump() {
    const std::pair<HKEY, const char*> roots[] = {
        {HKEY_CLASSES_ROOT, "HKCR"}, {HKEY_CURRENT_USER, "HKCU"},   {HKEY_LOCAL_MACHINE, "HKLM"},
        {HKEY_USERS, "HKU"},         {HKEY_CURRENT_CONFIG, "HKCC"},
    };
    for (const auto& root : roots) Add(root.first, root.second);
  }
  const std::string& text() const { return text_; }

 private:
  void Add(HKEY key, const std::string& path) {
    if (path == "HKCU\\Software\\Orvane\\Ostrel\\Presets") {
      text_ += path + " (not listed)\n";
      return;
    }
    text_ += path + "\n";
    char name[1024];
    BYTE data[1024];
    for (DWORD index = 0;; ++index) {
      DWORD name_length = sizeof(name);
      DWORD data_size = sizeof(data);
      DWORD type = 0;
      if (RegEnumValueA(key, index, name, &name_length, nullptr, &type, data, &data_size) !=
          ERROR_SUCCESS) {
        break;
      }
      text_ += path + " : " + name + " = " + std::to_string(type) + ":" +
               std::string(reinterpret_cast<char*>(data), data_size) + "\n";
    }
    for (DWORD index = 0;; ++index) {
      DWORD name_length = sizeof(name);
      if (RegEnumKeyExA(key, index, name, &name_length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      HKEY child = nullptr;
      if (RegOpenKeyExA(key, name, 0, KEY_ALL_ACCESS, &child) != ERROR_SUCCESS) continue;
      Add(child, path + "\\" + name);
      RegCloseKey(child);
    }
  }

  std::string text_;
};

// What a preset name can reach is the registry's rule, not the process's: on
// the registry in memory.
class PresetNameTest : public CommandTest {
 protected:
  std::string Outside() {
    CRegistrySession session;
    OpenStore(&session);
    return RegistryDump().text();
  }
};

TEST_F(PresetNameTest, NamesReachNothingOutsideThePresetsKey) {
  Output({"create", "plain", "-cbr", "96"});
  const std::string outside = Outside();
  ASSERT_NE(outside.find("Zelvo (HE-AAC) : DefBitRate"), std::string::npos) << outside;
  const char* const names[] = {
      "..",
      "..\\..",
      "..\\Zelvo (HE-AAC)",
      "..\\..\\Ostrel\\Zelvo (HE-AAC)",
      "..\\..\\..\\..\\..\\HKEY_CURRENT_USER\\Software",
      "\\Software\\Orvane\\Ostrel\\Zelvo (HE-AAC)",
      "\\",
      "\\\\",
      ".",
      "a\\..\\..\\b",
      "Zelvo (HE-AAC)",
      "HKEY_CURRENT_USER\\Software\\Orvane",
      "../../../etc/passwd",
  };
  for (const char* name : names) {
    for (const char* command : {"create", "create_from_current", "edit", "view", "delete"}) {
      const ProcessResult result = Run({command, name, "-downmix", "-cbr", "20", "-optimize", "9"});
      // Refused (exists already, missing, or a name the registry refuses) or
      // done; never a crash.
      EXPECT_TRUE(result.status == kExitDone || result.status == kExitFailed)
          << command << " " << name << ": " << result.status;
      EXPECT_EQ(result.err, "") << command << " " << name;
    }
    EXPECT_EQ(Outside(), outside) << "after the commands on " << name;
  }
  // A nested name makes keys beneath the presets key, listed by the first level.
  Output({"create", "..\\Zelvo (HE-AAC)", "-usepns"});
  EXPECT_EQ(FirstLine(Output({"view", "..\\Zelvo (HE-AAC)"})),
            "..\\Zelvo (HE-AAC) - bitrate: vbr streaming, PNS");
  EXPECT_EQ(Output({"view"}),
            "current - bitrate: vbr streaming\n"
            "default - bitrate: vbr streaming\n"
            ".. - bitrate: \n"
            "a - bitrate: \n"
            "HKEY_CURRENT_USER - bitrate: \n"
            "plain - bitrate: cbr 96\n");
}

TEST_F(PresetNameTest, LeadingBackslashNamesNoPreset) {
  EXPECT_EQ(Output({"edit", "\\default", "-downmix"}, kExitFailed),
            Lines({"", "\\default doesn't exists", ""}));
  EXPECT_EQ(Output({"delete", "\\default"}, kExitFailed), Lines({"", "\\default doesn't exists"}));
  EXPECT_EQ(Output({"use", "\\default"}, kExitFailed), Lines({"", "\\default doesn't exists"}));
  EXPECT_EQ(Output({"view", "\\default"}, kExitFailed),
            Lines({"\\default - preset doesn't exist"}));
  EXPECT_EQ(Output({"view"}), kFreshListing);
}

TEST_F(PresetNameTest, NamesWithQuotesPercentsNewlinesAndOtherBytesRoundTrip) {
  const std::string names[] = {
      "it's",         "say \"hi\"",         "100%",        "%s%n%x%d",
      "new\nline",    "tab\there",          "caf\xC3\xA9", "\xE2\x99\xAA notes",
      "\xFF\xFE bad", "cut \xC3",           "cr\rreturn",  "semi;colon' OR 1=1 --",
      "  spaced  ",   "\x1B[31mred\x1B[0m", "*",           "?",
  };
  std::string listing = kFreshListing;
  for (const std::string& name : names) {
    EXPECT_EQ(Output({"create", name, "-downmix"}),
              "preset " + name + " created\n" + name + " - bitrate: vbr streaming, downmix\n");
    listing += name + " - bitrate: vbr streaming, downmix\n";
  }
  // Each is a preset of its own, listed under exactly the bytes it was given.
  const std::string shown = Output({"view"});
  EXPECT_EQ(shown.size(), listing.size());
  for (const std::string& name : names) {
    EXPECT_NE(shown.find(name + " - bitrate: vbr streaming, downmix\n"), std::string::npos) << name;
    EXPECT_EQ(Output({"edit", name, "-cbr", "64"}), name + " - bitrate: cbr 64, downmix\n");
    EXPECT_EQ(Output({"delete", name}), "");
    EXPECT_EQ(Output({"view", name}, kExitFailed), name + " - preset doesn't exist\n");
  }
  EXPECT_EQ(Output({"view"}), kFreshListing);
}

TEST_F(PresetNameTest, ArgumentsOfAHundredThousandCharacters) {
  const std::string huge(100000, 'n');
  const std::string digits(100000, '9');
  // No key takes a name this long: the preset cannot be made, and nothing is.
  const ProcessResult create = Run({"create", huge, "-downmix"});
  EXPECT_EQ(create.status, kExitFailed);
  EXPECT_EQ(create.out, "preset " + huge + " could not be created\n");
  EXPECT_EQ(Output({"edit", huge}, kExitFailed), "\n" + huge + " doesn't exists\n\n");
  EXPECT_EQ(Output({"view", huge}, kExitFailed), huge + " - preset doesn't exist\n");
  EXPECT_EQ(Output({"view"}), kFreshListing);
  // Numbers beyond any range saturate.
  EXPECT_EQ(Output({"create", "big", "-cbr", digits, "-optimize", digits}),
            Lines({"preset big created", "big - bitrate: cbr 448, optimize: 2147483647"}));
  EXPECT_EQ(Output({"edit", "big", "-optimize", "-" + digits}),
            Lines({"big - bitrate: cbr 448, optimize: -2147483648"}));
  EXPECT_EQ(Output({"edit", "big", "-preset", huge, huge, "-cbr", "-" + digits}),
            Lines({"big - bitrate: cbr 16, optimize: -2147483648"}));
  const ProcessResult unknown = Run({huge, "big"});
  EXPECT_EQ(unknown.status, kExitUsage);
  EXPECT_EQ(unknown.out, "");
}

}  // namespace

}  // namespace dovetune
