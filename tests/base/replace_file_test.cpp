// Replacing and creating a file whole: what is at the target afterwards, its
// mode and links, and what is left beside it.
#include "base/replace_file.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/temp_store.h"

namespace dovetune {
namespace {

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* listing = opendir(folder.c_str());
  while (const dirent* entry = listing ? readdir(listing) : nullptr) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (listing) closedir(listing);
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat status;
  EXPECT_EQ(0, stat(path.c_str(), &status));
  return status.st_mode & 07777;
}

// A pid that no running process has: a child that has been reaped.
pid_t PidOfEndedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

TEST(ReplaceFileWholeTest, KeepsTheOldModeAndReplacesALinksTarget) {
  TempFolder folder;
  const std::string file = folder.File("out.reg");
  WriteWholeFile(file, "old");
  chmod(file.c_str(), 0600);
  ASSERT_EQ(0, symlink("out.reg", folder.File("link.reg").c_str()));
  std::string error;
  ASSERT_TRUE(ReplaceFileWhole(folder.File("link.reg"), "new", &error)) << error;
  struct stat status;
  ASSERT_EQ(0, lstat(folder.File("link.reg").c_str(), &status));
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ("new", ReadWholeFile(file));
  EXPECT_EQ(0600u, ModeOf(file));
  EXPECT_EQ(2u, FolderEntries(folder.path()).size());
}

TEST(ReplaceFileWholeTest, ANewFileTakesTheGivenModeLessTheUmask) {
  TempFolder folder;
  const mode_t mask = umask(022);
  std::string error;
  ASSERT_TRUE(ReplaceFileWhole(folder.File("new.reg"), "x", &error, 0666)) << error;
  umask(mask);
  EXPECT_EQ(0644u, ModeOf(folder.File("new.reg")));
}

TEST(ReplaceFileWholeTest, RefusesWhatItCannotReplaceWholeAndLeavesItAsItWas) {
  TempFolder folder;
  const std::string file = folder.File("out.reg");
  WriteWholeFile(file, "old");
  ASSERT_EQ(0, link(file.c_str(), folder.File("other-name").c_str()));
  ASSERT_EQ(0, mkdir(folder.File("sub").c_str(), 0700));
  struct Case {
    std::string path, reason;
  } cases[] = {{file, "2 hard links"},
               {folder.File("sub"), "not a regular file"},
               {folder.File("missing/out.reg"), "No such file or directory"}};
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ReplaceFileWhole(c.path, "new", &error)) << c.path;
    EXPECT_NE(std::string::npos, error.find(c.path)) << error;
    EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
  }
  EXPECT_EQ("old", ReadWholeFile(file));
  EXPECT_EQ(3u, FolderEntries(folder.path()).size());
}

TEST(ReplaceFileWholeTest, RemovesTheStaleTemporaryFilesOfEndedRunsOnly) {
  TempFolder folder;
  const std::string file = folder.File("out.reg");
  const std::string ended = file + ".dovetune-temp-" + std::to_string(PidOfEndedProcess());
  const std::string live = file + ".dovetune-temp-" + std::to_string(getppid()) + "-abc";
  WriteWholeFile(ended + "-abc", "partial");
  WriteWholeFile(ended + "-abc-journal", "partial");
  WriteWholeFile(live, "in progress");
  std::string error;
  ASSERT_TRUE(ReplaceFileWhole(file, "new", &error)) << error;
  std::vector<std::string> left = FolderEntries(folder.path());
  std::sort(left.begin(), left.end());
  EXPECT_EQ((std::vector<std::string>{"out.reg", live.substr(folder.path().size() + 1)}), left);
}

TEST(CreateFileWholeTest, LinksTheFilledFileIntoPlaceOrLeavesNothing) {
  TempFolder folder;
  const std::string file = folder.File("registry.db");
  bool created = false;
  std::string error;
  const FileFiller fail = [](const std::string&, std::string* why) {
    *why = "no room";
    return false;
  };
  EXPECT_FALSE(CreateFileWhole(file, fail, &created, &error));
  EXPECT_EQ("no room", error);
  EXPECT_TRUE(FolderEntries(folder.path()).empty());

  const FileFiller fill = [](const std::string& temporary, std::string*) {
    WriteWholeFile(temporary, "store");
    return true;
  };
  ASSERT_TRUE(CreateFileWhole(file, fill, &created, &error)) << error;
  EXPECT_TRUE(created);
  WriteWholeFile(file, "made by another run");
  ASSERT_TRUE(CreateFileWhole(file, fill, &created, &error)) << error;
  EXPECT_FALSE(created);
  EXPECT_EQ("made by another run", ReadWholeFile(file));
  EXPECT_EQ(1u, FolderEntries(folder.path()).size());
}

}  // namespace
}  // namespace dovetune
