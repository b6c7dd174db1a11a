// The test programs run with Wine's folders of their own: the places where
// Wine and dovetune keep wineserver's locks are fresh mounts, not the
// machine's folders under /tmp and /run/user.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace dovetune {

namespace {

dev_t DeviceOf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

TEST(OwnWineFoldersTest, WinesFoldersAreMountsOfTheTestsOwn) {
  const std::string uid = std::to_string(getuid());
  const std::string tmp_wine = "/tmp/.wine-" + uid;
  const char* ci = std::getenv("CI");
  if (DeviceOf(tmp_wine) == DeviceOf("/tmp") && !(ci && *ci)) {
    GTEST_SKIP() << "this system gives the tests no private mount namespace";
  }
  EXPECT_NE(DeviceOf(tmp_wine), DeviceOf("/tmp")) << tmp_wine;
  const std::string run_user = "/run/user/" + uid;
  if (DeviceOf(run_user) != 0) {
    EXPECT_NE(DeviceOf(run_user + "/wine"), DeviceOf(run_user)) << run_user << "/wine";
  }
}

}  // namespace

}  // namespace dovetune
