// dovetune while Wine runs in the prefix (a persistent wineserver): each
// command goes through that Wine and gives what it gives on an idle copy of
// the prefix, Wine sees the change at once and saves it, and a server that
// exits before the run starts under it loses nothing and does nothing twice.
//
// Every process runs with the test's own HOME and TMPDIR; each test stops
// its prefixes' servers with `wineserver -k`, however it ends.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

const char kPresets[] = "HKCU\\Software\\Orvane\\Ostrel";

class RunningWineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempFolder;
    for (const char* name : {"home", "tmp"}) mkdir(folder_->File(name).c_str(), 0700);
    setenv("HOME", folder_->File("home").c_str(), 1);
    setenv("TMPDIR", folder_->File("tmp").c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    const std::string fresh = folder_->File("fresh");
    const ProcessResult boot = RunIn(fresh, DOVETUNE_WINE_LOADER, {"wineboot", "-i"});
    RunIn(fresh, DOVETUNE_WINESERVER, {"-w"});
    fresh_ok_ = boot.status == 0 && access((fresh + "/user.reg").c_str(), F_OK) == 0;
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(fresh_ok_) << "wineboot -i made no prefix";
    for (const std::string& prefix : {Idle(), Running()}) {
      ASSERT_EQ(system(("cp -a '" + folder_->File("fresh") + "' '" + prefix + "'").c_str()), 0);
    }
  }
  void TearDown() override {
    // The server is waited for as it ends, so that none of this test's is
    // still there when the next test makes its prefixes at the same paths.
    Server(Running(), {"-k"});
    Server(Running(), {"-w"});
    for (const std::string& prefix : {Idle(), Running()}) {
      ASSERT_EQ(system(("rm -rf '" + prefix + "'").c_str()), 0);
    }
  }

  static std::string Idle() { return folder_->File("idle"); }
  static std::string Running() { return folder_->File("running"); }

  // Runs |program| with WINEPREFIX set to |prefix|.
  static ProcessResult RunIn(const std::string& prefix, const std::string& program,
                             const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"WINEPREFIX=" + prefix, program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunProgram("/usr/bin/env", command, prefix);
  }
  static ProcessResult Server(const std::string& prefix,
                              const std::vector<std::string>& arguments) {
    return RunIn(prefix, DOVETUNE_WINESERVER, arguments);
  }
  // Starts a wineserver for |prefix| that stays until it is killed. Its
  // output goes nowhere: the server outlives the command that starts it and
  // would keep a pipe open.
  static bool StartPersistentServer(const std::string& prefix) {
    const std::string command =
        "WINEPREFIX='" + prefix + "' " + DOVETUNE_WINESERVER + " -p </dev/null >/dev/null 2>&1";
    return system(command.c_str()) == 0;
  }
  // dovetune on |prefix|, with the Windows build of the build folder.
  static ProcessOptions WithWindowsBuild() {
    ProcessOptions options;
    options.environment = {{"DOVETUNE_WINDOWS_EXE", DOVETUNE_WINDOWS_EXE}};
    return options;
  }
  static ProcessResult Dovetune(const std::string& prefix,
                                const std::vector<std::string>& arguments) {
    return RunProgram(DOVETUNE_BINARY, arguments, prefix, WithWindowsBuild());
  }
  // What dovetune-reg reads from the prefix's user.reg (no server running).
  static std::string FileQuery(const std::string& prefix) {
    const ProcessResult query = RunProgram(DOVETUNE_REG_BINARY, {"query", kPresets, "/s"}, prefix);
    return query.status == 0 ? query.out : "failed: " + query.err;
  }

  static TempFolder* folder_;
  static bool fresh_ok_;
};

TempFolder* RunningWineTest::folder_ = nullptr;
bool RunningWineTest::fresh_ok_ = false;

// Each command, its failures and a name beyond code page 1252 among them,
// gives the same output and status through the running Wine as on the idle
// prefix's file; Wine holds the changes at once and saves them when it ends.
TEST_F(RunningWineTest, EachCommandGivesWhatItGivesOnAnIdlePrefix) {
  ASSERT_TRUE(StartPersistentServer(Running()));
  const std::vector<std::vector<std::string>> commands = {
      {"create", "fast", "-cbr", "128"},
      {"create", "fast"},
      {"create_from_current", "now", "-vbr", "3", "-downmix"},
      {"edit", "fast", "-optimize", "2"},
      {"edit", "fast", "-bogus"},
      {"use", "fast"},
      {"view"},
      {"view", "fast"},
      {"delete", "now"},
      {"delete", "now"},
      {"create", "\xce\xb1\xce\xb2\xe2\x82\xac", "-cbr", "96"},
      {"view", "\xce\xb1\xce\xb2\xe2\x82\xac"},
      {"view"}};
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0] + (command.size() > 1 ? " " + command[1] : ""));
    const ProcessResult idle = Dovetune(Idle(), command);
    const ProcessResult running = Dovetune(Running(), command);
    EXPECT_EQ(running.status, idle.status);
    EXPECT_EQ(running.out, idle.out);
    EXPECT_EQ(running.err, idle.err);
  }
  const std::string expected = FileQuery(Idle());
  ASSERT_NE(expected.find("Presets\\\xce\xb1\xce\xb2\xe2\x82\xac\n"), std::string::npos)
      << expected;
  // Wine's own reg sees every change while the server still runs.
  const ProcessResult wine =
      RunIn(Running(), DOVETUNE_WINE_LOADER, {"reg", "query", kPresets, "/s"});
  ASSERT_EQ(wine.status, 0);
  EXPECT_NE(wine.out.find("DefOptimize    REG_DWORD    0x2"), std::string::npos);
  // And user.reg holds them once it has ended.
  ASSERT_EQ(Server(Running(), {"-k"}).status, 0);
  Server(Running(), {"-w"});
  EXPECT_EQ(FileQuery(Running()), expected);
}

// A server that exits after the run found it, before the Windows build
// starts: Wine starts another, and the change is made once and kept.
TEST_F(RunningWineTest, AServerThatExitsBeforeTheStartLosesNothing) {
  ASSERT_TRUE(StartPersistentServer(Running()));
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  ProcessOptions options = WithWindowsBuild();
  options.pause_at = "wine-running";
  const pid_t run =
      SpawnStopped(DOVETUNE_PAUSABLE_BINARY, {"create", "late", "-cbr", "80"}, Running(), options);
  ASSERT_GT(run, 0);
  Server(Running(), {"-k"});
  Server(Running(), {"-w"});
  kill(run, SIGCONT);
  int status = 0;
  ASSERT_EQ(waitpid(run, &status, 0), run);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // Made once: a second create fails as it does on the idle prefix.
  ASSERT_EQ(Dovetune(Idle(), {"create", "late", "-cbr", "80"}).status, 0);
  const ProcessResult idle = Dovetune(Idle(), {"create", "late"});
  const ProcessResult again = Dovetune(Running(), {"create", "late"});
  EXPECT_NE(idle.status, 0);
  EXPECT_EQ(again.status, idle.status);
  EXPECT_EQ(again.err, idle.err);
  Server(Running(), {"-w"});
  EXPECT_EQ(FileQuery(Running()), FileQuery(Idle()));
}

// dovetune-reg goes through Wine's own reg: each step is seen by the next
// at once, and export and import reach a file outside the prefix's C: drive.
TEST_F(RunningWineTest, DovetuneRegGoesThroughWinesReg) {
  ASSERT_TRUE(StartPersistentServer(Running()));
  const std::string file = folder_->File("home/saved.reg");
  const std::string key = "HKCU\\Software\\Orvane\\T";
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string shown;  // what Wine's reg then shows under the key
  } steps[] = {
      {{"add", key, "/v", "x", "/t", "REG_DWORD", "/d", "7", "/f"}, 0, "x    REG_DWORD    0x7"},
      {{"export", key, file, "/y"}, 0, "x    REG_DWORD    0x7"},
      {{"delete", key, "/f"}, 0, ""},
      {{"import", file}, 0, "x    REG_DWORD    0x7"},
      {{"export", key, "-"}, 1, "x    REG_DWORD    0x7"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.arguments[0]);
    const ProcessResult run = RunProgram(DOVETUNE_REG_BINARY, step.arguments, Running());
    EXPECT_EQ(run.status, step.status) << run.err;
    const ProcessResult wine = RunIn(Running(), DOVETUNE_WINE_LOADER, {"reg", "query", key});
    EXPECT_EQ(wine.status, step.shown.empty() ? 1 : 0);
    if (!step.shown.empty()) {
      EXPECT_NE(wine.out.find(step.shown), std::string::npos) << wine.out;
    }
  }
  EXPECT_NE(ReadWholeFile(file).size(), 0u);
}

// A query through the running Wine prints what it prints on the idle prefix,
// names and data beyond any code page among them, in each of its forms and
// failures.
TEST_F(RunningWineTest, DovetuneRegQueryGivesWhatItGivesOnAnIdlePrefix) {
  ASSERT_TRUE(StartPersistentServer(Running()));
  const std::string greek = "\xce\xb1\xce\xb2\xe2\x82\xac";        // αβ€
  const std::string upper_greek = "\xce\x91\xce\x92\xe2\x82\xac";  // ΑΒ€
  const std::string key = "HKCU\\Software\\Orvane\\" + greek;
  const std::vector<std::vector<std::string>> setup = {
      {"add", key, "/v", greek, "/d", greek, "/f"},
      {"add", key, "/v", "n", "/t", "REG_MULTI_SZ", "/d", greek + "\\0x", "/f"},
      {"add", key, "/ve", "/d", "d", "/f"},
      {"add", key + "\\a_b", "/v", greek, "/t", "REG_DWORD", "/d", "5", "/f"},
      {"add", key + "\\aB\\" + greek, "/v", "z", "/t", "REG_DWORD", "/d", "1", "/f"},
  };
  for (const std::vector<std::string>& step : setup) {
    for (const std::string& prefix : {Idle(), Running()}) {
      ASSERT_EQ(RunProgram(DOVETUNE_REG_BINARY, step, prefix).status, 0) << prefix;
    }
  }
  const std::vector<std::vector<std::string>> queries = {
      {"query", "HKCU"},
      {"query", "HKCU\\Software\\Orvane"},
      {"query", key},
      {"query", key, "/s"},
      {"query", key, "/v", greek},
      {"query", key, "/v", upper_greek},
      {"query", key, "/ve"},
      {"query", key + "\\a_b", "/ve"},
      {"query", key, "/s", "/v", greek},
      {"query", key, "/s", "/v", "none"},
      {"query", key, "/v", "none"},
      {"query", key + "\\none"},
      {"query", key + "\\none", "/s"},
  };
  for (const std::vector<std::string>& query : queries) {
    std::string form;
    for (size_t i = 2; i < query.size(); ++i) form += " " + query[i];
    SCOPED_TRACE(query[1] + form);
    const ProcessResult idle = RunProgram(DOVETUNE_REG_BINARY, query, Idle());
    const ProcessResult running = RunProgram(DOVETUNE_REG_BINARY, query, Running());
    EXPECT_EQ(running.status, idle.status);
    EXPECT_EQ(running.out, idle.out);
    EXPECT_EQ(running.err, idle.err);
  }
  // The names reached the idle prefix whole, so the comparison above holds
  // them.
  const ProcessResult tree = RunProgram(DOVETUNE_REG_BINARY, {"query", key, "/s"}, Idle());
  EXPECT_NE(tree.out.find("\\aB\\" + greek + "\n"), std::string::npos) << tree.out;
  EXPECT_NE(tree.out.find("    " + greek + "    REG_SZ    " + greek + "\n"), std::string::npos);
}

}  // namespace

}  // namespace dovetune
