// Start-up: the help screen, dispatch, and the registry tree that every run
// makes sure of; and, as a process, the store file a run creates. The
// golden-output check holds the help screen to its exact text.

#include "tests/support/command_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace dovetune {

namespace {

const std::string kFreshListing = Lines({
    "current - bitrate: vbr streaming",
    "default - bitrate: vbr streaming",
});

using StartUpTest = CommandTest;
using StartUpProcessTest = CliTest;

TEST_F(StartUpTest, NoArgumentsPrintTheHelpScreenAfterBuildingTheTree) {
  const std::string help = Output({});
  EXPECT_EQ(help.substr(0, 16), "\ndovetune help:\n");
  for (const char* command : {"view", "create", "create_from_current", "edit", "delete", "use"}) {
    EXPECT_NE(help.find("\ndovetune " + std::string(command) + " "), std::string::npos) << command;
  }
  // The run made the default preset before it printed the screen.
  CRegistrySession session;
  ASSERT_NO_FATAL_FAILURE(OpenStore(&session));
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, PresetPath("default").c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  if (key) RegCloseKey(key);
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

#ifndef _WIN32
// Store only: the file the embedded store keeps the registry in.
TEST_F(StartUpProcessTest, StoreIsCreatedPrivateWithItsFolders) {
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
TEST_F(StartUpProcessTest, ARunThatCreatesTheStoreSaysSoOnce) {
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
