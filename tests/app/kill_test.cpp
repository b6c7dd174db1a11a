// Runs killed at any moment leave the store as it was before them or as the
// whole run would have left it, never anything in between, and the files a
// killed run leaves behind are cleared by the next. The runs are killed at the
// pause points of base/pause_point.h, so each test knows where.

#include <unistd.h>

#include "tests/support/cli_fixture.h"

namespace dovetune {

namespace {

class KillTest : public CliTest {
 protected:
  void KillAt(const std::string& point, const std::vector<std::string>& arguments) {
    ProcessOptions options;
    options.pause_at = point;
    EXPECT_TRUE(RunUntilPausedAndKill(DOVETUNE_PAUSABLE_BINARY, arguments, store_path_, options))
        << "the run never reached " << point;
  }
};

TEST_F(KillTest, KilledCreateLeavesAWholePresetOrNone) {
  const std::vector<std::string> parameters = {"-cbr", "96", "-downmix", "-optimize", "4"};
  auto create = [&](const std::string& name) {
    std::vector<std::string> arguments = {"create", name};
    arguments.insert(arguments.end(), parameters.begin(), parameters.end());
    return arguments;
  };
  Output(create("model"));
  const std::string expected_settings = Output({"view", "model"}).substr(5);
  // Killed with every change made but none kept, the preset is not there;
  // killed once they are kept, all of it is.
  KillAt("before-commit", create("none"));
  EXPECT_EQ(Output({"view", "none"}, kExitFailed), "none - preset doesn't exist\n");
  KillAt("after-commit", create("whole"));
  EXPECT_EQ(Output({"view", "whole"}), "whole" + expected_settings);
}

TEST_F(KillTest, KilledFirstRunLeavesNoHalfBuiltStoreAndTheNextClearsItsFiles) {
  const std::string fresh =
      Lines({"current - bitrate: vbr streaming", "default - bitrate: vbr streaming"});
  for (const char* point : {"store-filled", "before-commit", "after-commit"}) {
    SCOPED_TRACE(point);
    const std::string folder = folder_.File(point);
    store_path_ = folder + "/registry.db";
    KillAt(point, {"view"});
    EXPECT_EQ(Output({"view"}), fresh);
    // A store built but not yet in place is left as a temporary file named for
    // what it is; the next run that builds one removes it.
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"registry.db"});
  }
}

TEST_F(KillTest, AFailedFirstRunRemovesTheFoldersItMade) {
  ASSERT_EQ(unlink(store_path_.c_str()), 0);
  store_path_ = folder_.File("made/by/run/registry.db");
  ProcessOptions options;
  options.file_size_limit = 0;  // SQLite cannot write the new store
  const ProcessResult result = Run({"view"}, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(FirstLine(result.err).rfind("Fatal Error: ", 0), 0u) << result.err;
  EXPECT_EQ(FolderEntries(folder_.path()), std::vector<std::string>{});
}

}  // namespace

}  // namespace dovetune
