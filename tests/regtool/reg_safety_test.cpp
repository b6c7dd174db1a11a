// What dovetune-reg refuses or survives: keys the store cannot do without,
// files beside an export that it must not write through or leave behind,
// memory that runs out, a store that cannot be written. Each refusal names
// what it concerns and why, and leaves the store as it was.

#include <sys/stat.h>
#include <unistd.h>

#include "tests/regtool/reg_cli_fixture.h"

namespace dovetune {

namespace {

const char kCompleted[] = "The operation completed successfully.\n";
const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";

mode_t ModeOf(const std::string& path) {
  struct stat status;
  EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
  return status.st_mode;
}

class RegSafetyTest : public RegCliTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegOutput({"add", "HKCU\\Software\\Test", "/v", "v", "/d", "1"}), kCompleted);
  }
  // Expects the run, in process or else as the built program with |process|,
  // to fail with |message| as its only line and the store as it was.
  void ExpectError(const std::vector<std::string>& arguments, const std::string& message,
                   const ProcessOptions* process = nullptr) {
    const std::string before = ReadWholeFile(store_path_);
    const ProcessResult result = process ? RegProcess(arguments, *process) : Reg(arguments);
    EXPECT_EQ(result.status, 1) << arguments[0];
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "ERROR: " + message + "\n");
    EXPECT_TRUE(ReadWholeFile(store_path_) == before) << "the store changed: " << result.err;
  }
};

// Without HKEY_CURRENT_USER\Software no run of either program could work
// again; the registry refuses to delete it, and the root keys, and so do we.
TEST_F(RegSafetyTest, ARootKeyAndTheSoftwareKeyCannotBeDeleted) {
  for (const char* key : {"HKCU\\Software", "HKCU\\SOFTWARE", "HKCU\\software\\", "HKLM", "HKCU"}) {
    const ProcessResult result = Reg({"delete", key, "/f"});
    EXPECT_EQ(result.status, 1) << key;
    EXPECT_NE(result.err.find(": Access is denied."), std::string::npos) << result.err;
  }
  for (const char* key : {"HKEY_CURRENT_USER\\Software", "HKEY_CURRENT_USER\\SOFTWARE"}) {
    WriteWholeFile(File("delete.reg"), kHeader + std::string("[-") + key + "]\r\n");
    ExpectError({"import", File("delete.reg")},
                File("delete.reg") + ", line 3: " + key + ": Access is denied.");
  }
  EXPECT_EQ(RegOutput({"query", "HKCU\\Software\\Test", "/v", "v"}),
            "\nHKEY_CURRENT_USER\\Software\\Test\n    v    REG_SZ    1\n\n");
  EXPECT_EQ(Dovetune({"view"}).status, 0);
}

// A replaced export keeps the old file's mode, and through a symlink the
// file it leads to is replaced and the link kept.
TEST_F(RegSafetyTest, ExportOverAFileKeepsItsModeAndItsLink) {
  WriteWholeFile(File("private.reg"), "old");
  ASSERT_EQ(chmod(File("private.reg").c_str(), 0600), 0);
  ASSERT_EQ(symlink("private.reg", File("link.reg").c_str()), 0);
  EXPECT_EQ(RegOutput({"export", "HKCU\\Software\\Test", File("link.reg"), "/y"}), kCompleted);
  EXPECT_TRUE(S_ISLNK(ModeOf(File("link.reg"))));
  EXPECT_EQ(ModeOf(File("private.reg")) & 07777, 0600u);
  EXPECT_NE(ReadWholeFile(File("private.reg")), "old");
  EXPECT_EQ(FolderEntries(folder_.path()),
            (std::vector<std::string>{"link.reg", "private.reg", "registry.db"}));
}

// A new export is the user's alone whatever the umask; one over a file the
// user made readable to others with /y keeps that file's mode.
TEST_F(RegSafetyTest, ANewExportIsPrivateAndAReplacedOneKeepsItsMode) {
  const mode_t mask = umask(0);
  EXPECT_EQ(RegOutput({"export", "HKCU\\Software\\Test", File("new.reg")}), kCompleted);
  umask(mask);
  EXPECT_EQ(ModeOf(File("new.reg")) & 07777, 0600u);
  WriteWholeFile(File("shared.reg"), "old");
  ASSERT_EQ(chmod(File("shared.reg").c_str(), 0644), 0);
  EXPECT_EQ(RegOutput({"export", "HKCU\\Software\\Test", File("shared.reg"), "/y"}), kCompleted);
  EXPECT_EQ(ModeOf(File("shared.reg")) & 07777, 0644u);
}

// A killed export leaves its temporary file, named for what it is; a failed
// one leaves nothing; the next export beside it clears what killed ones left.
TEST_F(RegSafetyTest, ExportsThatDoNotFinishLeaveNoFilesForLong) {
  ProcessOptions options;
  options.pause_at = "file-written";
  ASSERT_TRUE(RunUntilPausedAndKill(DOVETUNE_REG_PAUSABLE_BINARY,
                                    {"export", "HKCU\\Software", File("out.reg")}, store_path_,
                                    options));
  std::vector<std::string> left = FolderEntries(folder_.path());
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].rfind("out.reg.dovetune-temp-", 0), 0u) << left[0];

  // An export of some 50 KB, where a file may take 4 KB (room enough for the
  // runs themselves, under valgrind too).
  SetValue("Software\\Test", "big", REG_BINARY, std::string(8192, 'b'));
  ProcessOptions small;
  small.file_size_limit = 4096;
  ExpectError({"export", "HKCU\\Software", File("out.reg")},
              "cannot write " + File("out.reg") + ": File too large", &small);
  EXPECT_EQ(FolderEntries(folder_.path()), std::vector<std::string>{"registry.db"});
  EXPECT_EQ(RegOutput({"export", "HKCU\\Software", File("out.reg")}), kCompleted);
  EXPECT_EQ(FolderEntries(folder_.path()), (std::vector<std::string>{"out.reg", "registry.db"}));
}

// Every error names the key or file it concerns and the reason in words.
TEST_F(RegSafetyTest, ErrorsNameTheKeyOrFileAndTheReason) {
  ExpectError({"export", "HKCU\\Software", File("no/such/folder/out.reg")},
              "cannot create a temporary file beside " + File("no/such/folder/out.reg") +
                  ": No such file or directory");
  const std::string deep = "HKCU\\Software\\" + std::string(300, 'k');
  ExpectError({"add", deep},
              "HKEY_CURRENT_USER\\Software\\" + std::string(300, 'k') +
                  ": The key path is longer than the registry allows (260 characters).");
  // A store another user's run may read but not write: the status and the
  // store's reason. Only root can start a run as another user.
  if (geteuid() != 0) return;
  ASSERT_EQ(chmod(folder_.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(store_path_.c_str(), 0644), 0);
  ProcessOptions other_user;
  other_user.unprivileged = true;
  ExpectError({"add", "HKCU\\Software\\Test", "/v", "w", "/d", "2"},
              "HKEY_CURRENT_USER\\Software\\Test: Access is denied. (" + store_path_ +
                  ": the registry store cannot be written (the file or its folder is read-only))",
              &other_user);
}

TEST_F(RegSafetyTest, RunningOutOfMemorySaysSoAndKeepsTheStore) {
  const std::string unsupported = AddressSpaceLimitUnsupported();
  if (!unsupported.empty()) GTEST_SKIP() << unsupported;
  std::string big = kHeader + std::string("[HKEY_CURRENT_USER\\Software\\Big]\r\n");
  const std::string line = "\"v\"=\"" + std::string(1000, 'x') + "\"\r\n";
  while (big.size() < (48u << 20)) big += line;
  WriteWholeFile(File("big.reg"), big);
  ProcessOptions limited;
  limited.address_space_limit = 32 << 20;
  ExpectError({"import", File("big.reg")}, "out of memory", &limited);
}

}  // namespace

}  // namespace dovetune
