// The prefix store keeps its changes from a running wineserver: whichever
// path names the file, and however the server's lock is placed, a change
// while a server runs fails and the file stays as it was.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "registry/stores/wine_prefix_store.h"
#include "tests/support/fake_wineserver.h"
#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

const char kUserReg[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n#arch=win64\n"
    "\n[Software\\\\Wine] 1796704220\n#time=1dd86ccd5625c7a\n\"v\"=\"x\"\n";

class WinePrefixLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = folder_.File("prefix");
    ASSERT_EQ(mkdir(prefix_.c_str(), 0700), 0);
    WriteWholeFile(user_reg(), kUserReg);
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
    EXPECT_EQ(ReadWholeFile(user_reg()), kUserReg) << path;
  }
}

}  // namespace

}  // namespace dovetune
