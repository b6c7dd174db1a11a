// A temporary folder is removed with everything in it, and nothing beyond it:
// a link inside it to somewhere else (a Wine prefix links its drive Z: to the
// root folder) is removed as a link, leaving its target as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

TEST(TempFolderTest, RemovesItsContentsButNotWhatItsLinksLeadTo) {
  TempFolder outside;
  const std::string target_folder = outside.File("kept");
  const std::string target_file = outside.File("kept.txt");
  ASSERT_EQ(mkdir(target_folder.c_str(), 0755), 0);
  WriteWholeFile(target_file, "kept");
  ASSERT_EQ(chmod(target_file.c_str(), 0644), 0);

  std::string removed;
  {
    TempFolder folder;
    removed = folder.path();
    ASSERT_EQ(mkdir(folder.File("inner").c_str(), 0500), 0);
    ASSERT_EQ(symlink(target_folder.c_str(), folder.File("to-folder").c_str()), 0);
    ASSERT_EQ(symlink(target_file.c_str(), folder.File("to-file").c_str()), 0);
    ASSERT_EQ(symlink("/nowhere", folder.File("dangling").c_str()), 0);
  }

  EXPECT_NE(access(removed.c_str(), F_OK), 0);
  EXPECT_EQ(ModeOf(target_folder), 0755u);
  EXPECT_EQ(ModeOf(target_file), 0644u);
  EXPECT_EQ(ReadWholeFile(target_file), "kept");
}

}  // namespace

}  // namespace dovetune
