// What a changing run makes sure is on the disk before it reports success.
// Only a power loss would show the difference otherwise, so the test watches
// the run's system calls under strace.

#include <limits.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
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
  // The sanitizer build's leak check cannot work under ptrace.
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  ProcessOptions options;
  options.environment = {
      {"ASAN_OPTIONS", std::string(sanitizer ? sanitizer : "") + ":detect_leaks=0"}};
  const ProcessResult result = RunProgram("strace",
                                          {"-o", log, "-e", "trace=openat,unlink,fsync,fdatasync",
                                           DOVETUNE_BINARY, "edit", "kept", "-cbr", "96"},
                                          store_path_, options);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(FirstLine(result.out), "kept - bitrate: cbr 96");

  // strace pads its lines before " = RESULT".
  const auto starts = [](const std::string& line, const std::string& start) {
    return line.compare(0, start.size(), start) == 0;
  };
  const auto succeeded = [](const std::string& line) {
    return line.size() > 4 && line.compare(line.size() - 4, 4, " = 0") == 0;
  };
  const std::string folder_opened = "openat(AT_FDCWD, \"" + std::string(folder) + "\", ";
  std::ifstream calls(log);
  bool deleted = false;
  std::string descriptor;
  bool synced = false;
  for (std::string line; std::getline(calls, line) && !synced;) {
    if (starts(line, "unlink(\"") && line.find("-journal\")") != std::string::npos) {
      deleted = deleted || succeeded(line);
    } else if (deleted && starts(line, folder_opened) &&
               line.find("O_DIRECTORY") != std::string::npos) {
      descriptor = line.substr(line.rfind("= ") + 2);
    } else if (!descriptor.empty()) {
      synced = (starts(line, "fsync(" + descriptor + ")") ||
                starts(line, "fdatasync(" + descriptor + ")")) &&
               succeeded(line);
    }
  }
  EXPECT_TRUE(deleted) << "the run deleted no journal";
  EXPECT_TRUE(synced) << "the folder was not synced after the journal was deleted";
}

}  // namespace

}  // namespace dovetune
