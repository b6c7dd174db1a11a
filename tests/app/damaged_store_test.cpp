// Stores the program cannot use: damaged, unreadable, read-only, or on a full
// file system. It says so on standard error, prints nothing else, exits with
// status 1 and leaves the file exactly as it was.

#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/mount.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <set>

#include "registry/stores/key_store.h"
#include "tests/support/cli_fixture.h"
#include "tests/support/in_process.h"

namespace dovetune {

namespace {

const std::string kFreshListing =
    Lines({"current - bitrate: vbr streaming", "default - bitrate: vbr streaming"});

class DamagedStoreTest : public CliTest {
 protected:
  // What a damaged file does to a run is the store's doing, not the
  // process's: the run is made in process on the store file, unless it needs
  // a process of its own (another user, a limit on file sizes) or creates
  // the store, which the program's start-up announces.
  ProcessResult Run(const std::vector<std::string>& arguments,
                    const ProcessOptions& options = {}) override {
    if (access(store_path_.c_str(), F_OK) != 0 || options.unprivileged ||
        options.file_size_limit >= 0 || options.address_space_limit >= 0 ||
        !options.pause_at.empty() || !options.environment.empty()) {
      return CliTest::Run(arguments, options);
    }
    return RunInProcess(
        arguments, [this](std::string* error) { return OpenStoreAt(store_path_, error); },
        store_path_);
  }

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

  // Changes the store behind the program's back, as damage or another program would.
  void ExecuteSql(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(store_path_.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << message;
    sqlite3_free(message);
    sqlite3_close(db);
  }

  // The store is the tests' own: its permissions hold back only a run as
  // another user, which only root can start.
  static bool CanRunAsAnotherUser() { return geteuid() == 0; }
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
  ASSERT_EQ(unlink(store_path_.c_str()), 0);
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

// The header of the file is checked by every run, the ones that can only read
// the store included, before anything else is read.
TEST_F(DamagedStoreTest, HeaderThatIsNotOursIsRefused) {
  MakeSharedStore();
  const std::string whole = ReadWholeFile(store_path_);
  const auto at = [&whole](size_t offset, const std::string& bytes) {
    return whole.substr(0, offset) + bytes + whole.substr(offset + bytes.size());
  };
  const std::string another_size =
      "the registry store is damaged (its size does not match its contents)";
  const struct {
    std::string file;
    std::string reason;
  } cases[] = {
      // The application id at offset 68 and the version at offset 60, big-endian.
      {at(68, "Xvtr"), "not a registry store (a database of another program)"},
      {at(60, std::string("\0\0\0\3", 4)), "a registry store of an unknown version (3)"},
      {at(60, std::string("\x80\0\0\0", 4)),
       "a registry store of an unknown version (-2147483648)"},
      {whole + std::string(4096, '\0'), another_size},
      {whole + "x", another_size},
      // A file shorter than its header says is found by SQLite itself.
      {whole.substr(0, whole.size() - 4096), "the registry store is damaged"},
  };
  for (const auto& test : cases) {
    WriteWholeFile(store_path_, test.file);
    ExpectRefused({"create", "x"}, test.reason);
    // Another user can only read it.
    ASSERT_EQ(chmod(store_path_.c_str(), 0644), 0);
    if (CanRunAsAnotherUser()) ExpectRefused({"view"}, test.reason, Unprivileged());
  }
}

TEST_F(DamagedStoreTest, PagesOfRandomBytesAfterTheHeaderAreRefused) {
  ASSERT_EQ(Output({"create", "a", "-downmix"}).empty(), false);
  std::string store = ReadWholeFile(store_path_);
  std::mt19937 random(3);
  for (size_t i = 4096; i < store.size(); ++i) store[i] = static_cast<char>(random());
  WriteWholeFile(store_path_, store);
  ExpectRefused({"view"}, "the registry store is damaged");
  ExpectRefused({"create", "x"}, "the registry store is damaged");
}

// Damage SQLite may or may not notice: a run either works or is refused with
// the file unchanged; it never crashes or keeps half of its changes.
TEST_F(DamagedStoreTest, ScatteredDamageIsSurvivedOrRefused) {
  ASSERT_EQ(Output({"create", "a", "-downmix"}).empty(), false);
  ASSERT_EQ(Output({"create", "b", "-cbr", "64"}).empty(), false);
  const std::string whole = ReadWholeFile(store_path_);
  std::mt19937 random(17);
  int refused = 0;
  for (int round = 0; round < 30; ++round) {
    std::string damaged = whole;
    for (int i = 0; i < 4; ++i) {
      damaged[100 + random() % (damaged.size() - 100)] = static_cast<char>(random());
    }
    WriteWholeFile(store_path_, damaged);
    const ProcessResult result = Run({"create", "c", "-usepns"});
    if (result.status == 0) {
      EXPECT_EQ(result.err, "") << "round " << round;
      continue;
    }
    ++refused;
    EXPECT_EQ(result.status, 1) << "round " << round << ": " << result.err;
    EXPECT_EQ(result.out, "") << "round " << round;
    EXPECT_EQ(result.err.rfind("Fatal Error: " + store_path_ + ": ", 0), 0u) << result.err;
    EXPECT_EQ(ReadWholeFile(store_path_), damaged) << "round " << round;
  }
  EXPECT_GT(refused, 0);
}

TEST_F(DamagedStoreTest, StoreWithoutItsTablesIsRefused) {
  ASSERT_EQ(Output({"view"}).empty(), false);
  ExecuteSql("DROP TABLE vals");
  ExpectRefused({"view"}, "the registry store is damaged (no such table: vals)");
  ExecuteSql("DROP TABLE keys");
  ExpectRefused({"create", "x"}, "the registry store is damaged (no such table: keys)");
}

// A key's values are one row of packed bytes; bytes that are not a packing
// refuse the run, whatever the command.
TEST_F(DamagedStoreTest, ValuesThatCannotBeReadAreRefused) {
  ASSERT_EQ(Output({"create", "kept", "-downmix"}).empty(), false);
  const std::string kept = "(SELECT id FROM keys WHERE fold = 'KEPT')";
  const std::string reason =
      "the registry store is damaged (the values of "
      "HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Presets\\kept cannot be read)";
  const std::string whole = ReadWholeFile(store_path_);
  for (const char* damage : {"substr(packed, 1, length(packed) - 1)", "packed || x'00'",
                             "x'FFFFFFFF'", "x'010000004101000000050000000261626364'", "x''"}) {
    WriteWholeFile(store_path_, whole);
    ExecuteSql(std::string("UPDATE vals SET packed = ") + damage + " WHERE key = " + kept);
    ExpectRefused({"view"}, reason);
    ExpectRefused({"edit", "kept", "-cbr", "64"}, reason);
  }
}

// Damage that would read as a store in order is found when the run begins or
// when the key is read, whatever the command: values that repeat a name, large
// data that is not there, keys that are not a tree (a cycle that hid the
// presets would have a "view" write the defaults again).
TEST_F(DamagedStoreTest, DamageThatLooksWholeIsRefused) {
  ASSERT_EQ(Output({"create", "kept", "-downmix"}).empty(), false);
  SetValue(PresetPath("kept"), "Large", REG_BINARY, std::string(5000, 'L'));
  const std::string kept = "(SELECT id FROM keys WHERE fold = 'KEPT')";
  const std::string kept_path = "HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Presets\\kept";
  const std::string presets = "(SELECT id FROM keys WHERE fold = 'PRESETS')";
  const struct {
    std::string damage;
    std::string reason;
  } kCases[] = {
      {"UPDATE vals SET packed = packed || packed WHERE key = " + kept,
       kept_path + " holds two values of one name"},
      // "a" and "A", two numbers.
      {"UPDATE vals SET packed = x'010000006104000000040000000001000000"
       "010000004104000000040000000002000000' WHERE key = " +
           kept,
       kept_path + " holds two values of one name"},
      {"DELETE FROM big", "the data of the value \"Large\" of " + kept_path + " is missing"},
      {"UPDATE keys SET parent = " + kept + " WHERE id = " + presets,
       "its keys do not form a tree"},
      {"UPDATE keys SET parent = id WHERE fold = 'DEFAULT'", "its keys do not form a tree"},
  };
  const std::string whole = ReadWholeFile(store_path_);
  for (const auto& test : kCases) {
    WriteWholeFile(store_path_, whole);
    ExecuteSql(test.damage);
    const std::string reason = "the registry store is damaged (" + test.reason + ")";
    ExpectRefused({"view"}, reason);
    ExpectRefused({"edit", "kept", "-cbr", "64"}, reason);
  }
}

// Every store has HKEY_CURRENT_USER\Software, which the program only opens,
// and which cannot be deleted. A store made before that was so may lack it:
// the first run that can write puts it back; one that cannot says why.
TEST_F(DamagedStoreTest, StoreWithoutTheSoftwareKeyGetsItBack) {
  MakeSharedStore();
  ExecuteSql("DELETE FROM vals; DELETE FROM keys WHERE parent <> 0");
  if (CanRunAsAnotherUser()) {
    ASSERT_EQ(chmod(store_path_.c_str(), 0644), 0);
    ExpectRefused({"view"},
                  "the registry store lacks HKEY_CURRENT_USER\\Software and cannot get it back: "
                  "the registry store cannot be written (the file or its folder is read-only)",
                  Unprivileged());
  }
  EXPECT_EQ(Output({"create", "x"}), Lines({"preset x created", "x - bitrate: vbr streaming"}));
  EXPECT_EQ(Output({"view"}), kFreshListing + "x - bitrate: vbr streaming\n");
}

TEST_F(DamagedStoreTest, UnreadableFileIsRefused) {
  if (!CanRunAsAnotherUser()) GTEST_SKIP() << "running the program as another user needs root";
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
  if (!CanRunAsAnotherUser()) GTEST_SKIP() << "running the program as another user needs root";
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
  if (!CanRunAsAnotherUser()) GTEST_SKIP() << "running the program as another user needs root";
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
  EXPECT_EQ(FirstLine(Output({"view", "x"}, kExitFailed)), "x - preset doesn't exist");
}

TEST_F(DamagedStoreTest, MissingStoreInAFolderThatCannotBeWrittenIsNotCreated) {
  if (!CanRunAsAnotherUser()) GTEST_SKIP() << "running the program as another user needs root";
  ASSERT_EQ(unlink(store_path_.c_str()), 0);
  ASSERT_EQ(chmod(folder_.path().c_str(), 0755), 0);
  const ProcessResult result = Run({"create", "x"}, Unprivileged());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Fatal Error: " + store_path_ +
                            ": cannot create the registry store: cannot create a temporary file "
                            "beside " +
                            store_path_ + ": Permission denied\n");
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

#ifdef __linux__
// The tests on a full file system mount a small one with Linux's mount(2),
// which other systems spell otherwise; they are left out there.

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

  // Cuts the filler back to leave |bytes| of room.
  void LeaveRoom(const std::string& name, off_t bytes) {
    const std::string path = folder_ + "/" + name;
    struct stat status;
    if (stat(path.c_str(), &status) == 0) {
      truncate(path.c_str(), std::max<off_t>(0, status.st_size - bytes));
    }
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

TEST_F(DamagedStoreTest, FirstRunOnAFullFileSystemLeavesNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  SmallFileSystem small(folder_.File("small"));
  ASSERT_TRUE(small.mounted()) << std::strerror(errno);
  small.Fill("filler");
  store_path_ = folder_.File("small/registry.db");
  const ProcessResult result = Run({"view"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Fatal Error: " + store_path_ + ": the disk is full\n");
  // Neither a store nor the temporary file it was being built in is left.
  std::vector<std::string> entries;
  if (DIR* folder = opendir(folder_.File("small").c_str())) {
    while (const dirent* entry = readdir(folder)) {
      if (entry->d_name[0] != '.') entries.push_back(entry->d_name);
    }
    closedir(folder);
  }
  EXPECT_EQ(entries, std::vector<std::string>{"filler"});
}

// Runs with ever more room: each one ends whole, or refused with the file as
// it was, wherever the room ran out (journal, store, or commit).
TEST_F(DamagedStoreTest, EveryAmountOfRoomEndsInAWholeRunOrNone) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  SmallFileSystem small(folder_.File("small"));
  ASSERT_TRUE(small.mounted()) << std::strerror(errno);
  store_path_ = folder_.File("small/registry.db");
  const std::string fresh = Output({"view"});
  std::set<std::string> kept;  // in the listing's order: by name, all in one letter case
  int refused = 0;
  for (int round = 0; round < 24; ++round) {
    small.Fill("filler");
    small.LeaveRoom("filler", (round % 12) * 4096);
    const std::string before = ReadWholeFile(store_path_);
    // Long names make the store grow now and then.
    const std::string name = "p" + std::to_string(round) + std::string(200, 'x');
    const ProcessResult result = Run({"create", name, "-downmix"});
    if (result.status == 0) {
      EXPECT_EQ(result.out,
                "preset " + name + " created\n" + name + " - bitrate: vbr streaming, downmix\n");
      kept.insert(name);
    } else {
      ++refused;
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err, "Fatal Error: " + store_path_ + ": the disk is full\n");
      EXPECT_EQ(ReadWholeFile(store_path_), before) << "round " << round;
    }
    ASSERT_EQ(unlink(folder_.File("small/filler").c_str()), 0);
  }
  std::string listing = fresh;
  for (const std::string& name : kept) listing += name + " - bitrate: vbr streaming, downmix\n";
  EXPECT_EQ(Output({"view"}), listing);
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, 24);
}
#endif  // __linux__

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

}  // namespace dovetune
