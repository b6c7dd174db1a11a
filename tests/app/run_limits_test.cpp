// Runs cut short by what surrounds them: memory that runs out, a standard
// output nobody reads, an environment that names no usable folder. Each ends
// with a clear message and status 1, and never half-changes the store.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/cli_fixture.h"

namespace dovetune {

namespace {

using RunLimitsTest = CliTest;

TEST_F(RunLimitsTest, RunningOutOfMemorySaysSoAndKeepsTheStore) {
  const std::string unsupported = AddressSpaceLimitUnsupported();
  if (!unsupported.empty()) GTEST_SKIP() << unsupported;
  Output({"view"});
  // A preset of a thousand values whose names take 16 MB in all, which the
  // detail view reads together (their data is read only when asked for).
  std::vector<std::pair<std::string, std::string>> values;
  for (int i = 0; i < 1000; ++i) {
    values.emplace_back(std::to_string(i) + std::string(16000, 'n'), std::string("\1\0\0\0", 4));
  }
  WriteValuesBetweenRuns(store_path_, PresetPath("huge"), REG_DWORD, values);
  const std::string before = ReadWholeFile(store_path_);
  // Where the run runs out depends on the limit: in the store as it reads
  // the names (the store's path then leads the reason), or in the program's
  // own copies of them. Either way it says so, prints nothing and keeps the
  // store as it was.
  const std::string from_store = "Fatal Error: " + store_path_ + ": out of memory\n";
  const std::string from_program = "Fatal Error: out of memory\n";
  for (long long limit : {24LL << 20, 48LL << 20}) {
    ProcessOptions limited;
    limited.address_space_limit = limit;
    const ProcessResult result = Run({"view", "huge"}, limited);
    EXPECT_EQ(result.status, 1) << limit;
    EXPECT_EQ(result.out, "") << limit;
    EXPECT_TRUE(result.err == from_store || result.err == from_program) << limit << result.err;
    EXPECT_TRUE(ReadWholeFile(store_path_) == before) << limit;
  }
}

// What "(sleep 1; dovetune create x) | true" meets: a pipe whose reader has
// gone. The change is kept; the run says that its output was lost.
TEST_F(RunLimitsTest, AClosedStandardOutputIsReportedAndTheChangeKept) {
  int pipe_ends[2];
  ASSERT_TRUE(PipeClosedOnExec(pipe_ends));
  close(pipe_ends[0]);
  int err_pipe[2];
  ASSERT_TRUE(PipeClosedOnExec(err_pipe));
  const pid_t child =
      SpawnProgram(DOVETUNE_BINARY, {"create", "kept"}, store_path_, pipe_ends[1], err_pipe[1]);
  close(pipe_ends[1]);
  close(err_pipe[1]);
  std::string err;
  char buffer[256];
  for (ssize_t got; (got = read(err_pipe[0], buffer, sizeof(buffer))) > 0;) err.append(buffer, got);
  close(err_pipe[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(err, "Fatal Error: cannot write to standard output\n");
  EXPECT_EQ(FirstLine(Output({"view", "kept"})), "kept - bitrate: vbr streaming");
}

// The store's folder comes from XDG_CONFIG_HOME or HOME, each only when it
// is an absolute path: a relative one would put the store wherever the run
// starts.
TEST_F(RunLimitsTest, RelativeHomeAndConfigFoldersAreIgnored) {
  const std::string start = folder_.File("start");
  const std::string config = folder_.File("config");
  ASSERT_EQ(mkdir(start.c_str(), 0700), 0);
  auto run_in_start = [&](const std::string& home, const std::string& xdg) {
    const std::string script = "cd '" + start + "' && exec '" DOVETUNE_BINARY "' view";
    return RunProgram("env",
                      {"-u", "DOVETUNE_REGISTRY", "-u", "WINEPREFIX", "HOME=" + home,
                       "XDG_CONFIG_HOME=" + xdg, "sh", "-c", script},
                      store_path_);
  };
  const ProcessResult neither = run_in_start("home", "config");
  EXPECT_EQ(neither.status, 1);
  EXPECT_EQ(neither.out, "");
  EXPECT_EQ(neither.err,
            "Fatal Error: no folder for the registry store: set XDG_CONFIG_HOME or HOME to an "
            "absolute path\n");
  const ProcessResult absolute_config = run_in_start("home", config);
  EXPECT_EQ(absolute_config.status, 0) << absolute_config.err;
  EXPECT_EQ(access((config + "/dovetune/registry.db").c_str(), F_OK), 0);
  const ProcessResult absolute_home = run_in_start(folder_.path(), "config");
  EXPECT_EQ(absolute_home.status, 0) << absolute_home.err;
  EXPECT_EQ(access(folder_.File(".config/dovetune/registry.db").c_str(), F_OK), 0);
  // Nothing was made where the runs started.
  EXPECT_NE(access((start + "/home").c_str(), F_OK), 0);
  EXPECT_NE(access((start + "/config").c_str(), F_OK), 0);
}

}  // namespace

}  // namespace dovetune
