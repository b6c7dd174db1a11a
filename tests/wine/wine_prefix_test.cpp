// dovetune and dovetune-reg on a real Wine prefix, checked against Wine
// itself: what Wine writes comes back byte for byte, what we write Wine reads,
// and no run ever writes while a wineserver runs or leaves half a file.
//
// One prefix is made with `wineboot -i` for the whole program (that takes
// seconds) and each test works on a copy of it; each test stops the servers
// of its prefix with `wineserver -k`.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_store.h"
#include "tests/support/wine_reg_text.h"

namespace dovetune {

namespace {

const char kPresets[] = "HKCU\\Software\\Orvane\\Ostrel";

// The values a `reg query /s` listing shows, each after its key, without the
// blank lines and value-less keys in which Wine's reg and dovetune-reg differ.
std::string ValuesShown(const std::string& listing) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = listing.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = listing.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  std::string shown;
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool is_key = lines[i].compare(0, 4, "    ") != 0;
    const bool has_values = i + 1 < lines.size() && lines[i + 1].compare(0, 4, "    ") == 0;
    if (!is_key || has_values) shown += lines[i] + "\n";
  }
  return shown;
}

// The blocks of |text| for the keys under Software\Orvane.
std::string ToolBlocks(const std::string& text) {
  std::string blocks;
  for (size_t start = text.find("\n["); start != std::string::npos;) {
    const size_t end = text.find("\n[", start + 1);
    static const std::string kTool = "\n[Software\\\\Orvane";
    if (text.compare(start, kTool.size(), kTool) == 0) {
      blocks += text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    start = end;
  }
  return blocks;
}

// The blocks of |text| for every key but the tool's own (those under
// Software\Orvane\Ostrel), and the file's head.
std::string OtherBlocks(const std::string& text) {
  std::string blocks = text.substr(0, text.find("\n["));
  for (size_t start = text.find("\n["); start != std::string::npos;) {
    const size_t end = text.find("\n[", start + 1);
    static const std::string kTool = "\n[Software\\\\Orvane\\\\Ostrel";
    if (text.compare(start, kTool.size(), kTool) != 0) {
      blocks += text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    start = end;
  }
  return blocks;
}

// Keys as other programs leave them, for Wine's regedit to add: on both
// sides of the tool's keys in Wine's order and beside them, recent-file
// lists, paths, and binary data long enough to wrap.
std::string Growth() {
  std::string reg = "REGEDIT4\n\n";
  for (const char* program : {"Aardvark\\Recent", "Orvane\\Other", "Zebra\\Files"}) {
    reg += std::string("[HKEY_CURRENT_USER\\Software\\") + program + "]\n";
    for (int i = 0; i < 12; ++i) {
      reg += "\"MRU" + std::to_string(i) + "\"=\"C:\\\\users\\\\me\\\\file " + std::to_string(i) +
             ".txt\"\n";
    }
    reg += "\"Blob\"=hex:";
    for (int i = 0; i < 300; ++i) reg += (i ? "," : "") + std::to_string(10 + i % 80);
    reg += "\n\"Flags\"=dword:0000002a\n\n";
  }
  return reg;
}

class WinePrefixTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fresh_folder_ = new TempFolder;
    const std::string prefix = fresh_folder_->File("fresh");
    ProcessResult boot = RunIn(prefix, DOVETUNE_WINE_LOADER, {"wineboot", "-i"});
    RunIn(prefix, DOVETUNE_WINESERVER, {"-w"});
    fresh_ok_ = boot.status == 0 && access((prefix + "/user.reg").c_str(), F_OK) == 0;
  }
  static void TearDownTestSuite() {
    delete fresh_folder_;
    fresh_folder_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(fresh_ok_) << "wineboot -i made no prefix";
    prefix_ = folder_.File("prefix");
    ASSERT_EQ(
        std::system(("cp -a '" + fresh_folder_->File("fresh") + "' '" + prefix_ + "'").c_str()), 0);
  }
  void TearDown() override { Server({"-k"}); }

  // Runs |program| with WINEPREFIX set to |prefix| and Wine's own debug
  // output off.
  static ProcessResult RunIn(const std::string& prefix, const std::string& program,
                             const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"WINEPREFIX=" + prefix, "WINEDEBUG=-all", program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunProgram("/usr/bin/env", command, prefix);
  }
  ProcessResult Wine(const std::vector<std::string>& arguments) {
    return RunIn(prefix_, DOVETUNE_WINE_LOADER, arguments);
  }
  ProcessResult Server(const std::vector<std::string>& arguments) {
    return RunIn(prefix_, DOVETUNE_WINESERVER, arguments);
  }
  ProcessResult Dovetune(const std::vector<std::string>& arguments) {
    return RunProgram(DOVETUNE_BINARY, arguments, prefix_);
  }
  ProcessResult Reg(const std::vector<std::string>& arguments) {
    return RunProgram(DOVETUNE_REG_BINARY, arguments, prefix_);
  }
  // What Wine's own reg tool shows under |key| (see ValuesShown).
  std::string WineQuery(const std::string& key) {
    const std::string shown = ValuesShown(Wine({"reg", "query", key, "/s"}).out);
    Server({"-w"});
    return shown;
  }
  // Adds Growth() to the prefix through Wine's own regedit.
  void Grow() {
    const std::string reg = folder_.File("growth.reg");
    WriteWholeFile(reg, Growth());
    ASSERT_EQ(Wine({"regedit", "/S", reg}).status, 0);
    ASSERT_EQ(Server({"-w"}).status, 0);
    ASSERT_NE(File("user.reg").find("[Software\\\\Zebra\\\\Files]"), std::string::npos);
  }
  std::string File(const std::string& name) const { return ReadWholeFile(prefix_ + "/" + name); }
  ino_t Inode(const std::string& name) const {
    struct stat info = {};
    stat((prefix_ + "/" + name).c_str(), &info);
    return info.st_ino;
  }

  // Starts dovetune, which stops itself at |point|; returns its pid once it
  // has stopped there.
  pid_t StartStoppedAt(const char* point, const std::vector<std::string>& arguments) {
    // The run gets the default actions whatever this process inherited (a
    // shell's background job ignores SIGINT, and so would its children).
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    setenv("DOVETUNE_PAUSE_AT", point, 1);
    const pid_t child = SpawnProgram(DOVETUNE_PAUSABLE_BINARY, arguments, prefix_, -1, -1);
    unsetenv("DOVETUNE_PAUSE_AT");
    int status = 0;
    if (child <= 0 || waitpid(child, &status, WUNTRACED) != child || !WIFSTOPPED(status)) return -1;
    return child;
  }
  static int Finish(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return status;
  }

  static TempFolder* fresh_folder_;
  static bool fresh_ok_;
  TempFolder folder_;
  std::string prefix_;
};

TempFolder* WinePrefixTest::fresh_folder_ = nullptr;
bool WinePrefixTest::fresh_ok_ = false;

bool ComesBackByteForByte(const std::string& text) {
  WineRegFile file;
  std::string error;
  return ParseWineReg(text, &file, &error) && FormatWineReg(file) == text;
}

TEST_F(WinePrefixTest, WhatWineWritesComesBackByteForByte) {
  for (const char* name : {"user.reg", "system.reg", "userdef.reg"}) {
    EXPECT_TRUE(ComesBackByteForByte(File(name))) << name;
  }
#ifdef DOVETUNE_WINE_PROBE
  // Every value type and awkward names, stored by Wine itself.
  ASSERT_EQ(Wine({DOVETUNE_WINE_PROBE}).status, 0);
  ASSERT_EQ(Server({"-w"}).status, 0);
  const std::string user = File("user.reg");
  ASSERT_NE(user.find("[Software\\\\Probe\\\\Awk\\[w\\]ard \\xe9\\1]"), std::string::npos);
  ASSERT_NE(user.find("#link\n"), std::string::npos);
  EXPECT_TRUE(ComesBackByteForByte(user));
  // And a run that changes nothing there leaves the file alone.
  const ino_t inode = Inode("user.reg");
  ASSERT_EQ(Dovetune({"use", "default"}).status, 0);
  const std::string initialised = File("user.reg");
  EXPECT_NE(initialised, user);
  ASSERT_EQ(Reg({"query", "HKCU\\Software\\Probe", "/s"}).status, 0);
  EXPECT_EQ(File("user.reg"), initialised);
  EXPECT_NE(Inode("user.reg"), inode);
#else
  GTEST_SKIP() << "no mingw-w64 compiler to build the probe with";
#endif
}

TEST_F(WinePrefixTest, WineSeesExactlyWhatTheCommandsWrote) {
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"create", "fast", "-cbr", "128"},
        {"create", "slow", "-vbr", "3", "-downmix"},
        {"edit", "fast", "-optimize", "2"},
        {"use", "slow", "-cbr", "64"},
        {"create", "gone"},
        {"delete", "gone"}}) {
    ASSERT_EQ(Dovetune(command).status, 0) << command[0];
  }
  const ProcessResult ours = Reg({"query", kPresets, "/s"});
  ASSERT_EQ(ours.status, 0) << ours.err;
  const std::string mine = File("user.reg");
  EXPECT_EQ(WineQuery(kPresets), ValuesShown(ours.out));
  EXPECT_NE(ours.out.find("DefBitRate    REG_DWORD    0x40"), std::string::npos);

  // Wine's next save of the file differs from ours only where Wine itself
  // changed something: never in the tool's keys.
  const std::string saved = File("user.reg");
  ASSERT_NE(saved, mine);
  ASSERT_NE(ToolBlocks(mine), "");
  EXPECT_EQ(ToolBlocks(saved), ToolBlocks(mine));
}

// On a prefix that other programs have grown, each command changes the tool's
// keys' blocks alone; Wine reads what they wrote, and its own next save keeps
// those blocks as they are.
TEST_F(WinePrefixTest, OnAGrownPrefixOnlyTheToolsBlocksChange) {
  Grow();
  const std::string grown = File("user.reg");
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"create", "fast", "-cbr", "128"},
        {"create_from_current", "mine", "-downmix"},
        {"edit", "fast", "-cbr", "96"},
        {"use", "fast"},
        {"view"},
        {"view", "fast"},
        {"delete", "mine"}}) {
    const std::string before = File("user.reg");
    const ProcessResult run = Dovetune(command);
    ASSERT_EQ(run.status, 0) << command[0] << run.err;
    EXPECT_EQ(OtherBlocks(File("user.reg")), OtherBlocks(before)) << command[0];
  }
  EXPECT_EQ(OtherBlocks(File("user.reg")), OtherBlocks(grown));
  const std::string mine = File("user.reg");
  const ProcessResult ours = Reg({"query", kPresets, "/s"});
  ASSERT_EQ(ours.status, 0) << ours.err;
  EXPECT_NE(ours.out.find("DefBitRate    REG_DWORD    0x60"), std::string::npos) << ours.out;
  EXPECT_EQ(WineQuery(kPresets), ValuesShown(ours.out));
  EXPECT_NE(WineQuery("HKCU\\Software\\Zebra").find("Flags    REG_DWORD    0x2a"),
            std::string::npos);
  const std::string saved = File("user.reg");
  ASSERT_NE(ToolBlocks(mine), "");
  EXPECT_EQ(ToolBlocks(saved), ToolBlocks(mine));
}

// A file in a form Wine reads but does not write (CRLF line ends, a comment,
// an indented key) is changed in the tool's keys alone, and Wine reads both
// those and the rest.
TEST_F(WinePrefixTest, OnAFileInAnotherFormWineReadsWhatTheCommandsWrote) {
  std::string other;
  for (char c : File("user.reg")) other += c == '\n' ? std::string("\r\n") : std::string(1, c);
  other += "; a note\r\n  [Zz] 1\r\n  \"v\"=dword:00000007\r\n";
  WriteWholeFile(prefix_ + "/user.reg", other);
  const ProcessResult run = Dovetune({"create", "fast", "-cbr", "128"});
  ASSERT_EQ(run.status, 0) << run.err;
  // Our blocks come with the blank line Wine writes before each.
  const auto lines = [](const std::string& text) {
    std::string kept;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      if (end > start && text.compare(start, end - start, "\r") != 0) {
        kept += text.substr(start, end + 1 - start);
      }
    }
    return kept;
  };
  EXPECT_EQ(lines(OtherBlocks(File("user.reg"))), lines(OtherBlocks(other)));
  EXPECT_NE(
      WineQuery(std::string(kPresets) + "\\Presets\\fast").find("DefBitRate    REG_DWORD    0x80"),
      std::string::npos);
  EXPECT_NE(WineQuery("HKCU\\Zz").find("v    REG_DWORD    0x7"), std::string::npos);
}

TEST_F(WinePrefixTest, NoChangeWhileWineRuns) {
  ASSERT_EQ(Dovetune({"create", "fast", "-cbr", "128"}).status, 0);
  // A server that stays until killed; it goes into the background once it
  // holds the lock.
  const pid_t starter = SpawnProgram(
      "/usr/bin/env", {"WINEPREFIX=" + prefix_, DOVETUNE_WINESERVER, "-p"}, prefix_, -1, -1);
  ASSERT_EQ(Finish(starter), 0);
  const std::string before = File("user.reg");
  const ino_t inode = Inode("user.reg");
  for (const std::vector<std::string>& command : {std::vector<std::string>{"create", "other"},
                                                  {"edit", "fast", "-cbr", "64"},
                                                  {"use", "fast"},
                                                  {"delete", "fast"}}) {
    const ProcessResult run = Dovetune(command);
    EXPECT_EQ(run.status, 1) << command[0];
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Fatal Error: " + prefix_ +
                           ": Wine is running in this prefix (wineserver, pid "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("close its programs or wait with 'wineserver -w', then try again"),
              std::string::npos);
  }
  // Reading goes on, saying that it may be behind the server.
  const ProcessResult view = Dovetune({"view", "fast"});
  EXPECT_EQ(view.status, 0);
  EXPECT_NE(view.err.find("may be up to 30 s old"), std::string::npos) << view.err;
  EXPECT_EQ(File("user.reg"), before);
  EXPECT_EQ(Inode("user.reg"), inode);
  // dovetune-reg goes through Wine's own reg instead.
  const ProcessResult reg = Reg({"add", "HKCU\\Software\\X", "/v", "v", "/d", "1", "/f"});
  EXPECT_EQ(reg.status, 0) << reg.err;
  EXPECT_NE(Wine({"reg", "query", "HKCU\\Software\\X", "/v", "v"}).out.find("REG_SZ    1"),
            std::string::npos);
}

TEST_F(WinePrefixTest, WineStartedDuringARunWaitsForItAndSeesItsChanges) {
  ASSERT_EQ(Dovetune({"view"}).status, 0);
  const pid_t run = StartStoppedAt("wine-before-write", {"create", "held", "-cbr", "192"});
  ASSERT_GT(run, 0);
  const pid_t waiter = SpawnProgram(
      "/usr/bin/env", {"WINEPREFIX=" + prefix_, DOVETUNE_WINESERVER, "-w"}, prefix_, -1, -1);
  int out = -1, err = -1;
  const pid_t wine =
      SpawnCapturing("/usr/bin/env",
                     {"WINEPREFIX=" + prefix_, "WINEDEBUG=-all", DOVETUNE_WINE_LOADER, "reg",
                      "query", std::string(kPresets) + "\\Presets\\held", "/v", "DefBitRate"},
                     prefix_, &out, &err);
  // Neither can be done while the run holds the lock.
  int status = 0;
  EXPECT_EQ(waitpid(waiter, &status, WNOHANG), 0);
  EXPECT_EQ(waitpid(wine, &status, WNOHANG), 0);
  kill(run, SIGCONT);
  EXPECT_EQ(Finish(run), 0);
  EXPECT_EQ(Finish(waiter), 0);
  std::string shown;
  char buffer[4096];
  ssize_t size;
  while ((size = read(out, buffer, sizeof(buffer))) > 0) shown.append(buffer, size);
  close(out);
  while ((size = read(err, buffer, sizeof(buffer))) > 0) shown.append(buffer, size);
  close(err);
  EXPECT_EQ(Finish(wine), 0);
  EXPECT_NE(shown.find("DefBitRate    REG_DWORD    0xc0"), std::string::npos) << shown;
}

TEST_F(WinePrefixTest, KilledRunsLeaveTheOldFileOrTheNewOne) {
  Grow();
  ASSERT_EQ(Dovetune({"use", "default"}).status, 0);
  const std::string old_file = File("user.reg");
  struct Case {
    const char* point;
    int signal;
    bool kept;
  };
  for (const Case& c :
       {Case{"wine-locked", SIGKILL, false}, Case{"file-written", SIGKILL, false},
        Case{"wine-before-write", SIGKILL, false}, Case{"wine-written", SIGKILL, true},
        Case{"wine-before-write", SIGINT, true}, Case{"wine-before-write", SIGTERM, true}}) {
    const pid_t run = StartStoppedAt(c.point, {"create", "k", "-cbr", "96"});
    ASSERT_GT(run, 0);
    kill(run, c.signal);
    kill(run, SIGCONT);
    const int status = Finish(run);
    EXPECT_TRUE(WIFSIGNALED(status)) << c.point;
    const std::string after = File("user.reg");
    EXPECT_EQ(after != old_file, c.kept) << c.point << " " << c.signal;
    EXPECT_TRUE(ComesBackByteForByte(after)) << c.point;
    if (c.kept) {
      ASSERT_EQ(Dovetune({"delete", "k"}).status, 0);
    }
    EXPECT_EQ(File("user.reg"), old_file) << c.point;
  }
  // Wine loads what is left, and a later run clears what killed runs left.
  ASSERT_EQ(Dovetune({"create", "k"}).status, 0);
  EXPECT_NE(WineQuery(std::string(kPresets) + "\\Presets\\k").find("DefBitRate"),
            std::string::npos);
  const ProcessResult listing = RunProgram("/bin/ls", {"-a", prefix_}, prefix_);
  EXPECT_EQ(listing.out.find("dovetune-temp"), std::string::npos) << listing.out;
}

}  // namespace

}  // namespace dovetune
