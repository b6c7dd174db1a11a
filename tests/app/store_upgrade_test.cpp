// Stores of schema version 1, made by the program before version 2 (see
// tests/data/README.md): the first run that can write upgrades them in place,
// a run that cannot reads them as they are, two names that now fold alike
// refuse the store whole, and a run killed during the upgrade leaves the old
// version or the new one.

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/cli_fixture.h"

namespace dovetune {

namespace {

const std::string kListing = Lines({
    "current - bitrate: cbr 128, downmix",
    "default - bitrate: vbr streaming",
    "fast - bitrate: cbr 128, downmix",
    "\xc3\x89"
    "clair - bitrate: vbr extreme",
});

class StoreUpgradeTest : public CliTest {
 protected:
  // Puts a copy of a version 1 store of the test data where the runs look.
  void UseVersion1Store(const std::string& name) {
    original_ = ReadWholeFile(std::string(DOVETUNE_TEST_DATA) + "/" + name);
    ASSERT_FALSE(original_.empty());
    WriteWholeFile(store_path_, original_);
    ASSERT_EQ(chmod(store_path_.c_str(), 0600), 0);
  }

  // The schema version in the file's header: SQLite's user version, stored
  // big-endian at byte 60.
  int FileVersion() const {
    const std::string header = ReadWholeFile(store_path_).substr(0, 64);
    if (header.size() < 64) return -1;
    int version = 0;
    for (int i = 60; i < 64; ++i) version = version << 8 | static_cast<unsigned char>(header[i]);
    return version;
  }

  // One line of SQL's answers, for what the program does not show.
  std::string Query(const std::string& sql) const {
    sqlite3* db = nullptr;
    std::string answer;
    if (sqlite3_open_v2(store_path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_exec(
          db, sql.c_str(),
          [](void* out, int, char** columns, char**) {
            *static_cast<std::string*>(out) += std::string(columns[0] ? columns[0] : "") + ";";
            return 0;
          },
          &answer, nullptr);
    }
    sqlite3_close(db);
    return answer;
  }

  static ProcessOptions Unprivileged() {
    ProcessOptions options;
    options.unprivileged = true;
    return options;
  }

  std::string original_;
};

TEST_F(StoreUpgradeTest, TheFirstRunUpgradesInPlaceKeepingEveryKeyAndValue) {
  UseVersion1Store("store_v1.db");
  EXPECT_EQ(Output({"view"}), kListing);
  EXPECT_EQ(FileVersion(), 2);
  EXPECT_EQ(Query("PRAGMA integrity_check"), "ok;");
  EXPECT_EQ(Query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
            "big;keys;sqlite_sequence;vals;");
  EXPECT_EQ(Query("SELECT seq FROM sqlite_sequence WHERE name = 'keys'"), "13;");
  // The current settings key's values, packed in the order they were created:
  // its last two are the other values (name size, name, type, data size, 0 for
  // data in the row, data); found under any letter case by the new folds.
  const std::string others = std::string("070000004772C3B6C39F6501000000060000000067726FC39F00") +
                             "04000000426C6F6203000000030000000000FF10";
  EXPECT_EQ(Query("SELECT substr(hex(packed), -" + std::to_string(others.size()) +
                  ") FROM vals WHERE key = (SELECT id FROM keys WHERE fold = 'ZELVO (HE-AAC)')"),
            others + ";");
  EXPECT_EQ(FirstLine(Output({"view",
                              "\xc3\xa9"
                              "CLAIR"})),
            "\xc3\xa9"
            "CLAIR - bitrate: vbr extreme");
  EXPECT_EQ(Output({"create",
                    "\xc3\x89"
                    "CLAIR"},
                   kExitFailed),
            "preset \xc3\x89"
            "CLAIR already exists\n");
  EXPECT_EQ(FirstLine(Output({"edit", "FAST", "-cbr", "64"})), "FAST - bitrate: cbr 64, downmix");
  EXPECT_EQ(FirstLine(Output({"view", "fast"})), "fast - bitrate: cbr 64, downmix");
}

TEST_F(StoreUpgradeTest, TwoNamesThatNowFoldAlikeRefuseTheStoreWhole) {
  UseVersion1Store("store_v1_collision.db");
  const std::string refusal =
      "Fatal Error: " + store_path_ +
      ": the registry store holds the keys \"\xc3\x89t\xc3\xa9\" and \"\xc3\xa9t\xc3\xa9\" under "
      "HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Presets, which this version compares as one "
      "name (rename or delete one of them with the version that made the store)\n";
  ASSERT_EQ(chmod(folder_.path().c_str(), 0755), 0);
  for (const bool writable : {true, false}) {
    ASSERT_EQ(chmod(store_path_.c_str(), writable ? 0600 : 0444), 0);
    const ProcessResult result = Run({"view"}, writable ? ProcessOptions() : Unprivileged());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, refusal);
    EXPECT_EQ(ReadWholeFile(store_path_), original_);
  }
}

// A version 1 value's type is a registry type, a number of 32 bits; any other
// is damage, refused by the upgrade and by a run that reads the store as it is.
TEST_F(StoreUpgradeTest, AValueTypeOutsideTheRegistrysIsRefused) {
  ASSERT_EQ(chmod(folder_.path().c_str(), 0755), 0);
  for (const char* type : {"4294967300", "-1", "4.5", "'x'"}) {
    UseVersion1Store("store_v1.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(store_path_.c_str(), &db), SQLITE_OK);
    const std::string damage =
        std::string("UPDATE vals SET type = ") + type + " WHERE key = 12 AND name = 'DefBitRate'";
    ASSERT_EQ(sqlite3_exec(db, damage.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string damaged = ReadWholeFile(store_path_);
    for (const bool writable : {true, false}) {
      ASSERT_EQ(chmod(store_path_.c_str(), writable ? 0600 : 0444), 0);
      const ProcessResult result = Run({"view"}, writable ? ProcessOptions() : Unprivileged());
      EXPECT_EQ(result.status, 1) << type;
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err, "Fatal Error: " + store_path_ +
                                ": the registry store is damaged (the value \"DefBitRate\" of "
                                "HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Presets\\fast "
                                "has no registry type)\n");
      EXPECT_EQ(ReadWholeFile(store_path_), damaged);
    }
  }
}

// Where no journal can be made or the file cannot be written, the store is
// read as it is, with its names folded afresh, and changes are refused.
TEST_F(StoreUpgradeTest, AVersion1StoreThatCannotBeWrittenIsServedForReading) {
  UseVersion1Store("store_v1.db");
  ASSERT_EQ(chmod(folder_.path().c_str(), 0755), 0);
  for (const bool file_writable : {false, true}) {
    SCOPED_TRACE(file_writable ? "read-only folder" : "read-only file");
    // As the unprivileged user: a file it may only read, or its own file in
    // a folder it may not write.
    ASSERT_EQ(chmod(store_path_.c_str(), file_writable ? 0600 : 0444), 0);
    ASSERT_EQ(chown(store_path_.c_str(), file_writable ? UnprivilegedUser() : geteuid(),
                    static_cast<gid_t>(-1)),
              0);
    ASSERT_EQ(chmod(folder_.path().c_str(), file_writable ? 0555 : 0755), 0);
    EXPECT_EQ(Run({"view"}, Unprivileged()).out, kListing);
    EXPECT_EQ(FirstLine(Run({"view",
                             "\xc3\xa9"
                             "clair"},
                            Unprivileged())
                            .out),
              "\xc3\xa9"
              "clair - bitrate: vbr extreme");
    const ProcessResult edit = Run({"edit", "fast", "-cbr", "64"}, Unprivileged());
    EXPECT_EQ(edit.status, 1);
    EXPECT_EQ(edit.err, "Fatal Error: " + store_path_ +
                            ": the registry store cannot be written (the file or its folder is "
                            "read-only)\n");
    EXPECT_EQ(ReadWholeFile(store_path_), original_);
  }
  ASSERT_EQ(chmod(folder_.path().c_str(), 0700), 0);
}

TEST_F(StoreUpgradeTest, ARunKilledDuringTheUpgradeLeavesTheOldVersionOrTheNew) {
  struct Kill {
    const char* point;
    bool upgraded;
  };
  for (const Kill& kill :
       {Kill{"store-upgraded", false}, Kill{"before-commit", false}, Kill{"after-commit", true}}) {
    SCOPED_TRACE(kill.point);
    UseVersion1Store("store_v1.db");
    ProcessOptions options;
    options.pause_at = kill.point;
    ASSERT_TRUE(RunUntilPausedAndKill(DOVETUNE_PAUSABLE_BINARY, {"edit", "fast", "-cbr", "64"},
                                      store_path_, options));
    if (kill.upgraded) {
      EXPECT_EQ(FileVersion(), 2);
      EXPECT_EQ(FirstLine(Output({"view", "fast"})), "fast - bitrate: cbr 64, downmix");
    } else {
      // Nothing reached the file: the run's changes were still in memory.
      EXPECT_EQ(ReadWholeFile(store_path_), original_);
      EXPECT_EQ(Output({"view"}), kListing);
      EXPECT_EQ(FileVersion(), 2);  // upgraded by that view
    }
    EXPECT_EQ(Query("PRAGMA integrity_check"), "ok;");
  }
}

}  // namespace

}  // namespace dovetune
