#include "registry/stores/sqlite_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "registry/name_fold.h"

namespace dovetune {

namespace {

// Marks the file as ours, so that another program's database is refused.
constexpr int kApplicationId = 0x64767472;
constexpr int kSchemaVersion = 1;

const char kSchema[] =
    "PRAGMA application_id = 1685484658;"
    "PRAGMA user_version = 1;"
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  UNIQUE(parent, fold));"
    "CREATE TABLE vals("
    "  key INTEGER NOT NULL,"
    "  seq INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, fold)) WITHOUT ROWID;"
    "CREATE UNIQUE INDEX vals_in_order ON vals(key, seq);"
    "INSERT INTO keys(parent, name, fold) VALUES"
    "  (0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),"
    "  (0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
    "  (0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
    "  (0, 'HKEY_USERS', 'HKEY_USERS'),"
    "  (0, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG');"
    "INSERT INTO keys(parent, name, fold)"
    "  SELECT id, 'Software', 'SOFTWARE' FROM keys WHERE fold = 'HKEY_CURRENT_USER';";

static_assert(kApplicationId == 1685484658, "the schema text repeats the application id");

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
// time as they are needed. This must come before SQLite's first use, and is
// refused harmlessly after it.
void ConfigureSqlite() { sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0); }

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
  if (code == SQLITE_OK) {
    code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) code = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  if (code != SQLITE_OK) *error = Describe(db, code);
  sqlite3_close_v2(db);
  return code == SQLITE_OK;
}

bool SqliteStore::Open(const std::string& path, std::string* error) {
  ConfigureSqlite();
  path_ = path;
  const int code =
      sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) {
    *error = Describe(db_, code);
    return false;
  }
  sqlite3_extended_result_codes(db_, 1);
  return true;
}

std::string SqliteStore::Fold(const std::string& name) const { return FoldName(name); }

bool SqliteStore::Begin(int wait_ms) {
  if (failed()) return false;
  if (!db_ || in_transaction_) return Fail(SQLITE_MISUSE, "the registry store is not open");
  wait_ms_ = wait_ms;
  sqlite3_busy_handler(db_, WaitWhileBusy, this);
  const bool read_only = sqlite3_db_readonly(db_, "main") == 1;
  const int code =
      sqlite3_exec(db_, read_only ? "BEGIN" : "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) return Fail(code);
  in_transaction_ = true;

  int64_t numbers[4] = {0, 0, 0, 0};
  const char* const kChecks[] = {"PRAGMA application_id", "PRAGMA user_version",
                                 "PRAGMA page_count", "PRAGMA page_size"};
  for (int i = 0; i < 4; ++i) numbers[i] = QueryNumber(Prepare(kChecks[i]));
  if (failed()) return false;
  if (numbers[0] != kApplicationId) {
    return Fail(SQLITE_NOTADB, "not a registry store (a database of another program)");
  }
  if (numbers[1] != kSchemaVersion) {
    return Fail(SQLITE_NOTADB,
                "a registry store of an unknown version (" + std::to_string(numbers[1]) + ")");
  }
  struct stat file_status;
  if (stat(path_.c_str(), &file_status) == 0 &&
      static_cast<int64_t>(file_status.st_size) != numbers[2] * numbers[3]) {
    return Fail(SQLITE_CORRUPT,
                "the registry store is damaged (its size does not match its contents)");
  }
  return true;
}

bool SqliteStore::Commit() {
  if (!failed() && in_transaction_) {
    const int code = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) {
      in_transaction_ = false;
      return true;
    }
    Fail(code);
  }
  if (in_transaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  in_transaction_ = false;
  return Fail(SQLITE_MISUSE, "the registry store is not open");
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

KeyId SqliteStore::AddChild(KeyId parent, const std::string& name, const std::string& folded_name) {
  Statement* insert = Prepare("INSERT INTO keys(parent, name, fold) VALUES (?1, ?2, ?3)");
  if (insert) insert->Bind(1, parent).Bind(2, name).Bind(3, folded_name);
  return Change(insert) ? sqlite3_last_insert_rowid(db_) : 0;
}

bool SqliteStore::HasChildren(KeyId key) {
  Statement* query = Prepare("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  if (query) query->Bind(1, key);
  return QueryNumber(query) != 0;
}

bool SqliteStore::DeleteKey(KeyId key) {
  Statement* values = Prepare("DELETE FROM vals WHERE key = ?1");
  if (values) values->Bind(1, key);
  if (!Change(values)) return false;
  Statement* row = Prepare("DELETE FROM keys WHERE id = ?1");
  if (row) row->Bind(1, key);
  return Change(row);
}

std::vector<StoredKey> SqliteStore::Children(KeyId parent) {
  std::vector<StoredKey> children;
  Statement* query = Prepare("SELECT id, name, fold FROM keys WHERE parent = ?1 ORDER BY fold");
  if (!query) return children;
  query->Bind(1, parent);
  int code;
  while ((code = query->Step()) == SQLITE_ROW) {
    children.push_back(StoredKey{query->Number(0), query->Bytes(1), query->Bytes(2)});
  }
  if (code != SQLITE_DONE) Fail(code);
  return children;
}

// Reads the rows along the primary key, which holds every column: one search,
// where ordering by place would search the table once more for every value.
std::vector<StoredValue> SqliteStore::Values(KeyId key) {
  std::vector<StoredValue> values;
  values.reserve(16);  // every settings set holds ten
  Statement* query = Prepare("SELECT name, type, data, fold, seq FROM vals WHERE key = ?1");
  if (!query) return values;
  query->Bind(1, key);
  int code;
  while ((code = query->Step()) == SQLITE_ROW) {
    values.push_back(StoredValue{
        StoreValue{query->Bytes(0), static_cast<uint32_t>(query->Number(1)), query->Bytes(2)},
        query->Bytes(3), query->Number(4)});
  }
  if (code != SQLITE_DONE) Fail(code);
  return values;
}

bool SqliteStore::SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) {
  Statement* upsert = Prepare(
      "INSERT INTO vals(key, seq, name, fold, type, data) VALUES"
      " (?1, (SELECT IFNULL(MAX(seq), 0) + 1 FROM vals WHERE key = ?1), ?2, ?3, ?4, ?5)"
      " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
  if (upsert) {
    upsert->Bind(1, key).Bind(2, value.name).Bind(3, folded_name);
    upsert->Bind(4, static_cast<int64_t>(value.type)).BindBlob(5, value.data);
  }
  return Change(upsert);
}

bool SqliteStore::DeleteValue(KeyId key, const std::string& folded_name) {
  Statement* remove = Prepare("DELETE FROM vals WHERE key = ?1 AND fold = ?2");
  if (remove) remove->Bind(1, key).Bind(2, folded_name);
  return Change(remove) && sqlite3_changes(db_) > 0;
}

}  // namespace dovetune
