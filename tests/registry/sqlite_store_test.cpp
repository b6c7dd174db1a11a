// The SQLite store says why it stopped in the kinds every store shares, so
// that the registry above it answers alike whatever the store.

#include "registry/stores/sqlite_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>

#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

// A SQLite database file at |path|, changed by |sql|.
void MakeDatabase(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

// The number of rows of large data in the store at |path|.
int64_t BigRows(const std::string& path) {
  sqlite3* db = nullptr;
  int64_t rows = -1;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
    const auto take = [](void* out, int, char** text, char**) {
      *static_cast<int64_t*>(out) = std::stoll(text[0]);
      return 0;
    };
    sqlite3_exec(db, "SELECT count(*) FROM big", take, &rows, nullptr);
  }
  sqlite3_close(db);
  return rows;
}

TEST(SqliteStoreTest, FailuresAtTheStartOfARunHaveTheirKindAndWords) {
  TempFolder folder;
  const std::string garbage = folder.File("garbage");
  WriteWholeFile(garbage, std::string(4096, 'x'));
  const std::string foreign = folder.File("foreign.db");
  MakeDatabase(foreign, "CREATE TABLE t(x);");
  const std::string held = folder.File("held.db");
  std::string error;
  ASSERT_TRUE(SqliteStore::CreateFresh(held, &error)) << error;

  // Another connection holds the store for writing, as a run ahead would.
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(held.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

  const struct {
    std::string path;
    StoreFailure kind;
    std::string reason;
  } cases[] = {
      {garbage, StoreFailure::kDamaged, "not a registry store (the file is not a database)"},
      {foreign, StoreFailure::kDamaged, "not a registry store (a database of another program)"},
      {held, StoreFailure::kBusy,
       "the registry store is in use by another run, and stayed so past the wait"},
  };
  for (const auto& test : cases) {
    SqliteStore store;
    ASSERT_TRUE(store.Open(test.path, &error)) << error;
    EXPECT_FALSE(store.Begin(0)) << test.path;
    EXPECT_EQ(store.failure(), test.kind) << test.path;
    EXPECT_EQ(store.failure_reason(), test.reason);
    // The failure sticks: nothing after it reaches the file.
    EXPECT_EQ(store.FindRoot(store.Fold("HKEY_CURRENT_USER")), 0);
    EXPECT_FALSE(store.Commit());
    EXPECT_EQ(store.failure_reason(), test.reason);
  }
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
}

// A run that lists a key's values does not read large data: it is handed over
// only when asked for, so that a large value costs only the runs that use it.
TEST(SqliteStoreTest, LargeDataIsReadOnlyWhenAskedFor) {
  TempFolder folder;
  const std::string path = folder.File("store.db");
  std::string error;
  ASSERT_TRUE(SqliteStore::CreateFresh(path, &error)) << error;
  const std::string large(5000, 'L');
  KeyId software = 0;
  {
    SqliteStore store;
    ASSERT_TRUE(store.Open(path, &error) && store.Begin(0)) << error;
    software = store.FindChild(store.FindRoot("HKEY_CURRENT_USER"), "SOFTWARE");
    ASSERT_TRUE(store.SetValue(software, StoreValue{"Large", 3, large}, "LARGE"));
    ASSERT_TRUE(store.SetValue(software, StoreValue{"Small", 3, std::string(2048, 'S')}, "SMALL"));
    ASSERT_TRUE(store.Commit());
  }
  SqliteStore store;
  ASSERT_TRUE(store.Open(path, &error) && store.Begin(0)) << error;
  std::vector<StoredValue> values;
  ASSERT_TRUE(store.Values(software, &values));
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].value.name, "Large");
  EXPECT_FALSE(values[0].data_held);
  EXPECT_EQ(values[0].value.data, "");
  EXPECT_EQ(values[0].data_size(), large.size());
  EXPECT_TRUE(values[1].data_held);
  EXPECT_EQ(values[1].value.data, std::string(2048, 'S'));
  std::string data;
  ASSERT_TRUE(store.ReadData(software, "LARGE", &data));
  EXPECT_EQ(data, large);
  EXPECT_FALSE(store.ReadData(software, "MISSING", &data));
  EXPECT_FALSE(store.failed());
  EXPECT_TRUE(store.Commit());

  // The row holding the large data is gone: the store is damaged, as the
  // key's values are read, whether listed or read one at a time.
  MakeDatabase(path, "DELETE FROM big");
  for (const bool listed : {true, false}) {
    SqliteStore damaged;
    ASSERT_TRUE(damaged.Open(path, &error) && damaged.Begin(0)) << error;
    if (listed) {
      std::vector<StoredValue> values;
      EXPECT_FALSE(damaged.Values(software, &values));
    } else {
      EXPECT_FALSE(damaged.ReadData(software, "SMALL", &data));
    }
    EXPECT_EQ(damaged.failure(), StoreFailure::kDamaged);
    EXPECT_EQ(damaged.failure_reason(),
              "the registry store is damaged (the data of the value \"Large\" of "
              "HKEY_CURRENT_USER\\Software is missing)");
  }
}

// A row of large data goes with its value, however the value goes, in the
// run that made it as in a later one: a store never keeps data nothing names.
TEST(SqliteStoreTest, LargeDataGoesWithItsValue) {
  const std::string large(5000, 'L');
  struct Case {
    const char* what;
    bool same_run;  // changed in the run that set the large value
    std::function<bool(SqliteStore&, KeyId key)> change;
    int64_t rows_left;
  };
  const auto set = [](const std::string& data) {
    return [data](SqliteStore& store, KeyId key) {
      return store.SetValue(key, StoreValue{"large", 3, data}, "LARGE");
    };
  };
  const auto remove = [](SqliteStore& store, KeyId key) { return store.DeleteValue(key, "LARGE"); };
  const auto delete_key = [](SqliteStore& store, KeyId key) { return store.DeleteKey(key); };
  const Case cases[] = {
      {"replaced by small data", false, set("small"), 0},
      {"replaced by large data", false, set(std::string(6000, 'M')), 1},
      {"deleted", false, remove, 0},
      {"its key deleted", false, delete_key, 0},
      {"replaced by small data in its run", true, set("small"), 0},
      {"replaced by large data in its run", true, set(std::string(6000, 'M')), 1},
      {"deleted in its run", true, remove, 0},
      {"its key deleted in its run", true, delete_key, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const std::string path = folder.File("store.db");
    std::string error;
    ASSERT_TRUE(SqliteStore::CreateFresh(path, &error)) << error;
    KeyId software = 0;
    KeyId key = 0;
    {
      SqliteStore store;
      ASSERT_TRUE(store.Open(path, &error) && store.Begin(0)) << error;
      software = store.FindChild(store.FindRoot("HKEY_CURRENT_USER"), "SOFTWARE");
      key = store.AddChild(software, "Key", "KEY");
      ASSERT_TRUE(store.SetValue(key, StoreValue{"Large", 3, large}, "LARGE"));
      ASSERT_TRUE(store.SetValue(key, StoreValue{"Other", 3, "kept"}, "OTHER"));
      if (c.same_run) {
        ASSERT_TRUE(c.change(store, key));
      }
      ASSERT_TRUE(store.Commit());
    }
    if (!c.same_run) {
      SqliteStore store;
      ASSERT_TRUE(store.Open(path, &error) && store.Begin(0)) << error;
      ASSERT_TRUE(c.change(store, key));
      ASSERT_TRUE(store.Commit());
    }
    EXPECT_EQ(BigRows(path), c.rows_left);
  }
}

// A key name longer than any the registry allows can only come from a
// damaged file: listing it fails the run rather than leave the key out.
TEST(SqliteStoreTest, AListedKeyNameTooLongToHoldIsDamage) {
  TempFolder folder;
  const std::string path = folder.File("store.db");
  std::string error;
  ASSERT_TRUE(SqliteStore::CreateFresh(path, &error)) << error;
  KeyId software = 0;
  {
    SqliteStore store;
    ASSERT_TRUE(store.Open(path, &error) && store.Begin(0)) << error;
    software = store.FindChild(store.FindRoot("HKEY_CURRENT_USER"), "SOFTWARE");
    ASSERT_NE(store.AddChild(software, "Long", "LONG"), 0);
    ASSERT_TRUE(store.Commit());
  }
  MakeDatabase(path,
               "UPDATE keys SET name = zeroblob(70000) WHERE id = (SELECT max(id) FROM keys)");
  SqliteStore store;
  ASSERT_TRUE(store.Open(path, &error) && store.Begin(0)) << error;
  EXPECT_TRUE(store.Children(software).empty());
  EXPECT_EQ(store.failure(), StoreFailure::kDamaged);
  EXPECT_EQ(store.failure_reason(),
            "the registry store is damaged (a key name is longer than any the registry allows)");
}

// A fresh store, open for a run, with HKEY_CURRENT_USER\Software at hand.
class FreshSqliteStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(SqliteStore::CreateFresh(path_, &error)) << error;
    ASSERT_TRUE(store_.Open(path_, &error) && store_.Begin(0)) << error;
    software_ = store_.FindChild(store_.FindRoot("HKEY_CURRENT_USER"), "SOFTWARE");
  }
  KeyId AddKey(KeyId parent, const std::string& name) {
    return store_.AddChild(parent, name, store_.Fold(name));
  }

  TempFolder folder_;
  const std::string path_ = folder_.File("store.db");
  SqliteStore store_;
  KeyId software_ = 0;
};

// A run that reads keeps a small page cache; one that changes many keys, as
// an import does, keeps every page it changed until its commit rather than
// writing them into the store part-way, which would sync the journal first
// each time.
TEST_F(FreshSqliteStoreTest, ARunOfManyChangesLeavesTheFileAloneUntilItsCommit) {
  const std::string before = ReadWholeFile(path_);
  for (int i = 0; i < 500; ++i) {
    ASSERT_NE(AddKey(software_, "a key of a long import, number " + std::to_string(i)), 0);
  }
  EXPECT_TRUE(ReadWholeFile(path_) == before);
  ASSERT_TRUE(store_.Commit());
  EXPECT_FALSE(ReadWholeFile(path_) == before);
}

}  // namespace

}  // namespace dovetune
