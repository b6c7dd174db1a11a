// "create", "create_from_current", "edit", "delete" and "use": their messages
// and what they leave in the registry.

#include "tests/support/command_fixture.h"

#ifdef _WIN32
#include <sddl.h>
#endif

namespace dovetune {

namespace {

// The ten settings of one set, as "view NAME" lists them.
std::string Settings(const std::string& detail) { return detail.substr(detail.find('\n') + 1); }

using PresetCommandsTest = CommandTest;

TEST_F(PresetCommandsTest, CreateCopiesDefaultAndAppliesParameters) {
  EXPECT_EQ(Output({"create", "fast", "-cbr", "128", "-codecquality_fast"}),
            Lines({"preset fast created", "fast - bitrate: cbr 128, fast encoding"}));
  EXPECT_EQ(Output({"create", "fast"}, kExitFailed), Lines({"preset fast already exists"}));
  EXPECT_EQ(Output({"create", "FAST", "-downmix"}, kExitFailed),
            Lines({"preset FAST already exists"}));
  EXPECT_EQ(Output({"create", "default"}, kExitFailed), Lines({"preset default already exists"}));
  EXPECT_EQ(Output({"create", "current"}, kExitFailed), Lines({"preset current already exists"}));
  EXPECT_EQ(FirstLine(Output({"view", "default"})), "default - bitrate: vbr streaming");
}

// A key name has at most 255 characters (256 under Wine). A preset the
// registry refuses is reported as not created, and no level of its name is
// left behind: x, a backslash and 257 characters fit the 260 of a whole path, so the
// registry makes x before it refuses the rest.
TEST_F(PresetCommandsTest, ANameTheRegistryRefusesIsNotCreatedAndLeavesNothing) {
  const std::string too_long(257, 'n');
  for (const std::string& name : {too_long, "x\\" + too_long, "a\\b\\" + too_long}) {
    for (const char* command : {"create", "create_from_current"}) {
      const ProcessResult result = Run({command, name, "-downmix"});
      EXPECT_EQ(result.status, 1) << command;
      EXPECT_EQ(result.out, "preset " + name + " could not be created\n") << command;
    }
  }
  Output({"create", "a", "-cbr", "96"});
  EXPECT_EQ(Run({"create", "a\\" + too_long}).status, 1);
  EXPECT_EQ(Output({"view"}), Lines({"current - bitrate: vbr streaming",
                                     "default - bitrate: vbr streaming", "a - bitrate: cbr 96"}));
  EXPECT_EQ(FirstLine(Output({"create", std::string(255, 'n')})),
            "preset " + std::string(255, 'n') + " created");
}

TEST_F(PresetCommandsTest, MissingNamesHaveTheirOwnMessages) {
  EXPECT_EQ(Output({"create"}, kExitUsage), Lines({"", "no name given for new preset", ""}));
  EXPECT_EQ(Output({"create_from_current"}, kExitUsage),
            Lines({"", "no name given for new preset", ""}));
  EXPECT_EQ(Output({"edit"}, kExitUsage), Lines({"", "no name given for preset to edit", ""}));
  EXPECT_EQ(Output({"delete"}, kExitUsage), Lines({"", "no name given for preset to delete", ""}));
  EXPECT_EQ(Output({"use"}, kExitUsage), Lines({"", "no name given for preset to use", ""}));
}

TEST_F(PresetCommandsTest, MissingPresetsAreReportedAndNothingIsCreated) {
  EXPECT_EQ(Output({"edit", "missing", "-downmix"}, kExitFailed),
            Lines({"", "missing doesn't exists", ""}));
  EXPECT_EQ(Output({"delete", "missing"}, kExitFailed), Lines({"", "missing doesn't exists"}));
  EXPECT_EQ(Output({"use", "missing", "-downmix"}, kExitFailed),
            Lines({"", "missing doesn't exists"}));
  EXPECT_EQ(Output({"view"}),
            Lines({"current - bitrate: vbr streaming", "default - bitrate: vbr streaming"}));
}

TEST_F(PresetCommandsTest, UseMakesTheCurrentSettingsEqualToThePreset) {
  Output({"create", "fast", "-cbr", "320", "-aacprofile_lc", "-optimize", "2"});
  EXPECT_EQ(Output({"use", "fast"}), Lines({"current - bitrate: cbr 320, LC, optimize: 2"}));
  EXPECT_EQ(Settings(Output({"view", "current"})), Settings(Output({"view", "fast"})));
  // Parameters apply to the current settings only.
  EXPECT_EQ(Output({"use", "fast", "-downmix"}),
            Lines({"current - bitrate: cbr 320, downmix, LC, optimize: 2"}));
  EXPECT_EQ(FirstLine(Output({"view", "fast"})), "fast - bitrate: cbr 320, LC, optimize: 2");
  EXPECT_EQ(Output({"use", "current", "-vbr_radio"}),
            Lines({"current - bitrate: vbr radio, downmix, LC, optimize: 2"}));
}

TEST_F(PresetCommandsTest, CreateFromCurrentTakesTheCurrentSettingsAsTheyAre) {
  Output({"create", "hq", "-vbr_audiophile"});
  Output({"use", "hq"});
  EXPECT_EQ(Output({"create_from_current", "copy1"}),
            Lines({"preset copy1 created", "copy1 - bitrate: vbr audiophile"}));
  EXPECT_EQ(Output({"edit", "current", "-usepns"}),
            Lines({"current - bitrate: vbr audiophile, PNS"}));
  EXPECT_EQ(Output({"create_from_current", "copy2", "-exportaac"}),
            Lines({"preset copy2 created", "copy2 - bitrate: vbr audiophile, PNS, export aac"}));
  EXPECT_EQ(Output({"create_from_current", "current"}, kExitFailed),
            Lines({"preset current already exists"}));
}

TEST_F(PresetCommandsTest, EditChangesOnlyTheNamedPreset) {
  Output({"create", "a"});
  EXPECT_EQ(Output({"edit", "A", "-vbr_normal", "-muxintovideo"}),
            Lines({"A - bitrate: vbr normal, mux into video"}));
  EXPECT_EQ(FirstLine(Output({"view", "default"})), "default - bitrate: vbr streaming");
  EXPECT_EQ(Output({"edit", "default", "-cbr", "192"}), Lines({"default - bitrate: cbr 192"}));
  EXPECT_EQ(Output({"create", "b"}), Lines({"preset b created", "b - bitrate: cbr 192"}));
}

TEST_F(PresetCommandsTest, DeleteRemovesThePresetSilently) {
  Output({"create", "gone"});
  EXPECT_EQ(Output({"delete", "GONE"}), "");
  EXPECT_EQ(Output({"view"}),
            Lines({"current - bitrate: vbr streaming", "default - bitrate: vbr streaming"}));
  EXPECT_EQ(Output({"view", "gone"}, kExitFailed), Lines({"gone - preset doesn't exist"}));
}

TEST_F(PresetCommandsTest, DeletedDefaultReturnsWithFactorySettings) {
  const std::string factory = Output({"view", "default"});
  Output({"edit", "default", "-cbr", "64"});
  EXPECT_EQ(Output({"delete", "default"}), "");
  EXPECT_EQ(Output({"view", "default"}), factory);
  // The current settings were copied from default once and stay as they were.
  EXPECT_EQ(FirstLine(Output({"view", "current"})), "current - bitrate: vbr streaming");
}

TEST_F(PresetCommandsTest, DeleteOfCurrentNeverTouchesTheCurrentSettings) {
  Output({"create", "Current", "-downmix"});
  EXPECT_EQ(Output({"delete", "current"}), "");
  EXPECT_EQ(Output({"view", "Current"}, kExitFailed), Lines({"Current - preset doesn't exist"}));
  EXPECT_EQ(Output({"delete", "current"}, kExitFailed),
            Lines({"", "preset current could not be deleted"}));
  EXPECT_EQ(FirstLine(Output({"view", "current"})), "current - bitrate: vbr streaming");
}

TEST_F(PresetCommandsTest, NestedNamesAddressKeysBeneathAPreset) {
  EXPECT_EQ(Output({"create", "a\\b", "-downmix"}),
            Lines({"preset a\\b created", "a\\b - bitrate: vbr streaming, downmix"}));
  EXPECT_EQ(Output({"view"}), Lines({"current - bitrate: vbr streaming",
                                     "default - bitrate: vbr streaming", "a - bitrate: "}));
  // The first level has a key beneath it, so it stays; the run says so.
  EXPECT_EQ(Output({"delete", "a"}, kExitFailed), Lines({"", "preset a could not be deleted"}));
  EXPECT_EQ(Output({"delete", "a\\b"}), "");
  EXPECT_EQ(Output({"delete", "a"}), "");
  EXPECT_EQ(Output({"view", "a"}, kExitFailed), Lines({"a - preset doesn't exist"}));
}

TEST_F(PresetCommandsTest, TheEmptyNameIsThePresetsKeyItself) {
  EXPECT_EQ(Output({"create", ""}, kExitFailed), Lines({"preset  already exists"}));
  EXPECT_EQ(Output({"edit", "", "-downmix"}), Lines({" - bitrate: , downmix"}));
  EXPECT_EQ(Output({"view", ""}), Lines({" - bitrate: , downmix", "DefDownmix - 1"}));
  // The presets key keeps "default" beneath it, so it cannot go.
  EXPECT_EQ(Output({"delete", ""}, kExitFailed), Lines({"", "preset  could not be deleted"}));
  EXPECT_EQ(FirstLine(Output({"view", "default"})), "default - bitrate: vbr streaming");
}

#ifdef _WIN32
// Gives the key |path| beneath HKEY_CURRENT_USER the access list |sddl| (in
// the security descriptor language) while it lives, and full access again
// after, so that the tests' clean-up can delete it.
class KeyAccess {
 public:
  KeyAccess(const std::string& path, const char* sddl) : path_(path) { Set(sddl); }
  ~KeyAccess() { Set("D:P(A;;KA;;;WD)"); }
  KeyAccess(const KeyAccess&) = delete;
  KeyAccess& operator=(const KeyAccess&) = delete;

 private:
  void Set(const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    RegCloseKey(key);
    LocalFree(descriptor);
  }

  std::string path_;
};

// A change the registry refuses stops the run with the key and the refusal on
// standard error and status 1, and nothing on standard output, whatever was
// written before it.
TEST_F(PresetCommandsTest, ARefusedWriteIsReportedAsAFailure) {
  Output({"create", "fast", "-cbr", "96"});
  const std::string current = "HKEY_CURRENT_USER\\" + std::string(kCurrentPath);
  const struct {
    std::vector<std::string> command;
    std::string reason;
  } kCases[] = {
      {{"use", "fast"}, current + ": the registry refused to open the key"},
      {{"edit", "current", "-downmix"}, current + ": the registry refused to write DefDownmix"},
  };
  KeyAccess read_only(kCurrentPath, "D:P(A;;KR;;;WD)");
  for (const auto& refused : kCases) {
    const ProcessResult result = Run(refused.command);
    EXPECT_EQ(result.status, kExitFailed) << refused.command[0];
    EXPECT_EQ(result.out, "") << refused.command[0];
    EXPECT_EQ(result.err, "Fatal Error: " + refused.reason + "\n") << refused.command[0];
  }
}
#endif

}  // namespace

}  // namespace dovetune
