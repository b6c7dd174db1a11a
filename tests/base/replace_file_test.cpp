// Replacing and creating a file whole: what is at the target afterwards, its
// mode and links, and what is left beside it.
#include "base/replace_file.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_bytes.h"
#include "tests/support/temp_store.h"

namespace dovetune {
namespace {

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

// Another user who can write the folder may plant links where a temporary
// file might go; nothing is ever written through them.
TEST(ReplaceFileWholeTest, NeverWritesThroughALinkPlantedBesideTheTarget) {
  TempFolder folder;
  const std::string victim = folder.File("victim");
  WriteWholeFile(victim, "precious");
  const std::string file = folder.File("out.reg");
  const std::string pid = std::to_string(getpid());
  for (const std::string& planted : {file + ".new-" + pid, file + ".dovetune-temp-" + pid,
                                     file + ".dovetune-temp-" + pid + "-"}) {
    ASSERT_EQ(0, symlink(victim.c_str(), planted.c_str())) << planted;
  }
  std::string error;
  ASSERT_TRUE(ReplaceFileWhole(file, "new", &error)) << error;
  EXPECT_EQ("precious", ReadWholeFile(victim));
  EXPECT_EQ("new", ReadWholeFile(file));
  EXPECT_EQ(5u, FolderEntries(folder.path()).size());
}

// A link in a sticky folder that anyone may write is followed only when it
// is the user's own or the folder owner's, as the kernel's protected_symlinks
// rule has it; otherwise the file it leads to is left alone.
TEST(ReplaceFileWholeTest, FollowsALinkInASharedStickyFolderOnlyOfItsOwnOrTheFolders) {
  if (geteuid() != 0) GTEST_SKIP() << "links and folders of other users need root to make";
  const uid_t self = geteuid();
  const uid_t owner = 65533;
  const uid_t other = 65534;
  const struct {
    mode_t folder_mode;
    uid_t link_owner;
    bool followed;
  } kCases[] = {
      {01777, other, false}, {01777, owner, true}, {01777, self, true},
      {0777, other, true},   {01775, other, true},
  };
  TempFolder folder;
  const std::string victim = folder.File("victim");
  for (const auto& test : kCases) {
    WriteWholeFile(victim, "precious");
    const std::string shared = folder.File("shared");
    ASSERT_EQ(0, mkdir(shared.c_str(), 0700));
    ASSERT_EQ(0, chown(shared.c_str(), owner, owner));
    ASSERT_EQ(0, chmod(shared.c_str(), test.folder_mode));
    const std::string link = shared + "/out.reg";
    ASSERT_EQ(0, symlink(victim.c_str(), link.c_str()));
    ASSERT_EQ(0, lchown(link.c_str(), test.link_owner, test.link_owner));
    std::string error;
    EXPECT_EQ(test.followed, ReplaceFileWhole(link, "new", &error))
        << std::oct << test.folder_mode << std::dec << " " << test.link_owner;
    EXPECT_EQ(test.followed ? "new" : "precious", ReadWholeFile(victim));
    if (!test.followed) {
      EXPECT_EQ("cannot follow the link " + link +
                    ": it belongs to another user, in a shared folder with the sticky bit",
                error);
    }
    ASSERT_EQ(0, unlink(link.c_str()));
    ASSERT_EQ(0, rmdir(shared.c_str()));
  }
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
  const std::vector<std::string> left = FolderEntries(folder.path());
  EXPECT_EQ((std::vector<std::string>{"out.reg", live.substr(folder.path().size() + 1)}), left);
}

// A new file written but not put in place leaves the target as it was and
// nothing beside it, whatever stopped it.
TEST(FileReplacementTest, OnlyACommitPutsTheNewFileInPlaceAndNothingElseIsLeft) {
  struct Case {
    const char* name;
    bool writes, commits;
    bool written, committed;
    const char* content;
  } cases[] = {{"written and committed", true, true, true, true, "new"},
               {"written, dropped", true, false, true, false, "old"},
               {"the writer fails", false, true, false, false, "old"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::string file = folder.File("out.reg");
    WriteWholeFile(file, "old");
    std::string error;
    {
      FileReplacement replacement;
      const bool writes = c.writes;
      const FileWriter write = [writes](int descriptor) {
        return WriteAll(descriptor, "ne", 2) && writes && WriteAll(descriptor, "w", 1);
      };
      EXPECT_EQ(c.written, replacement.Write(file, write, &error)) << error;
      EXPECT_EQ("old", ReadWholeFile(file));
      EXPECT_EQ(c.written ? 2u : 1u, FolderEntries(folder.path()).size());
      if (c.commits) {
        EXPECT_EQ(c.committed, replacement.Commit(&error)) << error;
      }
    }
    EXPECT_EQ(c.content, ReadWholeFile(file));
    EXPECT_EQ((std::vector<std::string>{"out.reg"}), FolderEntries(folder.path()));
  }
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
