// A run's scratch folder: made private under TMPDIR, gone with its files
// when it goes, and a clear reason when it cannot be made.
#include "base/scratch_folder.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_store.h"

namespace dovetune {
namespace {

// Sets TMPDIR for the test, and puts back what it was.
class TmpdirScope {
 public:
  explicit TmpdirScope(const std::string& folder) {
    const char* old = getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TmpdirScope() { had_ ? setenv("TMPDIR", old_.c_str(), 1) : unsetenv("TMPDIR"); }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(ScratchFolderTest, IsPrivateUnderTmpdirAndGoesWithItsFiles) {
  TempFolder tmp;
  TmpdirScope scope(tmp.path());
  std::string path;
  {
    ScratchFolder folder;
    std::string error;
    ASSERT_TRUE(folder.Make("stem", &error)) << error;
    path = folder.path();
    EXPECT_EQ(path.rfind(tmp.File("stem-"), 0), 0u) << path;
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    WriteWholeFile(path + "/a.reg", "a");
    WriteWholeFile(path + "/b.reg", "b");
  }
  EXPECT_TRUE(FolderEntries(tmp.path()).empty());
}

TEST(ScratchFolderTest, SaysWhyItCannotBeMade) {
  TempFolder tmp;
  TmpdirScope scope(tmp.File("missing"));
  ScratchFolder folder;
  std::string error;
  EXPECT_FALSE(folder.Make("stem", &error));
  EXPECT_EQ(error, "cannot make a temporary folder in " + tmp.File("missing") +
                       ": No such file or directory");
  EXPECT_TRUE(folder.path().empty());
}

}  // namespace
}  // namespace dovetune
