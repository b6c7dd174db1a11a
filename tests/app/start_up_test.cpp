// Start-up as a process: the help screen, dispatch, and the registry tree that
// every run makes sure of.

#include "tests/support/cli_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace dovetune {

namespace {

const std::string kHelpScreen = Lines({
    "",
    "dovetune help:",
    "",
    "",
    "possible parameters:",
    "",
    "dovetune  :  (no parameters) shows this help-screen",
    "",
    "dovetune view  :  shows the presets and theirs settings",
    "",
    "dovetune view *name*  :  shows details of the preset *name*",
    "",
    "dovetune create *name* (*parammeters*)  :  creates preset *name* using setting from "
    "default-preset and parameters",
    "",
    "dovetune create_from_current *name* (*parammeters*)  :  creates preset *name* using current "
    "settings and parameters",
    "",
    "dovetune edit *name* *parammeters*  :  changes settings of preset *name* according to the "
    "parameters",
    "",
    "dovetune delete *name*   :  deletes prset *name*",
    "",
    "dovetune use *name*  :  changes current settings to the settings of name",
    "",
    "",
    "note: edit preset \"default\" to change the dafault settings",
    "",
    "",
});

const std::string kFreshListing = Lines({
    "current - bitrate: vbr streaming",
    "default - bitrate: vbr streaming",
});

using StartUpTest = CliTest;

TEST_F(StartUpTest, NoArgumentsPrintTheHelpScreenAfterBuildingTheTree) {
  EXPECT_EQ(Output({}), kHelpScreen);
  EXPECT_EQ(Output({"view"}), kFreshListing);
}

TEST_F(StartUpTest, UnrecognisedWordsPrintNothingButStillInitialise) {
  for (const char* word : {"View", "VIEW", "help", "", "view "}) {
    const ProcessResult result = Run({word, "x"});
    EXPECT_EQ(result.status, kExitUsage) << word;
    EXPECT_EQ(result.out, "") << word;
    EXPECT_EQ(result.err, std::string("dovetune: unknown command '") + word +
                              "' (run dovetune with no arguments for help)\n");
  }
  EXPECT_EQ(Output({"view"}), kFreshListing);
}

TEST_F(StartUpTest, ChangesPersistBetweenRuns) {
  ASSERT_EQ(Output({"create", "kept", "-downmix"}),
            Lines({"preset kept created", "kept - bitrate: vbr streaming, downmix"}));
  EXPECT_EQ(FirstLine(Output({"view", "kept"})), "kept - bitrate: vbr streaming, downmix");
}

#ifndef _WIN32
// Store only: the file the embedded store keeps the registry in.
TEST_F(StartUpTest, StoreIsCreatedPrivateWithItsFolders) {
  store_path_ = folder_.File("deep/er/registry.db");
  EXPECT_EQ(Output({"view"}), kFreshListing);
  struct stat status;
  ASSERT_EQ(stat(store_path_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(folder_.File("deep/er").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  // Nothing is left beside it.
  EXPECT_EQ(Output({"view"}), kFreshListing);
}

// The run that creates a store names it on standard error, once, so that a
// mistyped path is seen at once.
TEST_F(StartUpTest, ARunThatCreatesTheStoreSaysSoOnce) {
  store_path_ = folder_.File("mistyped.db");
  const ProcessResult first = Run({"view"});
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, kFreshListing);
  EXPECT_EQ(first.err, "dovetune: created a new registry at " + store_path_ + "\n");
  const ProcessResult second = Run({"view"});
  EXPECT_EQ(second.out, kFreshListing);
  EXPECT_EQ(second.err, "");
}
#endif

}  // namespace

}  // namespace dovetune
