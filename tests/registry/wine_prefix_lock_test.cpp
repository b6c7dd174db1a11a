// The prefix store keeps its changes from a running wineserver: whichever
// path names the file, and however the server's lock is placed, a change
// while a server runs fails and the file stays as it was.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "registry/registry_session.h"
#include "registry/stores/wine_prefix_store.h"
#include "registry/stores/wineserver_lock.h"
#include "tests/support/fake_wineserver.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

class WinePrefixLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = folder_.File("prefix");
    ASSERT_EQ(mkdir(prefix_.c_str(), 0700), 0);
    WriteWholeFile(user_reg(), kSmallUserReg);
  }
  std::string user_reg() const { return prefix_ + "/user.reg"; }

  // Adds a key through a store on |path| and keeps it; the store's failure.
  static StoreFailure Change(const std::string& path, std::string* reason = nullptr) {
    WinePrefixStore store(path);
    if (store.Begin(0)) {
      const KeyId root = store.FindRoot("hkey_current_user");
      if (store.AddChild(root, "Added", "added") != 0) store.Commit();
    }
    if (reason) *reason = store.failure_reason();
    return store.failure();
  }

  TempFolder folder_;
  std::string prefix_;
};

// Whatever names the file, the server of the folder it lives in is found.
TEST_F(WinePrefixLockTest, AServerOfTheFilesOwnFolderIsFoundThroughAnyLink) {
  const std::string other = folder_.File("other");
  ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
  ASSERT_EQ(symlink(user_reg().c_str(), (other + "/user.reg").c_str()), 0);
  FakeWineserver server(prefix_);
  ASSERT_GT(server.pid(), 0);
  for (const std::string& path : {prefix_, user_reg(), other + "/user.reg", other}) {
    EXPECT_EQ(Change(path), StoreFailure::kBusy) << path;
    EXPECT_EQ(ReadWholeFile(user_reg()), kSmallUserReg) << path;
  }
}

// A lock held where upstream's wineserver keeps it, named here from stat
// rather than by the store's own list, stops a change but not a read.
TEST_F(WinePrefixLockTest, ALockHeldInTheTmpFolderOfUpstreamsServerStopsAChangeOnly) {
  struct stat info;
  ASSERT_EQ(stat(prefix_.c_str(), &info), 0);
  const std::string folder = "/tmp/.wine-" + std::to_string(getuid());
  char server[64];
  std::snprintf(server, sizeof(server), "/server-%llx-%llx",
                static_cast<unsigned long long>(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  ASSERT_TRUE(mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST);
  ASSERT_EQ(mkdir((folder + server).c_str(), 0700), 0);
  FakeWineserver holder("", folder + server + "/lock");
  ASSERT_GT(holder.pid(), 0);
  EXPECT_EQ(Change(prefix_), StoreFailure::kBusy);
  EXPECT_EQ(ReadWholeFile(user_reg()), kSmallUserReg);
  WinePrefixStore reader(prefix_);
  reader.SetReadOnlyRun();
  EXPECT_TRUE(reader.Begin(0)) << reader.failure_reason();
  EXPECT_EQ(reader.running_server(), holder.pid());
}

// The walk over every process finds the server that holds one of the
// folders asked about open, however the folder is named, and no other.
TEST_F(WinePrefixLockTest, TheServerHoldingAFolderIsFoundByTheFolderItself) {
  const std::string other = folder_.File("other");
  const std::string link = folder_.File("link");
  ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
  ASSERT_EQ(symlink(prefix_.c_str(), link.c_str()), 0);
  struct Case {
    std::string held;
    std::vector<std::string> asked;
    bool found;
  };
  const Case cases[] = {
      {prefix_, {prefix_}, true},
      {prefix_, {link}, true},
      {prefix_, {other, prefix_ + "/"}, true},
      {other, {prefix_}, false},
      {prefix_, {other}, false},
      {prefix_, {folder_.File("")}, false},  // the folder above it
      {prefix_, {folder_.File("missing")}, false},
  };
  for (const Case& c : cases) {
    FakeWineserver server(c.held);
    ASSERT_GT(server.pid(), 0);
    EXPECT_EQ(FindServerHoldingFolder(c.asked), c.found ? server.pid() : 0)
        << c.held << " asked " << c.asked.front();
  }
}

// A store told that no server was seen just before it was made takes the
// look as done when it begins; a run that changes the prefix still looks
// before it writes, and keeps nothing from a server that runs.
TEST_F(WinePrefixLockTest, ALookDoneBeforeTheStoreServesItsBeginButNotItsCommit) {
  FakeWineserver server(prefix_);
  ASSERT_GT(server.pid(), 0);
  const struct {
    bool no_server_seen;
    bool change;
    bool found_at_begin;
    StoreFailure failure;
  } cases[] = {{false, false, true, StoreFailure::kNone},
               {true, false, false, StoreFailure::kNone},
               {false, true, true, StoreFailure::kBusy},
               {true, true, false, StoreFailure::kBusy}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.no_server_seen) + " " + std::to_string(c.change));
    WinePrefixStore store(prefix_, c.no_server_seen);
    ASSERT_TRUE(store.Begin(0)) << store.failure_reason();
    EXPECT_EQ(store.running_server(), c.found_at_begin ? server.pid() : 0);
    if (c.change) {
      // Refused at once where the server was found, else at the commit.
      const KeyId added = store.AddChild(store.FindRoot("hkey_current_user"), "Added", "added");
      EXPECT_EQ(added != 0, !c.found_at_begin);
      store.Commit();
    }
    EXPECT_EQ(store.failure(), c.failure) << store.failure_reason();
    EXPECT_EQ(ReadWholeFile(user_reg()), kSmallUserReg);
  }
}

// A path that belongs to a prefix but names no file Wine wrote is refused,
// never made a SQLite store that Wine would then take for a broken file.
TEST_F(WinePrefixLockTest, PathsOfAPrefixAreNeverMadeAnotherStore) {
  const std::string bare = folder_.File("bare");
  ASSERT_EQ(mkdir(bare.c_str(), 0700), 0);
  WriteWholeFile(prefix_ + "/system.reg", "WINE REGISTRY Version 2\n");
  ASSERT_EQ(unlink(user_reg().c_str()), 0);
  for (const std::string& path :
       {user_reg(), prefix_ + "/registry.db", prefix_, bare + "/user.reg", bare + "/userdef.reg"}) {
    std::string error;
    EXPECT_EQ(OpenStoreAt(path, &error), nullptr) << path;
    EXPECT_NE(error.find("belongs to a Wine prefix"), std::string::npos) << path << ": " << error;
  }
  EXPECT_EQ(FolderEntries(bare), std::vector<std::string>{});
  EXPECT_EQ(FolderEntries(prefix_), std::vector<std::string>{"system.reg"});
  std::string error;
  bool created = false;
  EXPECT_NE(OpenStoreAt(bare + "/registry.db", &error, {}, &created), nullptr) << error;
  EXPECT_TRUE(created);
}

// Only a file that names a user's branch is taken for HKEY_CURRENT_USER.
TEST_F(WinePrefixLockTest, OnlyAUsersBranchIsTakenForTheCurrentUser) {
  const std::string body = "\n#arch=win64\n\n[Software] 1796704220\n#time=1dd86ccd5625c7a\n";
  struct Case {
    const char* file;
    const char* branch;  // the second line
    bool used;
  };
  const Case cases[] = {
      {"system.reg", ";; All keys relative to REGISTRY\\\\Machine", false},
      {"userdef.reg", ";; All keys relative to REGISTRY\\\\User\\\\.Default", false},
      {"other.reg", ";; nothing", false},
      {"user.reg", ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", true},
  };
  for (const Case& c : cases) {
    const std::string path = prefix_ + "/" + c.file;
    const std::string text = std::string("WINE REGISTRY Version 2\n") + c.branch + "\n" + body;
    WriteWholeFile(path, text);
    std::string reason;
    EXPECT_EQ(Change(path, &reason), c.used ? StoreFailure::kNone : StoreFailure::kDamaged)
        << c.file;
    EXPECT_EQ(ReadWholeFile(path) == text, !c.used) << c.file;
    if (!c.used) {
      EXPECT_NE(reason.find("not a user's registry"), std::string::npos) << reason;
    }
  }
}

// A user.reg that is not a regular file, or is larger than any registry file,
// is refused at once, before any read that could wait or never end.
TEST_F(WinePrefixLockTest, SpecialAndHugeFilesAreRefusedWithoutReading) {
  const std::string big = folder_.File("big.reg");
  WriteWholeFile(big, kSmallUserReg);
  ASSERT_EQ(truncate(big.c_str(), WinePrefixStore::kMaxFileBytes + 1), 0);
  const std::string fifo = folder_.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string target;
    const char* reason;
  };
  for (const Case& c : {Case{fifo, "not a regular file"}, Case{"/dev/zero", "not a regular file"},
                        Case{big, "larger than 256 MB"}}) {
    ASSERT_EQ(unlink(user_reg().c_str()), 0);
    ASSERT_EQ(symlink(c.target.c_str(), user_reg().c_str()), 0);
    std::string reason;
    EXPECT_EQ(Change(prefix_, &reason), StoreFailure::kIo) << c.target;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    // Its header alone tells a named file for a prefix's, never waiting.
    EXPECT_EQ(WinePrefixStore::IsWinePrefix(user_reg()), c.target == big) << c.target;
  }
}

}  // namespace

}  // namespace dovetune
