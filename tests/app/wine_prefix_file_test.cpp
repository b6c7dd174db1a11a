// A Wine prefix's user.reg is never made worse: a file whose key lines Wine
// would refuse or read otherwise is not used at all, nor a block the run
// reads that Wine would damage; one whose keys are out of Wine's order is
// read but never written; lines the run does not touch are copied as they
// are; a run that changes nothing leaves the file alone, and a change
// replaces the file whole, beside its symlink's target when it is one.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "registry/stores/wine_prefix_store.h"
#include "registry/stores/wineserver_lock.h"
#include "tests/support/fake_wineserver.h"
#include "tests/support/in_process.h"
#include "tests/support/process.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

class WinePrefixFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = folder_.File("prefix");
    ASSERT_EQ(mkdir(prefix_.c_str(), 0700), 0);
    WriteWholeFile(user_reg(), kSmallUserReg);
  }
  std::string user_reg() const { return prefix_ + "/user.reg"; }
  ProcessResult Run(const std::vector<std::string>& arguments) {
    return RunProgram(DOVETUNE_BINARY, arguments, prefix_);
  }
  // The new files that runs left beside user.reg.
  std::vector<std::string> LeftBeside() const {
    std::vector<std::string> left;
    for (const std::string& name : FolderEntries(prefix_)) {
      if (name.find("dovetune-temp") != std::string::npos) left.push_back(name);
    }
    return left;
  }
  ino_t Inode() const {
    struct stat info = {};
    stat(user_reg().c_str(), &info);
    return info.st_ino;
  }

  TempFolder folder_;
  std::string prefix_;
};

TEST_F(WinePrefixFileTest, RunsThatChangeNothingLeaveTheFileAlone) {
  ASSERT_EQ(Run({"create", "fast", "-cbr", "128"}).status, 0);
  const std::string written = ReadWholeFile(user_reg());
  EXPECT_NE(written.find("[Software\\\\Orvane\\\\Ostrel\\\\Presets\\\\fast] "), std::string::npos);
  const ino_t inode = Inode();
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"view"}, {"view", "fast"}, {"edit", "fast", "-cbr", "128"}}) {
    EXPECT_EQ(Run(command).status, 0);
    EXPECT_EQ(Inode(), inode) << command[0];
  }
  EXPECT_EQ(ReadWholeFile(user_reg()), written);
  // The file named directly works as the folder does.
  EXPECT_EQ(RunProgram(DOVETUNE_BINARY, {"view", "fast"}, user_reg()).out,
            Run({"view", "fast"}).out);
}

// The non-empty lines of |text| outside the blocks of the tool's keys.
std::string ForeignLines(const std::string& text) {
  std::string lines;
  bool ours = false;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line[0] == '[') ours = line.find("\\\\Orvane") != std::string::npos;
    if (!ours && !line.empty()) lines += line + "\n";
    start = end + 1;
  }
  return lines;
}

TEST_F(WinePrefixFileTest, FilesNotAsWineWritesThemGetWhatTheReadmeStates) {
  enum Outcome { kWritten, kReadOnly, kRefused };
  struct Case {
    const char* what;
    std::string text;
    Outcome outcome;
    const char* reason;  // for a file not written
  };
  const std::string good = kSmallUserReg;
  std::string crlf;
  for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  // A block the run reads, with |line| in it, before the file's own key.
  const auto ours = [&good](const std::string& line) {
    return std::string(good).insert(
        good.find("\n[Software\\\\Wine]"),
        "\n[Software\\\\Orvane\\\\Ostrel\\\\Presets\\\\default] 1\n" + line);
  };
  const Case cases[] = {
      // Untouched lines Wine reads, or skips, are copied as they are.
      {"CRLF", crlf, kWritten, ""},
      {"comment", good + ";; mine\n", kWritten, ""},
      {"seconds only", good + "\n[Software\\\\X] 1\n", kWritten, ""},
      {"indented", good + "\n  [Software\\\\X] 1\n  \"v\"=dword:1\n", kWritten, ""},
      {"bad hex elsewhere", good + "\"w\"=hex:zz\n", kWritten, ""},
      {"stray line elsewhere", good + "v=1\n", kWritten, ""},
      {"truncated elsewhere", good + "\n[Zz] 1\n\"v\"=\"abc", kWritten, ""},
      {"no last LF", good + "\n[Zz] 1\n\"v\"=dword:1", kWritten, ""},
      // Where Wine's order cannot be kept: read, never written.
      {"repeated key", good + "\n[Software\\\\Wine] 2\n\"w\"=\"y\"\n", kReadOnly,
       "not in the order Wine writes them, or a key is written twice"},
      {"out of order", good + "\n[Software\\\\A] 2\n", kReadOnly, "not in the order Wine writes"},
      {"respelled", good + "\n[SOFTWARE\\\\Zz] 2\n", kReadOnly, "not in the order Wine writes"},
      // What Wine would refuse, or read otherwise than its key lines say.
      {"BOM", "\xEF\xBB\xBF" + good, kRefused, "first line"},
      {"arch", std::string(good).replace(good.find("win64"), 5, "win16"), kRefused, "#arch"},
      {"key line in hex data", good + "\"w\"=hex:01,\\\n[Software\\\\Y] 1\n", kRefused,
       "line 10: a key line after a line continued"},
      {"hex data cut short", good + "\"w\"=hex:01,\\\n", kRefused, "line 9: hex data continued"},
      {"NUL", good + std::string("\"w\"=\"a\0\"\n", 9), kRefused, "line 9: a NUL byte"},
      {"key without ]", good + "\n[Software\\\\Y\n", kRefused, "line 10: a key without"},
      // A block the run reads must be sound.
      {"bad hex in ours", ours("\"v\"=hex:zz\n"), kRefused, "line 7: hex data with a stray"},
      {"stray line in ours", ours("v=1\n"), kRefused, "line 7: a line that is no key"},
  };
  for (const Case& c : cases) {
    WriteWholeFile(user_reg(), c.text);
    const ino_t inode = Inode();
    const ProcessResult view = Run({"view", "default"});
    EXPECT_EQ(view.status, c.outcome == kRefused ? 1 : 0) << c.what << view.err;
    const ProcessResult create = Run({"create", "fast", "-cbr", "96"});
    const std::string after = ReadWholeFile(user_reg());
    if (c.outcome == kWritten) {
      EXPECT_EQ(create.status, 0) << c.what << ": " << create.err;
      EXPECT_EQ(ForeignLines(after), ForeignLines(c.text)) << c.what;
      EXPECT_EQ(RunProgram(DOVETUNE_BINARY, {"view", "fast"}, prefix_).status, 0) << c.what;
      continue;
    }
    EXPECT_EQ(create.status, 1) << c.what;
    EXPECT_NE(create.err.find(c.reason), std::string::npos) << c.what << ": " << create.err;
    EXPECT_EQ(after, c.text) << c.what;
    EXPECT_EQ(Inode(), inode) << c.what;
  }
}

TEST_F(WinePrefixFileTest, ALinkedFileIsReplacedWhereItLives) {
  const std::string elsewhere = folder_.File("elsewhere.reg");
  ASSERT_EQ(rename(user_reg().c_str(), elsewhere.c_str()), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), user_reg().c_str()), 0);
  ASSERT_EQ(Run({"create", "fast"}).status, 0);
  char target[4096] = {};
  ASSERT_GT(readlink(user_reg().c_str(), target, sizeof(target) - 1), 0);
  EXPECT_EQ(std::string(target), elsewhere);
  EXPECT_NE(ReadWholeFile(elsewhere).find("Presets\\\\fast]"), std::string::npos);

  // A second hard link would be split off by replacing the file: refused.
  const std::string second = folder_.File("second.reg");
  ASSERT_EQ(link(elsewhere.c_str(), second.c_str()), 0);
  const std::string before = ReadWholeFile(elsewhere);
  const ProcessResult run = Run({"create", "slow"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("hard links"), std::string::npos) << run.err;
  EXPECT_EQ(ReadWholeFile(second), before);
  EXPECT_EQ(Run({"view", "fast"}).status, 0);
}

// The run reads the file before it takes wineserver's lock and again under
// it; a file that changed in between (a server saving as it exits) is what
// the run uses and keeps.
TEST_F(WinePrefixFileTest, AFileChangedBeforeTheLockWasTakenIsReadAgain) {
  ASSERT_EQ(Run({"create", "fast"}).status, 0);
  const std::string saved = ReadWholeFile(user_reg()) +
                            "\n[Software\\\\Zz] 1796704220\n#time=1dd86ccd5625c7a\n\"z\"=\"1\"\n";
  ProcessOptions options;
  options.pause_at = "wine-locked";
  const pid_t run = SpawnStopped(DOVETUNE_PAUSABLE_BINARY, {"create", "second"}, prefix_, options);
  ASSERT_GT(run, 0);
  int status = 0;
  WriteWholeFile(user_reg(), saved);
  kill(run, SIGCONT);
  ASSERT_EQ(waitpid(run, &status, 0), run);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string written = ReadWholeFile(user_reg());
  EXPECT_NE(written.find("[Software\\\\Zz] 1796704220\n"), std::string::npos) << written;
  EXPECT_NE(written.find("Presets\\\\second]"), std::string::npos) << written;
}

// The folder name wineserver gives a prefix's server folder, from stat.
std::string ServerFolderName(const std::string& prefix) {
  struct stat info = {};
  stat(prefix.c_str(), &info);
  char name[64];
  std::snprintf(name, sizeof(name), "server-%llx-%llx",
                static_cast<unsigned long long>(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  return name;
}

// A server that starts while a run is under way, wherever its lock lives,
// is found before the file is replaced: the run fails, and leaves the file
// as it was and no new file beside it.
TEST_F(WinePrefixFileTest, AServerThatStartsDuringTheRunStopsIt) {
  const std::string tmpdir = folder_.File("tmp");
  ASSERT_EQ(mkdir(tmpdir.c_str(), 0700), 0);
  const std::string server_folder = tmpdir + "/wine-test/" + ServerFolderName(prefix_);
  enum class Lock { kFolderOnly, kDebianTemporary };
  for (const char* point : {"wine-locked", "file-written", "wine-before-write"}) {
    for (const Lock lock : {Lock::kFolderOnly, Lock::kDebianTemporary}) {
      SCOPED_TRACE(std::string(point) + (lock == Lock::kFolderOnly ? " folder" : " tmpdir"));
      unlink((prefix_ + "/wineserver").c_str());
      ProcessOptions options;
      options.pause_at = point;
      options.environment = {{"TMPDIR", tmpdir}};
      const pid_t run =
          SpawnStopped(DOVETUNE_PAUSABLE_BINARY, {"create", "second"}, prefix_, options);
      ASSERT_GT(run, 0);
      int status = 0;
      std::unique_ptr<FakeWineserver> server;
      if (lock == Lock::kFolderOnly) {
        server = std::make_unique<FakeWineserver>(prefix_);
      } else {
        // Debian's Wine names its folder in the prefix when it starts.
        ASSERT_EQ(system(("mkdir -p -m 700 " + tmpdir + "/wine-test " + server_folder).c_str()), 0);
        WriteWholeFile(prefix_ + "/wineserver", "wine-test");
        ASSERT_EQ(chmod((prefix_ + "/wineserver").c_str(), 0400), 0);
        server = std::make_unique<FakeWineserver>("", server_folder + "/lock");
      }
      ASSERT_GT(server->pid(), 0);
      kill(run, SIGCONT);
      ASSERT_EQ(waitpid(run, &status, 0), run);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
      EXPECT_EQ(ReadWholeFile(user_reg()), kSmallUserReg);
      EXPECT_TRUE(LeftBeside().empty());
    }
  }
}

// A file saved by Wine once the run has opened it (before it has indexed it,
// once the new file is written, or while the run holds the lock to put it
// in place), whether as a new file renamed into place or rewritten in place
// to the same size, stops the run: the file saved stays, and no new file
// beside it.
TEST_F(WinePrefixFileTest, AFileSavedDuringTheRunStopsIt) {
  std::string saved = kSmallUserReg;
  saved.replace(saved.find("\"x\""), 3, "\"y\"");
  for (const char* point : {"wine-opened", "file-written", "wine-before-write"})
    for (const bool in_place : {false, true}) {
      SCOPED_TRACE(std::string(point) + (in_place ? " in place" : " renamed"));
      WriteWholeFile(user_reg(), kSmallUserReg);
      ProcessOptions options;
      options.pause_at = point;
      const pid_t run =
          SpawnStopped(DOVETUNE_PAUSABLE_BINARY, {"create", "fast"}, prefix_, options);
      ASSERT_GT(run, 0);
      if (in_place) {
        FILE* file = fopen(user_reg().c_str(), "r+");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(fwrite(saved.data(), 1, saved.size(), file), saved.size());
        fclose(file);
      } else {
        WriteWholeFile(user_reg() + ".new", saved);
        ASSERT_EQ(rename((user_reg() + ".new").c_str(), user_reg().c_str()), 0);
      }
      kill(run, SIGCONT);
      int status = 0;
      ASSERT_EQ(waitpid(run, &status, 0), run);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
      EXPECT_EQ(ReadWholeFile(user_reg()), saved);
      EXPECT_TRUE(LeftBeside().empty());
    }
}

// A run that finds another dovetune run holding the lock says so, rather
// than naming it a wineserver.
TEST_F(WinePrefixFileTest, AnotherRunHoldingTheLockIsNamedAsSuch) {
  // While it reads the file, and while it works between the read and the write.
  for (const char* point : {"wine-locked", "before-commit"}) {
    ProcessOptions options;
    options.pause_at = point;
    const pid_t run = SpawnStopped(DOVETUNE_PAUSABLE_BINARY, {"create", "first"}, prefix_, options);
    ASSERT_GT(run, 0);
    int status = 0;
    WinePrefixStore store(prefix_);
    EXPECT_TRUE(store.Begin(0));
    EXPECT_EQ(store.AddChild(store.FindRoot("hkey_current_user"), "X", "x"), 0);
    EXPECT_EQ(store.failure_reason(), "another dovetune run (pid " + std::to_string(run) +
                                          ") is using this prefix; try again once it has finished")
        << point;
    kill(run, SIGKILL);
    waitpid(run, &status, 0);
  }
}

// wineserver's lock is held to open the file and to put the new one in
// place, not between: a server may take it while the run works or writes
// the new file (and then stops the run, as the test above shows); one that
// ran and saved meanwhile does too.
TEST_F(WinePrefixFileTest, TheLockIsHeldOnlyToOpenAndToPutTheNewFileInPlace) {
  std::vector<std::string> locks;
  std::string error;
  ASSERT_TRUE(WineserverLock::LockFiles(prefix_, &locks, &error)) << error;
  const std::string saved =
      std::string(kSmallUserReg) + "\n[Software\\\\Zz] 1796704220\n#time=1dd86ccd5625c7a\n";
  for (const char* point : {"before-commit", "file-written"})
    for (const bool server_saves : {false, true}) {
      SCOPED_TRACE(std::string(point) + (server_saves ? " saved" : ""));
      ProcessOptions options;
      options.pause_at = point;
      const pid_t run =
          SpawnStopped(DOVETUNE_PAUSABLE_BINARY, {"create", "second"}, prefix_, options);
      ASSERT_GT(run, 0);
      int status = 0;
      {
        FakeWineserver server("", locks.front());
        EXPECT_GT(server.pid(), 0) << "the lock was held while the run worked or wrote";
        if (server_saves) WriteWholeFile(user_reg(), saved);
      }
      kill(run, SIGCONT);
      ASSERT_EQ(waitpid(run, &status, 0), run);
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), server_saves ? 1 : 0);
      const std::string written = ReadWholeFile(user_reg());
      if (server_saves) {
        EXPECT_EQ(written, saved);
      } else {
        EXPECT_NE(written.find("Presets\\\\second]"), std::string::npos) << written;
        ASSERT_EQ(Run({"delete", "second"}).status, 0);
      }
      EXPECT_TRUE(LeftBeside().empty());
    }
}

// A view never writes: on a prefix without the presets tree it shows what
// start-up would make, while Wine runs (another process holds wineserver's
// lock), when the file has other hard links, and otherwise, and leaves the
// file as it was.
TEST_F(WinePrefixFileTest, AViewShowsTheDefaultsWithoutWriting) {
  const ProcessResult fresh = RunProgram(DOVETUNE_BINARY, {"view"}, folder_.File("fresh.db"));
  ASSERT_EQ(fresh.status, 0);
  std::vector<std::string> locks;
  std::string error;
  ASSERT_TRUE(WineserverLock::LockFiles(prefix_, &locks, &error)) << error;
  auto server = std::make_unique<FakeWineserver>("", locks.front());
  ASSERT_GT(server->pid(), 0);
  // In process, with a short wait for the server to let go in place of the
  // program's seconds.
  const ProcessResult view = RunInProcess(
      {"view"}, [this](std::string* error) { return OpenStoreAt(prefix_, error); }, prefix_,
      /*wait_ms=*/100);
  EXPECT_EQ(view.status, 0);
  EXPECT_EQ(view.out, fresh.out);
  EXPECT_EQ(view.err, "Note: Wine is running in this prefix (wineserver, pid " +
                          std::to_string(server->pid()) +
                          "), which saves its registry every 30 s: what is shown may be up to "
                          "30 s old\n");
  server.reset();
  ASSERT_EQ(link(user_reg().c_str(), folder_.File("second.reg").c_str()), 0);
  for (const char* state : {"hard-linked", "alone"}) {
    const ProcessResult run = Run({"view", "default"});
    EXPECT_EQ(run.status, 0) << state << run.err;
    EXPECT_EQ(run.err, "") << state;
    if (std::string(state) == "hard-linked") {
      ASSERT_EQ(unlink(folder_.File("second.reg").c_str()), 0);
    }
  }
  EXPECT_EQ(ReadWholeFile(user_reg()), kSmallUserReg);
}

}  // namespace

}  // namespace dovetune
