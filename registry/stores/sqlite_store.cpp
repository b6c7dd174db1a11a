#include "registry/stores/sqlite_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "base/little_endian.h"
#include "base/pause_point.h"
#include "base/replace_file.h"
#include "base/sync_to_disk.h"
#include "registry/stores/name_fold.h"

namespace dovetune {

namespace {

// Marks the file as ours, so that another program's database is refused.
constexpr int kApplicationId = 0x64767472;
// 1: folds from the C library's tables, values in a WITHOUT ROWID table.
// 2: folds from the fixed case tables, each key's values packed in one row.
constexpr int kSchemaVersion = 2;

// Data up to this size is packed with its key's other values; larger data is
// kept in a row of its own and read only when it is asked for, so that runs
// that never look at a large value do not read it.
constexpr size_t kHeldDataBytes = 2048;

std::string CreateKeysTable(const char* name) {
  return std::string("CREATE TABLE ") + name +
         "(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name TEXT NOT NULL,"
         " fold TEXT NOT NULL, UNIQUE(parent, fold));";
}

// One row per key that has values (PackValues), and large data in rows of
// its own, which nothing but ReadData reads.
const char kValueTables[] =
    "CREATE TABLE vals(key INTEGER PRIMARY KEY, packed BLOB NOT NULL);"
    "CREATE TABLE big(id INTEGER PRIMARY KEY, data BLOB NOT NULL);";

std::string FreshSchema() {
  return "PRAGMA application_id = 1685484658;"
         "PRAGMA user_version = 2;" +
         CreateKeysTable("keys") + kValueTables +
         "INSERT INTO keys(parent, name, fold) VALUES"
         "  (0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),"
         "  (0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
         "  (0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
         "  (0, 'HKEY_USERS', 'HKEY_USERS'),"
         "  (0, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG');"
         "INSERT INTO keys(parent, name, fold)"
         "  SELECT id, 'Software', 'SOFTWARE' FROM keys WHERE fold = 'HKEY_CURRENT_USER';";
}

// Version 1 to 2, in the run's transaction: the keys table built anew with
// every fold computed again, keeping every id and the id sequence; the old
// values are then packed key by key (UpgradeValues) before their table goes.
std::string UpgradeKeysFromVersion1() {
  return CreateKeysTable("new_keys") +
         "INSERT INTO new_keys(id, parent, name, fold)"
         "  SELECT id, parent, name, dovetune_fold(name) FROM keys ORDER BY id;"
         "UPDATE sqlite_sequence SET seq = (SELECT seq FROM sqlite_sequence WHERE name = 'keys')"
         "  WHERE name = 'new_keys';"
         "DROP TABLE keys;"
         "ALTER TABLE new_keys RENAME TO keys;"
         "ALTER TABLE vals RENAME TO old_vals;" +
         kValueTables;
}

const char kFinishUpgrade[] = "DROP TABLE old_vals; PRAGMA user_version = 2;";

// A version 1 store that this run cannot upgrade is read as it is, its names
// folded afresh.
const char kVersion1Keys[] =
    "CREATE TEMP VIEW keys AS SELECT id, parent, name, dovetune_fold(name) AS fold FROM main.keys;";

static_assert(kApplicationId == 1685484658 && kSchemaVersion == 2,
              "the schema text repeats the application id and the version");

std::string Describe(sqlite3* db, int code) {
  switch (code & 0xFF) {
    case SQLITE_NOTADB:
      return "not a registry store (the file is not a database)";
    case SQLITE_CORRUPT:
      return "the registry store is damaged";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "the registry store is in use by another run, and stayed so past the wait";
    case SQLITE_READONLY:
      return "the registry store cannot be written (the file or its folder is read-only)";
    case SQLITE_FULL:
      return "the disk is full";
    case SQLITE_NOMEM:
      return "out of memory";
    default:
      break;
  }
  std::string text = sqlite3_errstr(code);
  const int system_error = db ? sqlite3_system_errno(db) : 0;
  if (system_error != 0) text += std::string(" (") + std::strerror(system_error) + ")";
  return text;
}

StoreFailure KindOf(int code) {
  switch (code & 0xFF) {
    case SQLITE_OK:
      return StoreFailure::kNone;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return StoreFailure::kDamaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return StoreFailure::kBusy;
    case SQLITE_READONLY:
      return StoreFailure::kReadOnly;
    case SQLITE_FULL:
      return StoreFailure::kDiskFull;
    case SQLITE_NOMEM:
      return StoreFailure::kOutOfMemory;
    default:
      return StoreFailure::kIo;
  }
}

// A run reads a few pages of a small file. By default SQLite lays out room
// for twenty cached pages on the first read, touching every one of them,
// which costs a run more than its reads do; pages are then taken one at a
// time as they are needed. A run has one thread and one connection, so
// SQLite's mutexes and its count of memory in use (which takes a mutex at
// every allocation) are pure cost: a tenth of a "view" on a fresh store.
// This must come before SQLite's first use, and is refused harmlessly after
// it.
void ConfigureSqlite() {
  sqlite3_config(SQLITE_CONFIG_SINGLETHREAD);
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
}

// Whether two of the |count| names |fold| gives are one, found by sorting
// them: a key of thousands costs little more than reading it.
template <typename Fold>
bool AnyRepeated(size_t count, Fold fold) {
  std::vector<const std::string*> sorted(count);
  for (size_t i = 0; i < count; ++i) sorted[i] = &fold(i);
  std::sort(sorted.begin(), sorted.end(),
            [](const std::string* a, const std::string* b) { return *a < *b; });
  for (size_t i = 1; i < count; ++i) {
    if (*sorted[i] == *sorted[i - 1]) return true;
  }
  return false;
}

// dovetune_fold(name) in SQL: the name as the store compares it.
void FoldFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
  const void* text = sqlite3_value_text(arguments[0]);
  const int size = sqlite3_value_bytes(arguments[0]);
  const std::string folded =
      FoldName(text ? std::string(static_cast<const char*>(text), size) : std::string());
  sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

// SQLite syncs its files by itself, with fsync() unless the connection asks
// for F_FULLFSYNC; it asks where fsync() stops at the drive's cache. (A store
// keeps a rollback journal, so checkpoint_fullfsync, which concerns WAL
// checkpoints only, has nothing to do.)
int SyncThroughDriveCache(sqlite3* db) {
  if (!kFsyncStopsAtDriveCache) return SQLITE_OK;
  return sqlite3_exec(db, "PRAGMA fullfsync = 1", nullptr, nullptr, nullptr);
}

}  // namespace

class SqliteStore::Statement {
 public:
  explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int64_t number) {
    sqlite3_bind_int64(statement_, index, number);
    return *this;
  }
  Statement& Bind(int index, const std::string& text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int index, const std::string& bytes) {
    sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  int Step() { return sqlite3_step(statement_); }
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  int64_t Number(int column) { return sqlite3_column_int64(statement_, column); }
  // SQLite's type of the column's value, asked before any other reading of it.
  int Type(int column) { return sqlite3_column_type(statement_, column); }
  // The bytes of a column, valid until the next step or reset.
  const char* Blob(int column, size_t* size) {
    const void* bytes = sqlite3_column_blob(statement_, column);
    *size = static_cast<size_t>(sqlite3_column_bytes(statement_, column));
    return bytes ? static_cast<const char*>(bytes) : "";
  }
  int64_t Size(int column) { return sqlite3_column_bytes(statement_, column); }
  std::string Bytes(int column) {
    const void* bytes = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return bytes ? std::string(static_cast<const char*>(bytes), size) : std::string();
  }

 private:
  sqlite3_stmt* statement_;
};

SqliteStore::SqliteStore() = default;

SqliteStore::~SqliteStore() {
  if (in_transaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  statements_.clear();
  sqlite3_close_v2(db_);
}

bool SqliteStore::CreateFresh(const std::string& path, std::string* error) {
  ConfigureSqlite();
  sqlite3* db = nullptr;
  int code =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (code == SQLITE_OK) code = SyncThroughDriveCache(db);
  if (code == SQLITE_OK) {
    code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK)
      code = sqlite3_exec(db, FreshSchema().c_str(), nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  if (code != SQLITE_OK) *error = Describe(db, code);
  sqlite3_close_v2(db);
  return code == SQLITE_OK;
}

bool SqliteStore::Open(const std::string& path, std::string* error, bool only_read) {
  ConfigureSqlite();
  path_ = path;
  const int mode = only_read ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  int code = sqlite3_open_v2(path.c_str(), &db_, mode | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code == SQLITE_OK) code = SyncThroughDriveCache(db_);
  if (code != SQLITE_OK) {
    *error = Describe(db_, code);
    return false;
  }
  sqlite3_extended_result_codes(db_, 1);
  // Closing would otherwise look the path up again to see whether the file
  // was moved, which matters only to a store in WAL mode, which ours never is.
  sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_create_function_v2(db_, "dovetune_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                             FoldFunction, nullptr, nullptr, nullptr);
  return true;
}

std::string SqliteStore::Fold(const std::string& name) const { return FoldName(name); }

bool SqliteStore::Begin(int wait_ms) {
  if (failed()) return false;
  if (!db_ || in_transaction_) return Fail(SQLITE_MISUSE, "the registry store is not open");
  wait_ms_ = wait_ms;
  sqlite3_busy_handler(db_, WaitWhileBusy, this);
  const bool read_only = sqlite3_db_readonly(db_, "main") == 1;
  // A run that reads goes through most pages once, in order, so a small page
  // cache serves it as well as SQLite's default of 2 MB, which a "view" of
  // 10,000 presets filled; the cache grows at the run's first change. The
  // header is read below from the file itself, which must be locked for
  // that: BEGIN IMMEDIATE locks it at once, a plain BEGIN only at the first
  // statement that reads.
  const int code = sqlite3_exec(db_,
                                read_only ? "BEGIN; PRAGMA cache_size = -64; PRAGMA user_version"
                                          : "BEGIN IMMEDIATE; PRAGMA cache_size = -64",
                                nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) return Fail(code);
  in_transaction_ = true;
  cache_for_writing_ = false;
  read_only_ = read_only;
  changed_.clear();

  StoreHeader header;
  if (!ReadHeader(&header)) return false;
  if (header.application_id != kApplicationId) {
    return Fail(SQLITE_NOTADB, "not a registry store (a database of another program)");
  }
  if (header.version != 1 && header.version != kSchemaVersion) {
    return Fail(SQLITE_NOTADB,
                "a registry store of an unknown version (" + std::to_string(header.version) + ")");
  }
  if (header.file_size != header.page_count * header.page_size) {
    return Fail(SQLITE_CORRUPT,
                "the registry store is damaged (its size does not match its contents)");
  }
  tree_checked_ = false;
  return header.version == 1 ? AdoptVersion1(read_only) : true;
}

// Every key is made after its parent, and a key never moves, so its id is
// larger than its parent's. A key whose parent is itself or a later key is
// damage, and the only way a cycle can come about. It is looked for before a
// run adds its first key: keys that a cycle hid would look missing, and a
// first run's set-up would make them again. (A run that only reads pays for
// no scan of the whole table.)
bool SqliteStore::CheckKeyTree() {
  if (tree_checked_) return true;
  Statement* query = Prepare("SELECT id FROM keys WHERE parent >= id LIMIT 1");
  if (!query) return false;
  const int code = query->Step();
  query->Reset();
  if (code == SQLITE_ROW) return Damaged("its keys do not form a tree");
  tree_checked_ = code == SQLITE_DONE;
  return tree_checked_ || Fail(code);
}

// The header is read through SQLite's own handle of the file rather than with
// PRAGMA statements, each of which SQLite would parse and plan: together they
// cost a run on a small store more than its own reads. The page count is the
// one SQLite works with: the header's, unless an old version of SQLite wrote
// the file without keeping it, when the file's size gives it.
bool SqliteStore::ReadHeader(StoreHeader* header) {
  sqlite3_file* file = nullptr;
  int code = sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file);
  if (code == SQLITE_OK && (!file || !file->pMethods)) code = SQLITE_MISUSE;
  unsigned char bytes[100];
  if (code == SQLITE_OK) code = file->pMethods->xRead(file, bytes, sizeof(bytes), 0);
  sqlite3_int64 file_size = 0;
  if (code == SQLITE_OK) code = file->pMethods->xFileSize(file, &file_size);
  if (code == SQLITE_IOERR_SHORT_READ) code = SQLITE_CORRUPT;
  if (code != SQLITE_OK) return Fail(code);
  // The 32-bit fields of the SQLite file format, at their offsets.
  const auto field = [&bytes](int offset) {
    return static_cast<uint32_t>(DecodeBigEndian(bytes + offset, 4));
  };
  const int64_t page_size = static_cast<int64_t>(DecodeBigEndian(bytes + 16, 2));
  header->page_size = page_size == 1 ? 65536 : page_size;
  const uint32_t pages = field(28);
  const bool pages_kept = pages != 0 && field(24) == field(92);
  header->page_count = pages_kept ? pages : (file_size + header->page_size - 1) / header->page_size;
  header->file_size = file_size;
  // SQLite reads both as signed 32-bit numbers.
  header->application_id = static_cast<int32_t>(field(68));
  header->version = static_cast<int32_t>(field(60));
  return true;
}

// A store of version 1 is upgraded in the run's transaction, so that it is
// kept with the run's changes or not at all. Where it cannot be written it is
// read as it is, folding its names afresh. Names under one key that fold alike
// by the fixed tables make it unusable either way, and are found before
// anything is written.
bool SqliteStore::AdoptVersion1(bool read_only) {
  const std::string collision = FoldCollision();
  if (failed()) return false;
  if (!collision.empty()) return Fail(SQLITE_CORRUPT, collision);
  if (!read_only) {
    // A statement left part-way through its rows would keep its tables from
    // being dropped.
    for (auto& statement : statements_) statement.second->Reset();
    if (!GrowCacheForWriting()) return false;
    const std::string start = "SAVEPOINT upgrade;" + UpgradeKeysFromVersion1();
    int code = sqlite3_exec(db_, start.c_str(), nullptr, nullptr, nullptr);
    if (code == SQLITE_OK && UpgradeValues()) {
      code = sqlite3_exec(db_, kFinishUpgrade, nullptr, nullptr, nullptr);
      if (code == SQLITE_OK) {
        PausePoint("store-upgraded");
        return true;
      }
    }
    sqlite3_exec(db_, "ROLLBACK TO upgrade; RELEASE upgrade;", nullptr, nullptr, nullptr);
    if (failed() || (code & 0xFF) != SQLITE_READONLY) return Fail(code);
  }
  version1_ = true;
  const int code = sqlite3_exec(db_, kVersion1Keys, nullptr, nullptr, nullptr);
  return code == SQLITE_OK || Fail(code);
}

// Packs the values of version 1, one row per value, into one row per key, in
// the order they were created.
bool SqliteStore::UpgradeValues() {
  Statement* query = Prepare("SELECT key, name, type, data FROM old_vals ORDER BY key, seq");
  if (!query) return false;
  KeyId key = 0;
  std::vector<PackedValue> values;
  int code;
  while ((code = query->Step()) == SQLITE_ROW) {
    if (query->Number(0) != key && !values.empty() && !WritePacked(key, values)) break;
    if (query->Number(0) != key) values.clear();
    key = query->Number(0);
    values.emplace_back();
    values.back().name = query->Bytes(1);
    if (!Version1Type(*query, 2, key, &values.back())) break;
    if (!PlaceData(query->Bytes(3), &values.back())) break;
  }
  query->Reset();
  if (failed()) return false;
  if (code != SQLITE_DONE) return Fail(code);
  return values.empty() || WritePacked(key, values);
}

// Two names under one key that the fixed tables fold alike, told as the
// reason the store cannot be used; empty when there are none.
std::string SqliteStore::FoldCollision() {
  const char* const kQueries[] = {
      "SELECT parent, name, dovetune_fold(name) AS f FROM main.keys ORDER BY parent, f",
      "SELECT key, name, dovetune_fold(name) AS f FROM main.vals ORDER BY key, f"};
  for (const char* sql : kQueries) {
    Statement* query = Prepare(sql);
    if (!query) return std::string();
    KeyId owner = -1;
    std::string fold;
    std::string name;
    int code;
    while ((code = query->Step()) == SQLITE_ROW) {
      if (query->Number(0) == owner && query->Bytes(2) == fold) {
        const bool keys = sql == kQueries[0];
        const std::string other = query->Bytes(1);
        query->Reset();
        return std::string("the registry store holds the ") + (keys ? "keys" : "values") + " \"" +
               name + "\" and \"" + other + "\" " + (keys ? "under " : "of ") + KeyPath(owner) +
               ", which this version compares as one name (rename or delete one of them with the "
               "version that made the store)";
      }
      owner = query->Number(0);
      fold = query->Bytes(2);
      name = query->Bytes(1);
    }
    if (code != SQLITE_DONE) Fail(code);
  }
  return std::string();
}

std::string SqliteStore::KeyPath(KeyId key) {
  std::string path;
  // The depth bound keeps a damaged tree with a cycle from holding the run.
  for (int depth = 0; key != 0 && depth < 1000; ++depth) {
    Statement* query = Prepare("SELECT parent, name FROM main.keys WHERE id = ?1");
    if (!query || query->Bind(1, key).Step() != SQLITE_ROW) break;
    path = query->Bytes(1) + (path.empty() ? "" : "\\" + path);
    key = query->Number(0);
  }
  return path;
}

bool SqliteStore::Flush() {
  // Rows are written in the order of their keys: a run that made many keys,
  // such as an import, then appends to the table page after page and leaves
  // each page full, where the order of the hash would leave a third of every
  // page empty for good.
  std::vector<KeyId> keys;
  keys.reserve(changed_.size());
  for (const auto& entry : changed_) keys.push_back(entry.first);
  std::sort(keys.begin(), keys.end());
  std::vector<PackedValue> kept;
  for (KeyId key : keys) {
    ChangedValues& changed = changed_[key];
    kept.clear();
    for (size_t i = 0; i < changed.values.size(); ++i) {
      if (!changed.deleted[i]) kept.push_back(std::move(changed.values[i]));
    }
    if (!WritePacked(key, kept)) break;
  }
  changed_.clear();
  return !failed();
}

bool SqliteStore::Commit() {
  Flush();
  // A query left on a row would hold the file for reading past the commit.
  for (auto& statement : statements_) statement.second->Reset();
  if (!failed() && in_transaction_) {
    const bool journaled = JournalIsOpen();
    const int code = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) {
      in_transaction_ = false;
      // The commit is kept once SQLite has deleted the journal, and SQLite
      // leaves the deletion to reach the disk when the file system gets to
      // it: a power loss soon after could bring the journal back, and the
      // next run would roll the commit back. (PRAGMA synchronous = EXTRA
      // would sync the folder too, but setting it makes every run read the
      // file's schema twice.)
      if (journaled) SyncFolderOf(sqlite3_db_filename(db_, "main"));
      return true;
    }
    Fail(code);
  }
  if (in_transaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  in_transaction_ = false;
  return Fail(SQLITE_MISUSE, "the registry store is not open");
}

// Whether this run has written to the store's rollback journal, which it
// opens at the first change.
bool SqliteStore::JournalIsOpen() {
  sqlite3_file* journal = nullptr;
  return sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &journal) == SQLITE_OK &&
         journal && journal->pMethods;
}

int SqliteStore::WaitWhileBusy(void* store, int attempt) {
  using std::chrono::milliseconds;
  auto* self = static_cast<SqliteStore*>(store);
  const auto now = std::chrono::steady_clock::now();
  if (attempt == 0) self->wait_start_ = now;
  const auto waited = std::chrono::duration_cast<milliseconds>(now - self->wait_start_);
  if (waited.count() >= self->wait_ms_) return 0;
  if (waited.count() >= 1000 && !self->wait_noticed_) {
    self->wait_noticed_ = true;
    if (self->wait_notice_) self->wait_notice_();
  }
  // Short sleeps at first, as SQLite's own timeout takes them: most waits
  // are for a run of a few milliseconds.
  const int64_t step =
      std::min<int64_t>(attempt < 5 ? 1 << attempt : 25, self->wait_ms_ - waited.count());
  std::this_thread::sleep_for(milliseconds(step));
  return 1;
}

bool SqliteStore::Fail(int code, const std::string& reason) {
  if (failure_.empty()) {
    failure_ = reason.empty() ? Describe(db_, code) : reason;
    failure_kind_ = KindOf(code);
  }
  return false;
}

SqliteStore::Statement* SqliteStore::Prepare(const char* sql) {
  if (failed()) return nullptr;
  auto found = statements_.find(sql);
  if (found != statements_.end()) {
    found->second->Reset();
    return found->second.get();
  }
  sqlite3_stmt* raw = nullptr;
  const int code = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  if (code != SQLITE_OK) {
    // Our statements fail to prepare only on tables that are not as we made
    // them; SQLite's own text ("SQL logic error") would not tell the user so.
    const std::string detail = sqlite3_errmsg(db_);
    sqlite3_finalize(raw);
    if ((code & 0xFF) == SQLITE_ERROR) {
      Fail(SQLITE_CORRUPT, "the registry store is damaged (" + detail + ")");
    } else {
      Fail(code);
    }
    return nullptr;
  }
  return statements_.emplace(sql, std::make_unique<Statement>(raw)).first->second.get();
}

// Runs a statement that changes rows.
bool SqliteStore::Change(Statement* statement) {
  if (!statement) return false;
  const int code = statement->Step();
  if (code != SQLITE_DONE) return Fail(code);
  return true;
}

// Runs a query for one number; 0 when it finds no row or fails.
int64_t SqliteStore::QueryNumber(Statement* statement) {
  if (!statement) return 0;
  const int code = statement->Step();
  if (code == SQLITE_ROW) return statement->Number(0);
  if (code != SQLITE_DONE) Fail(code);
  return 0;
}

KeyId SqliteStore::FindRoot(const std::string& folded_name) { return FindChild(0, folded_name); }

KeyId SqliteStore::FindChild(KeyId parent, const std::string& folded_name) {
  Statement* query = Prepare("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  if (query) query->Bind(1, parent).Bind(2, folded_name);
  return QueryNumber(query);
}

// A run that writes keeps every page it changed until the commit: with the
// small cache of a reading run, a large import would have to write changed
// pages out part-way, syncing the journal first each time.
bool SqliteStore::GrowCacheForWriting() {
  if (cache_for_writing_ || failed()) return !failed();
  cache_for_writing_ = true;
  const int code = sqlite3_exec(db_, "PRAGMA cache_size = -256", nullptr, nullptr, nullptr);
  return code == SQLITE_OK || Fail(code);
}

KeyId SqliteStore::AddChild(KeyId parent, const std::string& name, const std::string& folded_name) {
  if (!CheckKeyTree() || !GrowCacheForWriting()) return 0;
  Statement* insert = Prepare("INSERT INTO main.keys(parent, name, fold) VALUES (?1, ?2, ?3)");
  if (insert) insert->Bind(1, parent).Bind(2, name).Bind(3, folded_name);
  return Change(insert) ? sqlite3_last_insert_rowid(db_) : 0;
}

bool SqliteStore::HasChildren(KeyId key) {
  Statement* query = Prepare("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  if (query) query->Bind(1, key);
  return QueryNumber(query) != 0;
}

bool SqliteStore::DeleteKey(KeyId key) {
  ChangedValues* changed = ValuesToChange(key);
  if (!changed) return false;
  for (size_t i = 0; i < changed->values.size(); ++i) {
    if (!changed->deleted[i] && !DropData(changed->values[i])) return false;
  }
  changed_.erase(key);
  if (!WritePacked(key, {})) return false;
  Statement* row = Prepare("DELETE FROM main.keys WHERE id = ?1");
  if (row) row->Bind(1, key);
  return Change(row);
}

std::vector<StoredKey> SqliteStore::Children(KeyId parent) {
  std::vector<StoredKey> children;
  // The folds are made here rather than read: that costs less than taking
  // one more column from SQLite.
  Statement* query = Prepare("SELECT id, name FROM keys WHERE parent = ?1 ORDER BY fold");
  if (!query) return children;
  query->Bind(1, parent);
  int code;
  while ((code = query->Step()) == SQLITE_ROW) {
    size_t size = 0;
    const char* name = query->Blob(1, &size);
    StoredKey child{query->Number(0), std::string(name, size), std::string()};
    child.folded_name = FoldName(child.name);
    // The registry's key names are far shorter; one of 64 KB or more is damage.
    if (size > UINT16_MAX || child.folded_name.size() > UINT16_MAX) {
      query->Reset();
      Damaged("a key name is longer than any the registry allows");
      return {};
    }
    children.push_back(std::move(child));
  }
  if (code != SQLITE_DONE) {
    Fail(code);
    children.clear();
  }
  return children;
}

// A key's values as they are packed in its row, in the order they were
// created; none when it has no row.
bool SqliteStore::ReadPacked(KeyId key, std::vector<PackedValue>* values) {
  if (version1_) return ReadVersion1(key, values);
  Statement* query = Prepare("SELECT packed FROM vals WHERE key = ?1");
  if (!query) return false;
  const int code = query->Bind(1, key).Step();
  if (code == SQLITE_DONE) {
    values->clear();
    return true;
  }
  if (code != SQLITE_ROW) return Fail(code);
  size_t size = 0;
  const char* bytes = query->Blob(0, &size);
  // A key without values has no row; an empty row is damage.
  const bool whole = size != 0 && UnpackValues(bytes, size, values);
  query->Reset();
  if (!whole) return DamagedValues(key);
  std::vector<std::string> folds(values->size());
  for (size_t i = 0; i < values->size(); ++i) {
    const PackedValue& value = (*values)[i];
    if (value.big_id != 0 && !BigDataThere(value.big_id, value.size)) {
      return !failed() && MissingData(key, value.name);
    }
    folds[i] = Fold(value.name);
  }
  const auto fold = [&folds](size_t i) -> const std::string& { return folds[i]; };
  return !AnyRepeated(folds.size(), fold) || RepeatedValues(key);
}

// The values of a version 1 store that this run only reads, with their data.
bool SqliteStore::ReadVersion1(KeyId key, std::vector<PackedValue>* values) {
  values->clear();
  Statement* query = Prepare("SELECT name, type, data FROM main.vals WHERE key = ?1 ORDER BY seq");
  if (!query) return false;
  query->Bind(1, key);
  int code;
  while ((code = query->Step()) == SQLITE_ROW) {
    values->emplace_back();
    values->back().name = query->Bytes(0);
    if (!Version1Type(*query, 1, key, &values->back())) {
      query->Reset();
      return false;
    }
    values->back().data = query->Bytes(2);
    values->back().size = static_cast<uint32_t>(values->back().data.size());
  }
  return code == SQLITE_DONE || Fail(code);
}

// The type of a version 1 value, column |column| of |row|: a number of 32
// bits, as the registry's types are; anything else is damage.
bool SqliteStore::Version1Type(Statement& row, int column, KeyId key, PackedValue* value) {
  const bool number = row.Type(column) == SQLITE_INTEGER;
  const int64_t type = row.Number(column);
  if (number && type >= 0 && type <= int64_t{UINT32_MAX}) {
    value->type = static_cast<uint32_t>(type);
    return true;
  }
  const std::string what =
      "the value \"" + value->name + "\" of " + KeyPath(key) + " has no registry type";
  row.Reset();
  return Damaged(what);
}

// Writes a key's values as its one row, or drops the row when there are none.
bool SqliteStore::WritePacked(KeyId key, const std::vector<PackedValue>& values) {
  if (version1_) return Fail(SQLITE_READONLY);
  Statement* write = values.empty()
                         ? Prepare("DELETE FROM main.vals WHERE key = ?1")
                         : Prepare("REPLACE INTO main.vals(key, packed) VALUES (?1, ?2)");
  if (write) {
    write->Bind(1, key);
    if (!values.empty()) write->BindBlob(2, PackValues(values));
  }
  return Change(write);
}

// Keeps |data| in the value: in its key's row when small, in a row of its own
// when large.
bool SqliteStore::PlaceData(const std::string& data, PackedValue* value) {
  value->size = static_cast<uint32_t>(data.size());
  value->big_id = 0;
  if (data.size() <= kHeldDataBytes) {
    value->data = data;
    return true;
  }
  value->data.clear();
  Statement* insert = Prepare("INSERT INTO main.big(data) VALUES (?1)");
  if (insert) insert->BindBlob(1, data);
  if (!Change(insert)) return false;
  value->big_id = sqlite3_last_insert_rowid(db_);
  return true;
}

// Deletes the row holding a value's large data, if it has one.
bool SqliteStore::DropData(const PackedValue& value) {
  if (value.big_id == 0) return true;
  Statement* remove = Prepare("DELETE FROM main.big WHERE id = ?1");
  if (remove) remove->Bind(1, value.big_id);
  return Change(remove);
}

// The index of the value named |folded_name| among |values|, or -1.
int SqliteStore::FindValue(const std::vector<PackedValue>& values,
                           const std::string& folded_name) const {
  std::string folded;
  for (size_t i = 0; i < values.size(); ++i) {
    FoldName(values[i].name.data(), values[i].name.size(), &folded);
    if (folded == folded_name) return static_cast<int>(i);
  }
  return -1;
}

bool SqliteStore::Damaged(const std::string& what) {
  return Fail(SQLITE_CORRUPT, "the registry store is damaged (" + what + ")");
}

bool SqliteStore::DamagedValues(KeyId key) {
  return Damaged("the values of " + KeyPath(key) + " cannot be read");
}

bool SqliteStore::RepeatedValues(KeyId key) {
  return Damaged(KeyPath(key) + " holds two values of one name");
}

bool SqliteStore::MissingData(KeyId key, const std::string& name) {
  return Damaged("the data of the value \"" + name + "\" of " + KeyPath(key) + " is missing");
}

// Whether the row of large data |id| is there with |size| bytes.
bool SqliteStore::BigDataThere(int64_t id, uint32_t size) {
  Statement* query = Prepare("SELECT length(data) FROM main.big WHERE id = ?1");
  if (!query) return false;
  const int code = query->Bind(1, id).Step();
  const bool there = code == SQLITE_ROW && query->Number(0) == int64_t{size};
  query->Reset();
  return there || (code != SQLITE_ROW && code != SQLITE_DONE && Fail(code));
}

namespace {

// Fills |to| from one packed value, reusing its strings' room. Keys of one
// kind name their values alike, so a name often equals the one already in
// its place, whose fold is then already there too. Large data is left unread.
void TakeValue(const PackedEntry& from, size_t index, StoredValue* to) {
  std::string& name = to->value.name;
  const bool same_name = name.size() == from.name_size && !to->folded_name.empty() &&
                         std::memcmp(name.data(), from.name, from.name_size) == 0;
  if (!same_name) {
    name.assign(from.name, from.name_size);
    FoldName(from.name, from.name_size, &to->folded_name);
  }
  to->value.type = from.type;
  to->place = static_cast<int64_t>(index) + 1;
  to->data_held = from.big_id == 0;
  to->unheld_size = to->data_held ? 0 : from.size;
  if (to->data_held) {
    to->value.data.assign(from.data, from.size);
  } else {
    to->value.data.clear();
  }
}

}  // namespace

// A key's values straight from the bytes of its row: a listing reads them
// key after key, and copying each name and datum once more would cost as
// much as finding the row.
bool SqliteStore::Values(KeyId key, std::vector<StoredValue>* values) {
  size_t count = 0;
  bool large = false;  // a value's data is in a row of its own
  auto take = [&](const PackedEntry& entry) {
    if (values->size() <= count) values->emplace_back();
    TakeValue(entry, count, &(*values)[count]);
    ++count;
    large |= entry.big_id != 0;
  };
  // False when the row's bytes are not a packing. A key without values has
  // no row, so an empty one is not one either.
  auto take_row = [&](const char* bytes, size_t size) {
    PackedReader reader(bytes, size);
    PackedEntry entry;
    while (reader.Next(&entry)) take(entry);
    return size != 0 && !reader.damaged();
  };
  const auto changed = changed_.find(key);
  if (version1_ || changed != changed_.end()) {
    std::vector<PackedValue> read;
    if (!ReadValues(key, &read)) return false;
    for (const PackedValue& value : read) {
      take(PackedEntry{value.name.data(), value.name.size(), value.type, value.size, value.big_id,
                       value.data.data()});
    }
    large = false;  // checked as the row was read
  } else {
    if (failed()) return false;
    Statement* query = Prepare("SELECT packed FROM vals WHERE key = ?1");
    if (!query) return false;
    const int code = query->Bind(1, key).Step();
    if (code != SQLITE_ROW && code != SQLITE_DONE) return Fail(code);
    size_t size = 0;
    const char* bytes = code == SQLITE_ROW ? query->Blob(0, &size) : "";
    const bool whole = code == SQLITE_DONE || take_row(bytes, size);
    query->Reset();
    if (!whole) return DamagedValues(key);
  }
  values->resize(count);
  // Large data is rare: the row is read again, as when a value is changed,
  // to see that each row it names is there.
  std::vector<PackedValue> packed;
  if (large && !ReadPacked(key, &packed)) return false;
  const auto fold = [values](size_t i) -> const std::string& { return (*values)[i].folded_name; };
  return !AnyRepeated(count, fold) || RepeatedValues(key);
}

bool SqliteStore::ReadData(KeyId key, const std::string& folded_name, std::string* data) {
  std::vector<PackedValue> read;
  const PackedValue* found = FindForReading(key, folded_name, &read);
  if (!found) return false;
  const PackedValue& value = *found;
  if (value.big_id == 0) {
    *data = value.data;
    return true;
  }
  Statement* query = Prepare("SELECT data FROM big WHERE id = ?1");
  if (!query) return false;
  const int code = query->Bind(1, value.big_id).Step();
  if (code != SQLITE_ROW && code != SQLITE_DONE) return Fail(code);
  if (code == SQLITE_DONE || static_cast<uint64_t>(query->Size(0)) != value.size) {
    query->Reset();
    return MissingData(key, value.name);
  }
  *data = query->Bytes(0);
  return true;
}

SqliteStore::ChangedValues* SqliteStore::ValuesToChange(KeyId key) {
  if (failed()) return nullptr;
  if (read_only_ || version1_) {
    Fail(SQLITE_READONLY);
    return nullptr;
  }
  auto found = changed_.find(key);
  if (found != changed_.end()) return &found->second;
  if (!GrowCacheForWriting()) return nullptr;
  std::vector<PackedValue> values;
  if (!ReadPacked(key, &values)) return nullptr;
  ChangedValues& changed = changed_[key];
  changed.values = std::move(values);
  changed.deleted.assign(changed.values.size(), false);
  for (size_t i = 0; i < changed.values.size(); ++i) {
    changed.places.emplace(Fold(changed.values[i].name), i);
  }
  return &changed;
}

bool SqliteStore::ReadValues(KeyId key, std::vector<PackedValue>* values) {
  auto found = changed_.find(key);
  if (found == changed_.end()) return ReadPacked(key, values);
  if (failed()) return false;
  const ChangedValues& changed = found->second;
  values->clear();
  for (size_t i = 0; i < changed.values.size(); ++i) {
    if (!changed.deleted[i]) values->push_back(changed.values[i]);
  }
  return true;
}

const PackedValue* SqliteStore::FindForReading(KeyId key, const std::string& folded_name,
                                               std::vector<PackedValue>* read) {
  auto found = changed_.find(key);
  if (found == changed_.end()) {
    if (!ReadPacked(key, read)) return nullptr;
    const int index = FindValue(*read, folded_name);
    return index < 0 ? nullptr : &(*read)[index];
  }
  if (failed()) return nullptr;
  auto place = found->second.places.find(folded_name);
  return place == found->second.places.end() ? nullptr : &found->second.values[place->second];
}

// A replaced value keeps its place and name. The key's row is written at the
// end of the run (Flush); large data has its own row at once.
bool SqliteStore::SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) {
  ChangedValues* changed = ValuesToChange(key);
  if (!changed) return false;
  PackedValue* to = nullptr;
  auto place = changed->places.find(folded_name);
  if (place != changed->places.end()) {
    to = &changed->values[place->second];
    if (!DropData(*to)) return false;
  } else {
    changed->places.emplace(folded_name, changed->values.size());
    changed->values.emplace_back();
    changed->deleted.push_back(false);
    to = &changed->values.back();
    to->name = value.name;
  }
  to->type = value.type;
  return PlaceData(value.data, to);
}

bool SqliteStore::DeleteValue(KeyId key, const std::string& folded_name) {
  // Deleting a value that is not there changes nothing, even in a store that
  // cannot be changed.
  std::vector<PackedValue> read;
  if (!FindForReading(key, folded_name, &read)) return false;
  ChangedValues* changed = ValuesToChange(key);
  if (!changed) return false;
  auto place = changed->places.find(folded_name);
  if (!DropData(changed->values[place->second])) return false;
  changed->values[place->second] = PackedValue();
  changed->deleted[place->second] = true;
  changed->places.erase(place);
  return true;
}

}  // namespace dovetune
