// What a changing run makes sure is on the disk before it reports success.
// Only a power loss would show the difference otherwise, so the test watches
// the run's system calls under strace.

#include <limits.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

#include "tests/support/cli_fixture.h"

namespace dovetune {

namespace {

using CommitSyncTest = CliTest;

// SQLite commits by deleting the journal; the run then syncs the folder, so
// that a power loss cannot bring the journal back and have the next run roll
// the commit back.
TEST_F(CommitSyncTest, FolderIsSyncedAfterTheJournalIsDeleted) {
  if (std::getenv("DOVETUNE_TEST_WRAPPER")) GTEST_SKIP() << "strace cannot run inside the wrapper";
  if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  ASSERT_FALSE(Output({"create", "kept"}).empty());
  char folder[PATH_MAX];
  ASSERT_NE(realpath(folder_.path().c_str(), folder), nullptr);
  const std::string log = folder_.File("calls.log");
  const ProcessResult result = RunProgram("strace",
                                          {"-o", log, "-e", "trace=openat,unlink,fsync,fdatasync",
                                           DOVETUNE_BINARY, "edit", "kept", "-cbr", "96"},
                                          store_path_);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(FirstLine(result.out), "kept - bitrate: cbr 96");

  // strace pads its lines before " = RESULT".
  std::ifstream calls(log);
  const std::regex journal_deleted("^unlink\\(\".*-journal\"\\) += 0$");
  const std::regex folder_opened("^openat\\(AT_FDCWD, \"" + std::string(folder) +
                                 "\", [^)]*O_DIRECTORY[^)]*\\) += ([0-9]+)$");
  bool deleted = false;
  std::string descriptor;
  bool synced = false;
  for (std::string line; std::getline(calls, line) && !synced;) {
    std::smatch match;
    if (std::regex_search(line, journal_deleted)) {
      deleted = true;
    } else if (deleted && std::regex_search(line, match, folder_opened)) {
      descriptor = match[1];
    } else if (!descriptor.empty()) {
      synced = std::regex_search(line, std::regex("^f(data)?sync\\(" + descriptor + "\\) += 0$"));
    }
  }
  EXPECT_TRUE(deleted) << "the run deleted no journal";
  EXPECT_TRUE(synced) << "the folder was not synced after the journal was deleted";
}

}  // namespace

}  // namespace dovetune
