// A run waits for the run that holds the store, up to a bound (ten seconds in
// the program), and then gives up with a clear message, leaving the store as
// it was.

#include <sqlite3.h>
#include <sys/wait.h>

#include <unistd.h>

#include <chrono>

#include "registry/stores/key_store.h"
#include "tests/support/cli_fixture.h"
#include "tests/support/in_process.h"

namespace dovetune {

namespace {

class StoreLockTest : public CliTest {
 protected:
  ~StoreLockTest() override { Release(); }

  // Takes the store for writing, as a run of the program does.
  void Hold() {
    ASSERT_EQ(sqlite3_open(store_path_.c_str(), &holder_), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  }
  void Release() {
    if (!holder_) return;
    sqlite3_exec(holder_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder_);
    holder_ = nullptr;
  }

  sqlite3* holder_ = nullptr;
};

// Reads |descriptor| up to its first newline, or to its end.
std::string ReadLine(int descriptor) {
  std::string line;
  char c = 0;
  while (read(descriptor, &c, 1) == 1) {
    line += c;
    if (c == '\n') break;
  }
  return line;
}

std::string ReadToEnd(int descriptor) {
  std::string text;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = read(descriptor, buffer, sizeof(buffer))) > 0) text.append(buffer, got);
  return text;
}

const char kWaitNotice[] = "dovetune: waiting for another run to finish with the store \u2026\n";

// The holder lets go only once the waiting run has said that it waits: the
// notice is the moment, not a guess at how long to sleep.
TEST_F(StoreLockTest, ARunSaysThatItWaitsForTheHolderAndThenWorks) {
  Output({"view"});
  Hold();
  int out = -1;
  int err = -1;
  const pid_t run =
      SpawnCapturing(DOVETUNE_BINARY, {"create", "x", "-downmix"}, store_path_, &out, &err);
  ASSERT_GT(run, 0);
  EXPECT_EQ(ReadLine(err), kWaitNotice);
  Release();
  int status = -1;
  ASSERT_EQ(waitpid(run, &status, 0), run);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadToEnd(err), "");
  EXPECT_EQ(ReadToEnd(out), Lines({"preset x created", "x - bitrate: vbr streaming, downmix"}));
  close(out);
  close(err);
}

// In process, with a bound short enough to wait out: past it the run gives up
// as the program does after its ten seconds.
TEST_F(StoreLockTest, ARunHeldOffPastTheBoundGivesUpClearly) {
  Output({"create", "kept", "-cbr", "64"});
  const std::string before = ReadWholeFile(store_path_);
  Hold();
  const std::chrono::milliseconds bound(200);
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult result = RunInProcess(
      {"create", "x", "-downmix"},
      [this](std::string* error) { return OpenStoreAt(store_path_, error); }, store_path_,
      static_cast<int>(bound.count()));
  const auto took = std::chrono::steady_clock::now() - start;
  Release();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Fatal Error: " + store_path_ +
                            ": the registry store is in use by another run, and stayed so past "
                            "the wait\n");
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), bound.count());
  EXPECT_EQ(ReadWholeFile(store_path_), before);
  EXPECT_EQ(FirstLine(Output({"view", "x"}, kExitFailed)), "x - preset doesn't exist");
}

// Runs started together on a missing store agree on one store, which each
// of them finds whole.
TEST_F(StoreLockTest, FirstRunsStartedTogetherShareOneStore) {
  store_path_ = folder_.File("new/registry.db");
  std::vector<pid_t> runs;
  for (int i = 0; i < 8; ++i) {
    runs.push_back(StartProgram(DOVETUNE_BINARY, {"create", "p" + std::to_string(i)}, store_path_));
  }
  for (const pid_t run : runs) {
    int status = -1;
    ASSERT_EQ(waitpid(run, &status, 0), run);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::string listing =
      Lines({"current - bitrate: vbr streaming", "default - bitrate: vbr streaming"});
  for (int i = 0; i < 8; ++i) listing += "p" + std::to_string(i) + " - bitrate: vbr streaming\n";
  EXPECT_EQ(Output({"view"}), listing);
}

}  // namespace

}  // namespace dovetune
