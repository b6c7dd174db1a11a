// Which runs go through a running Wine, and how one comes back: its output
// with Windows line ends turned into "\n", its exit status, and a clear
// failure with nothing changed when it cannot go through Wine. A stand-in
// server marks Wine as running; a shell script stands in for Wine and the
// Windows build. Runs that need not be a process run in the test's own.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "registry/running_wine.h"
#include "registry/stores/wineserver_lock.h"
#include "tests/support/fake_wineserver.h"
#include "tests/support/in_process.h"
#include "tests/support/process.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

class RunningWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = folder_.File("prefix");
    ASSERT_EQ(mkdir(prefix_.c_str(), 0700), 0);
    WriteWholeFile(prefix_ + "/user.reg", kSmallUserReg);
  }
  // The run with |exe| as the Windows build and |loader| as Wine.
  ProcessResult Run(const std::vector<std::string>& arguments, const std::string& exe,
                    const std::string& loader) {
    return RunProgram(DOVETUNE_BINARY, arguments, prefix_, Options(exe, loader));
  }
  // The same run in process, waiting for no server to let go of the prefix.
  ProcessResult RunHere(const std::vector<std::string>& arguments, const std::string& exe,
                        const std::string& loader) {
    return RunDovetuneInProcess(arguments, prefix_, Options(exe, loader).environment, 0);
  }
  ProcessOptions Options(const std::string& exe, const std::string& loader) {
    ProcessOptions options;
    options.environment = {
        {"DOVETUNE_WINDOWS_EXE", exe}, {"WINELOADER", loader}, {"TMPDIR", folder_.path()}};
    return options;
  }
  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = folder_.File(name);
    WriteWholeFile(path, body);
    return path;
  }

  TempFolder folder_;
  std::string prefix_;
};

// A server holding the prefix folder or its lock is Wine running there; no
// server, another dovetune run holding the lock, or a folder that is no
// prefix is not. Only a look over the processes that found no server tells
// the store it need not look again.
TEST_F(RunningWineTest, FindsWineRunningOnlyWhereAServerRuns) {
  std::vector<std::string> locks;
  std::string error;
  ASSERT_TRUE(WineserverLock::LockFiles(prefix_, &locks, &error)) << error;
  const std::string plain = folder_.File("plain");
  ASSERT_EQ(mkdir(plain.c_str(), 0700), 0);
  enum class Holder { kNone, kFolder, kLock, kDovetune };
  const struct {
    Holder holder;
    std::string path;
    bool runs;
    bool none_seen;
  } cases[] = {{Holder::kNone, prefix_, false, true},
               {Holder::kFolder, prefix_, true, false},
               {Holder::kLock, prefix_, true, false},
               {Holder::kFolder, prefix_ + "/user.reg", true, false},
               {Holder::kDovetune, prefix_, false, true},
               {Holder::kNone, plain, false, false}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.path + " " + std::to_string(static_cast<int>(test.holder)));
    std::unique_ptr<FakeWineserver> server;
    pid_t run = 0;
    if (test.holder == Holder::kFolder) server = std::make_unique<FakeWineserver>(prefix_);
    if (test.holder == Holder::kLock) server = std::make_unique<FakeWineserver>("", locks.front());
    if (server) {
      ASSERT_GT(server->pid(), 0);
    }
    if (test.holder == Holder::kDovetune) {
      ProcessOptions options;
      options.pause_at = "before-commit";
      run = SpawnStopped(DOVETUNE_PAUSABLE_BINARY, {"create", "x"}, prefix_, options);
      ASSERT_GT(run, 0);
    }
    bool none_seen = !test.none_seen;
    EXPECT_EQ(WineRunsFor(test.path, &none_seen), test.runs);
    EXPECT_EQ(none_seen, test.none_seen);
    if (run > 0) {
      int status = 0;
      kill(run, SIGKILL);
      waitpid(run, &status, 0);
    }
  }
}

// The Windows build's output comes back with "\r\n" as "\n" (a lone "\r"
// kept), its status as it is, a signal's as 128 plus its number; Wine gets
// the prefix, the build and the arguments.
TEST_F(RunningWineTest, PassesTheOutputAndStatusBack) {
  FakeWineserver server(prefix_);
  ASSERT_GT(server.pid(), 0);
  const std::string exe = folder_.File("dovetune.exe");
  const struct {
    std::string script;
    std::string out;
    std::string err;
    int status;
  } cases[] = {
      {"printf 'a\\r\\nb\\rc\\r\\r\\n'; printf 'e\\r\\n' >&2", "a\nb\rc\r\n", "e\n", 0},
      {"printf 'x\\r'; exit 3", "x\r", "", 3},
      {"printf '%s|' \"$WINEPREFIX\" \"$WINEDEBUG\" \"$0\" \"$@\"",
       WinePrefixFolder(prefix_) + "|-all|" + exe + "|view|a b|", "", 0},
      {"kill -TERM $$", "", "", 128 + SIGTERM},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.script);
    WriteWholeFile(exe, test.script);
    const ProcessResult run = Run({"view", "a b"}, exe, "/bin/sh");
    EXPECT_EQ(run.out, test.out);
    EXPECT_EQ(run.err, test.err);
    EXPECT_EQ(run.status, test.status);
  }
  EXPECT_EQ(ReadWholeFile(prefix_ + "/user.reg"), kSmallUserReg);
}

// Without the Windows build a change is refused as it is without Wine's
// path, naming what to install; a Wine that cannot start is a fatal error,
// and so is an argument Wine would not pass on as it is. None changes the
// prefix.
TEST_F(RunningWineTest, ARunThatCannotGoThroughWineFailsClearly) {
  FakeWineserver server(prefix_);
  ASSERT_GT(server.pid(), 0);
  const std::string exe = Script("dovetune.exe", "exit 0");
  const ProcessResult missing = RunHere({"create", "x"}, folder_.File("none.exe"), "/bin/sh");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Fatal Error: "), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("Wine is running in this prefix"), std::string::npos);
  EXPECT_NE(missing.err.find("\ndovetune: to change presets while Wine runs, install dovetune's "
                             "Windows build as " +
                             InstalledWindowsBuild()),
            std::string::npos)
      << missing.err;
  const ProcessResult no_wine = RunHere({"create", "x"}, exe, folder_.File("no-wine"));
  EXPECT_EQ(no_wine.status, 1);
  EXPECT_EQ(no_wine.err, "Fatal Error: cannot start Wine (" + folder_.File("no-wine") +
                             "): No such file or directory; nothing was run (set WINELOADER to "
                             "the wine program to use)\n");
  EXPECT_EQ(no_wine.out, "");
  // A name Wine would read as other characters is never passed on.
  const std::string ran = folder_.File("ran");
  const std::string marking = Script("marking.exe", "touch '" + ran + "'");
  const ProcessResult not_utf8 = RunHere({"create", "bad\xff"}, marking, "/bin/sh");
  EXPECT_EQ(not_utf8.status, 1);
  EXPECT_NE(not_utf8.err.find("'bad\xff' is not UTF-8"), std::string::npos) << not_utf8.err;
  EXPECT_NE(access(ran.c_str(), F_OK), 0);
  ASSERT_EQ(RunHere({"create", "good"}, marking, "/bin/sh").status, 0);
  EXPECT_EQ(access(ran.c_str(), F_OK), 0);
  EXPECT_EQ(ReadWholeFile(prefix_ + "/user.reg"), kSmallUserReg);
}

// A file is named through the drive whose folder holds it most closely; one
// no drive reaches, or in a folder that is not there, is refused.
TEST_F(RunningWineTest, NamesAFileThroughThePrefixsDrives) {
  const std::string drive_c = prefix_ + "/drive_c";
  const std::string devices = prefix_ + "/dosdevices";
  ASSERT_EQ(mkdir(drive_c.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((drive_c + "/users").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(devices.c_str(), 0700), 0);
  ASSERT_EQ(symlink("../drive_c", (devices + "/c:").c_str()), 0);
  const std::string outside = folder_.File("outside");
  ASSERT_EQ(mkdir(outside.c_str(), 0700), 0);
  const std::string root = WinePrefixFolder(folder_.path());
  const struct {
    std::string path;
    bool with_z;
    std::string windows;  // empty when refused
  } cases[] = {
      {drive_c + "/users/a.reg", true, "C:\\users\\a.reg"},
      {drive_c + "/users/a.reg", false, "C:\\users\\a.reg"},
      {outside + "/b.reg", true, "Z:" + root + "\\outside\\b.reg"},
      {outside + "/b.reg", false, ""},
      {outside + "/missing/b.reg", true, ""},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.path + (test.with_z ? " with Z:" : ""));
    unlink((devices + "/z:").c_str());
    if (test.with_z) {
      ASSERT_EQ(symlink("/", (devices + "/z:").c_str()), 0);
    }
    std::string windows, error;
    EXPECT_EQ(WindowsPathOf(prefix_, test.path, &windows, &error), !test.windows.empty());
    std::string expected = test.windows;
    for (char& c : expected) c = c == '/' ? '\\' : c;
    EXPECT_EQ(test.windows.empty() ? error.empty() : windows != expected, false) << windows;
  }
}

}  // namespace

}  // namespace dovetune
