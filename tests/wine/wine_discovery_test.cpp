// The registry a run finds as Wine finds its prefix, with real Wine: a
// WINEPREFIX or ~/.wine in a home of the test's own, the refusals of a
// WINEPREFIX that names no prefix, and the notice of presets left in
// dovetune's own store, followed as it says.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

const char kPresetKey[] = "HKCU\\Software\\Orvane\\Ostrel\\Presets\\";

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class WineDiscoveryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fresh_folder_ = new TempFolder;
    const std::string prefix = fresh_folder_->File("fresh");
    const ProcessResult boot = Wine(prefix, {"wineboot", "-i"});
    Wine(prefix, {"wineserver", "-w"});
    fresh_ok_ = boot.status == 0 && access((prefix + "/user.reg").c_str(), F_OK) == 0;
  }
  static void TearDownTestSuite() {
    delete fresh_folder_;
    fresh_folder_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(fresh_ok_) << "wineboot -i made no prefix";
    for (const char* name : {"home", "tmp", "start", "empty"}) {
      ASSERT_EQ(mkdir(folder_.File(name).c_str(), 0700), 0) << name;
    }
    home_ = folder_.File("home");
    own_store_ = home_ + "/.config/dovetune/registry.db";
  }
  void TearDown() override {
    for (const std::string& prefix : prefixes_) Wine(prefix, {"wineserver", "-k"});
  }

  // A copy of the fresh prefix at |path|.
  void CopyPrefix(const std::string& path) {
    const std::string copy = "cp -a '" + fresh_folder_->File("fresh") + "' '" + path + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    prefixes_.push_back(path);
  }

  // Runs a program of Wine's (wine's own command line) in |prefix|.
  static ProcessResult Wine(const std::string& prefix, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"WINEPREFIX=" + prefix, "WINEDEBUG=-all"};
    command.push_back(arguments[0] == "wineserver" ? DOVETUNE_WINESERVER : DOVETUNE_WINE_LOADER);
    command.insert(command.end(), arguments.begin() + (arguments[0] == "wineserver"),
                   arguments.end());
    return RunProgram("/usr/bin/env", command, prefix);
  }
  // Whether Wine's own reg tool finds the preset |name| in |prefix|.
  bool WineHasPreset(const std::string& prefix, const std::string& name) {
    const ProcessResult query = Wine(prefix, {"reg", "query", kPresetKey + name});
    Wine(prefix, {"wineserver", "-w"});
    return query.status == 0 && query.out.find("DefBitRate") != std::string::npos;
  }

  // Runs |program| as a user would, in the folder |start|, with the
  // registry left to the environment: HOME, TMPDIR and PATH of the test's
  // own, DOVETUNE_REGISTRY and XDG_CONFIG_HOME unset, and WINEPREFIX set to
  // |prefix| or unset when it is null.
  ProcessResult RunFound(const char* prefix, const std::string& program,
                         const std::vector<std::string>& arguments, const std::string& start) {
    std::vector<std::string> command = {"-u",
                                        "DOVETUNE_REGISTRY",
                                        "-u",
                                        "XDG_CONFIG_HOME",
                                        "-u",
                                        "WINEPREFIX",
                                        "HOME=" + home_,
                                        "TMPDIR=" + folder_.File("tmp"),
                                        "PATH=" + FolderOf(DOVETUNE_REG_BINARY) + ":/usr/bin:/bin",
                                        "WINEDEBUG=-all"};
    if (prefix) command.push_back(std::string("WINEPREFIX=") + prefix);
    command.insert(command.end(), {"sh", "-c", "cd \"$0\" && exec \"$@\"", start, program});
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunProgram("/usr/bin/env", command, "");
  }
  ProcessResult Dovetune(const char* prefix, const std::vector<std::string>& arguments) {
    return RunFound(prefix, DOVETUNE_BINARY, arguments, folder_.File("start"));
  }

  static TempFolder* fresh_folder_;
  static bool fresh_ok_;
  TempFolder folder_;
  std::string home_;
  std::string own_store_;
  std::vector<std::string> prefixes_;
};

TempFolder* WineDiscoveryTest::fresh_folder_ = nullptr;
bool WineDiscoveryTest::fresh_ok_ = false;

// Each run's change lands in the prefix its environment names, where Wine
// reads it, and both tools' --help say which one and what chose it. A
// WINEPREFIX that names no prefix stops both tools' runs with the reason, and
// nothing is made for it, there or in dovetune's own store.
TEST_F(WineDiscoveryTest, ARunFindsThePrefixAsWineDoes) {
  const std::string named = folder_.File("named");
  CopyPrefix(named);
  CopyPrefix(home_ + "/.wine");
  CopyPrefix(folder_.File("start/relative"));
  const std::string relative_before = ReadWholeFile(folder_.File("start/relative/user.reg"));
  const std::string empty = folder_.File("empty");
  const struct {
    const char* title;
    const char* prefix;  // WINEPREFIX, or null for unset
    const char* preset;  // the preset the run creates
    std::string found;   // the prefix, or empty when the run is refused
    std::string chosen;  // what --help says after "Registry: "
  } cases[] = {
      {"WINEPREFIX", named.c_str(), "named", named, named + " (the Wine prefix WINEPREFIX names)"},
      {"~/.wine", nullptr, "default_prefix", home_ + "/.wine",
       home_ + "/.wine (Wine's default prefix, ~/.wine)"},
      {"a relative WINEPREFIX", "relative", "relative", "",
       "WINEPREFIX=relative is not an absolute path, as Wine needs it to be: set it to the "
       "prefix's full path"},
      {"a WINEPREFIX without user.reg", empty.c_str(), "empty", "",
       "WINEPREFIX names no Wine prefix: " + empty +
           " holds no user.reg; make the prefix with \"WINEPREFIX=" + empty +
           " wineboot\", or set DOVETUNE_REGISTRY to the registry you mean"},
  };
  const std::string start = folder_.File("start");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    const bool found = !c.found.empty();
    const ProcessResult run = Dovetune(c.prefix, {"create", c.preset});
    EXPECT_EQ(run.status, found ? 0 : 1);
    EXPECT_EQ(run.err, found ? "" : "Fatal Error: " + c.chosen + "\n");
    if (found) {
      EXPECT_TRUE(WineHasPreset(c.found, c.preset));
    } else {
      EXPECT_EQ(run.out, "");
      const ProcessResult query = RunFound(c.prefix, DOVETUNE_REG_BINARY, {"query", "HKCU"}, start);
      EXPECT_EQ(query.status, 1);
      EXPECT_EQ(query.err, "ERROR: " + c.chosen + "\n");
    }
    const std::string line = "Registry: " + std::string(found ? "" : "none: ") + c.chosen + "\n";
    for (const char* program : {DOVETUNE_BINARY, DOVETUNE_REG_BINARY}) {
      const ProcessResult help = RunFound(c.prefix, program, {"--help"}, start);
      EXPECT_EQ(help.status, 0) << program;
      ASSERT_GE(help.out.size(), line.size()) << program;
      EXPECT_EQ(help.out.substr(help.out.size() - line.size()), line) << program;
    }
  }
  EXPECT_FALSE(WineHasPreset(named, "default_prefix"));
  EXPECT_EQ(ReadWholeFile(folder_.File("start/relative/user.reg")), relative_before);
  EXPECT_EQ(FolderEntries(empty), std::vector<std::string>{});
  EXPECT_NE(access(own_store_.c_str(), F_OK), 0) << "the own store was made";
}

// Presets made in dovetune's own store before are told of once per run,
// with commands that, followed as given, bring them to the prefix; once the
// old store is gone the notice is too. Standard output is never touched.
TEST_F(WineDiscoveryTest, PresetsInTheOwnStoreAreToldOfAndMoveAsTheNoticeSays) {
  const std::string prefix = folder_.File("prefix");
  CopyPrefix(prefix);
  ASSERT_EQ(RunProgram(DOVETUNE_BINARY, {"create", "mine", "-downmix"}, own_store_).status, 0);
  ASSERT_EQ(Dovetune(prefix.c_str(), {"create", "theirs"}).status, 0);
  const ProcessResult told = Dovetune(prefix.c_str(), {"view"});
  ASSERT_EQ(told.status, 0);
  EXPECT_EQ(told.out, RunProgram(DOVETUNE_BINARY, {"view"}, prefix).out);
  EXPECT_EQ(Count(told.err, "dovetune: dovetune's own store " + own_store_ + " holds 1 preset"), 1u)
      << told.err;

  // The notice's own command lines, run as a user would type them.
  const size_t first = told.err.find("\n  ") + 3;
  const size_t end = told.err.find("\nthen remove");
  ASSERT_LT(first, end) << told.err;
  const std::string commands = told.err.substr(first, end - first);
  const ProcessResult moved = RunFound(prefix.c_str(), "sh", {"-c", commands}, folder_.File("tmp"));
  ASSERT_EQ(moved.status, 0) << commands << "\n" << moved.err;
  EXPECT_TRUE(WineHasPreset(prefix, "mine"));
  EXPECT_TRUE(WineHasPreset(prefix, "theirs"));
  // The same settings, in the order the import wrote them.
  const std::string summary = "mine - bitrate: vbr streaming, downmix\n";
  EXPECT_EQ(Dovetune(prefix.c_str(), {"view", "mine"}).out.substr(0, summary.size()), summary);

  ASSERT_EQ(unlink(own_store_.c_str()), 0);
  const ProcessResult quiet = Dovetune(prefix.c_str(), {"view"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_NE(access(own_store_.c_str(), F_OK), 0) << "the own store was made again";
}

}  // namespace

}  // namespace dovetune
