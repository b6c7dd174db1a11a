// Syncing as on macOS, run here: this program's copy of base/sync_to_disk.cpp
// is built with __APPLE__ defined and Apple's value of F_FULLFSYNC, a command
// Linux refuses, as a file system without F_FULLFSYNC does on macOS. Such a
// sync falls back to fsync() and succeeds; one that cannot succeed says so.
#include "base/sync_to_disk.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

namespace dovetune {
namespace {

TEST(SyncToDiskAsOnMacOsTest, FallsBackToFsyncWhereFullSyncIsRefused) {
  const char* base = getenv("TMPDIR");
  std::string folder = std::string(base && *base ? base : "/tmp") + "/dovetune-sync-XXXXXX";
  ASSERT_NE(mkdtemp(&folder[0]), nullptr);
  const std::string file = folder + "/file";
  const int written = open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
  const int listing = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(written, 0);
  ASSERT_GE(listing, 0);
  ASSERT_EQ(write(written, "x", 1), 1);
  // What the fallback is for: the file system refuses F_FULLFSYNC.
  ASSERT_EQ(fcntl(written, DOVETUNE_APPLE_F_FULLFSYNC), -1);

  const int closed = dup(written);
  ASSERT_GE(closed, 0);
  close(closed);
  const struct {
    const char* what;
    int descriptor;
    bool synced;
  } kCases[] = {{"a file", written, true}, {"a folder", listing, true}, {"no file", closed, false}};
  for (const auto& one : kCases) {
    const bool synced = SyncToDisk(one.descriptor);
    const int error = errno;
    EXPECT_EQ(synced, one.synced) << one.what;
    if (!one.synced) {
      EXPECT_EQ(error, EBADF) << one.what;
    }
  }
  close(written);
  close(listing);
  unlink(file.c_str());
  rmdir(folder.c_str());
}

}  // namespace
}  // namespace dovetune
