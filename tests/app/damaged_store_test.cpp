// Stores the program cannot use: damaged, unreadable, read-only, or on a full
// file system. It says so on standard error, prints nothing else, exits with
// status 1 and leaves the file exactly as it was.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "tests/support/cli_fixture.h"

namespace {

const std::string kFreshListing =
    Lines({"current - bitrate: vbr streaming", "default - bitrate: vbr streaming"});

class DamagedStoreTest : public CliTest {
 protected:
  // Expects the run to be refused with |reason| (when given) after the path.
  void ExpectRefused(const std::vector<std::string>& arguments, const std::string& reason = "",
                     const ProcessOptions& options = {}) {
    const std::string before = ReadWholeFile(store_path_);
    const ProcessResult result = Run(arguments, options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    const std::string prefix = "Fatal Error: " + store_path_ + ": ";
    EXPECT_EQ(result.err.rfind(prefix, 0), 0u) << result.err;
    if (!reason.empty()) {
      EXPECT_EQ(result.err, prefix + reason + "\n");
    }
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
    EXPECT_EQ(ReadWholeFile(store_path_), before);
  }

  // A store with one preset, in a folder that the unprivileged user can enter.
  void MakeSharedStore() {
    ASSERT_EQ(Output({"create", "kept", "-downmix"}).empty(), false);
    ASSERT_EQ(chmod(folder_.path().c_str(), 0755), 0);
  }

  static ProcessOptions Unprivileged() {
    ProcessOptions options;
    options.unprivileged = true;
    return options;
  }
};

TEST_F(DamagedStoreTest, RandomBytesAreRefused) {
  std::mt19937 random(7);
  std::string bytes(8192, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  WriteWholeFile(store_path_, bytes);
  ExpectRefused({});
  ExpectRefused({"create", "x"});
}

TEST_F(DamagedStoreTest, TextFileIsRefused) {
  WriteWholeFile(store_path_, "DefBitRate=128\nDefVbrMode=6\n");
  ExpectRefused({"view"});
  ExpectRefused({"use", "default"});
}

TEST_F(DamagedStoreTest, EmptyFileIsRefused) {
  WriteWholeFile(store_path_, "");
  ExpectRefused({"view"});
}

TEST_F(DamagedStoreTest, FolderIsRefused) {
  ASSERT_EQ(mkdir(store_path_.c_str(), 0700), 0);
  const ProcessResult result = Run({"view"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Fatal Error: " + store_path_ + ": is a folder, not a registry store\n");
}

TEST_F(DamagedStoreTest, AnotherProgramsDatabaseIsRefused) {
  ASSERT_EQ(Output({"view"}).empty(), false);
  const std::string ours = ReadWholeFile(store_path_);
  // Our header with another application id at offset 68.
  std::string theirs = ours;
  theirs[68] = 'X';
  WriteWholeFile(store_path_, theirs);
  ExpectRefused({"create", "x"});
}

TEST_F(DamagedStoreTest, TruncatedStoreIsRefused) {
  ASSERT_EQ(Output({"create", "a"}).empty(), false);
  const std::string whole = ReadWholeFile(store_path_);
  ASSERT_GT(whole.size(), 4096u);
  WriteWholeFile(store_path_, whole.substr(0, whole.size() - 1024));
  ExpectRefused({"view"});
}

TEST_F(DamagedStoreTest, UnreadableFileIsRefused) {
  MakeSharedStore();
  ASSERT_EQ(chmod(store_path_.c_str(), 0600), 0);
  ExpectRefused({"view"}, "cannot read the registry store: Permission denied", Unprivileged());
  // Writable but not readable.
  ASSERT_EQ(chown(store_path_.c_str(), UnprivilegedUser(), static_cast<gid_t>(-1)), 0);
  ASSERT_EQ(chmod(store_path_.c_str(), 0200), 0);
  ExpectRefused({"create", "x"}, "cannot read the registry store: Permission denied",
                Unprivileged());
}

TEST_F(DamagedStoreTest, ReadOnlyFileCanBeViewedButNotChanged) {
  MakeSharedStore();
  ASSERT_EQ(chmod(store_path_.c_str(), 0644), 0);
  const std::string listing = Output({"view"});
  const ProcessResult view = Run({"view"}, Unprivileged());
  EXPECT_EQ(view.status, 0);
  EXPECT_EQ(view.err, "");
  EXPECT_EQ(view.out, listing);
  const std::string cannot_write =
      "the registry store cannot be written (the file or its folder is read-only)";
  ExpectRefused({"create", "x", "-downmix"}, cannot_write, Unprivileged());
  ExpectRefused({"edit", "kept", "-downmix_no"}, cannot_write, Unprivileged());
  ExpectRefused({"delete", "kept"}, cannot_write, Unprivileged());
  EXPECT_EQ(Output({"view"}), listing);
}

TEST_F(DamagedStoreTest, ReadOnlyFolderLetsTheStoreBeViewedButNotChanged) {
  MakeSharedStore();
  // The file is the user's, but its folder is not: no journal can be made.
  ASSERT_EQ(chown(store_path_.c_str(), UnprivilegedUser(), static_cast<gid_t>(-1)), 0);
  const ProcessResult view = Run({"view", "kept"}, Unprivileged());
  EXPECT_EQ(view.status, 0);
  EXPECT_EQ(FirstLine(view.out), "kept - bitrate: vbr streaming, downmix");
  EXPECT_EQ(view.err, "");
  ExpectRefused({"create", "x"},
                "the registry store cannot be written (the file or its folder is read-only)",
                Unprivileged());
  EXPECT_EQ(FirstLine(Output({"view", "x"})), "x - preset doesn't exist");
}

TEST_F(DamagedStoreTest, MissingStoreInAFolderThatCannotBeWrittenIsNotCreated) {
  ASSERT_EQ(chmod(folder_.path().c_str(), 0755), 0);
  const ProcessResult result = Run({"create", "x"}, Unprivileged());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Fatal Error: " + store_path_ +
                            ": cannot create the registry store: Permission denied\n");
  EXPECT_NE(access(store_path_.c_str(), F_OK), 0);
}

TEST_F(DamagedStoreTest, FileSizeLimitFailsTheWriteAndKeepsTheStore) {
  ASSERT_EQ(Output({"create", "kept", "-cbr", "96"}).empty(), false);
  ProcessOptions limited;
  limited.file_size_limit = 1024;
  const std::string too_large = "disk I/O error (File too large)";
  ExpectRefused({"create", "big", "-downmix"}, too_large, limited);
  ExpectRefused({"edit", "kept", "-cbr", "320"}, too_large, limited);
  // Reading needs no room.
  const ProcessResult view = Run({"view", "kept"}, limited);
  EXPECT_EQ(view.status, 0);
  EXPECT_EQ(FirstLine(view.out), "kept - bitrate: cbr 96");
  EXPECT_EQ(Output({"view"}), kFreshListing + "kept - bitrate: cbr 96\n");
}

// A small file system of its own, unmounted when the test ends.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& folder) : folder_(folder) {
    mkdir(folder_.c_str(), 0700);
    mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=512k") == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

  // Writes a file until the file system has no room left.
  void Fill(const std::string& name) {
    const int descriptor = open((folder_ + "/" + name).c_str(), O_CREAT | O_WRONLY, 0600);
    const std::string block(4096, 'x');
    while (descriptor >= 0 && write(descriptor, block.data(), block.size()) > 0) {
    }
    const std::string byte(1, 'x');
    while (descriptor >= 0 && write(descriptor, byte.data(), 1) > 0) {
    }
    if (descriptor >= 0) close(descriptor);
  }

 private:
  std::string folder_;
  bool mounted_ = false;
};

TEST_F(DamagedStoreTest, FullFileSystemFailsTheWriteAndKeepsTheStore) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  SmallFileSystem small(folder_.File("small"));
  ASSERT_TRUE(small.mounted()) << std::strerror(errno);
  store_path_ = folder_.File("small/registry.db");
  ASSERT_EQ(Output({"create", "kept", "-exportaac"}).empty(), false);
  small.Fill("filler");
  ExpectRefused({"create", "big", "-downmix"}, "the disk is full");
  ExpectRefused({"create_from_current", "big"}, "the disk is full");
  ExpectRefused({"edit", "kept", "-cbr", "320", "-usepns"}, "the disk is full");
  EXPECT_EQ(Output({"view"}), kFreshListing + "kept - bitrate: vbr streaming, export aac\n");
  ASSERT_EQ(unlink(folder_.File("small/filler").c_str()), 0);
  EXPECT_EQ(Output({"create", "big", "-downmix"}),
            Lines({"preset big created", "big - bitrate: vbr streaming, downmix"}));
}

TEST_F(DamagedStoreTest, PathWithSpacesAndNonAsciiWorks) {
  store_path_ = folder_.File("R\xC3\xA9glages du son/\xE6\x97\xA5\xE6\x9C\xAC presets.db");
  EXPECT_EQ(Output({"create", "fast", "-cbr", "128"}),
            Lines({"preset fast created", "fast - bitrate: cbr 128"}));
  EXPECT_EQ(Output({"view"}), kFreshListing + "fast - bitrate: cbr 128\n");
  struct stat status;
  ASSERT_EQ(stat(store_path_.c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
}

}  // namespace
