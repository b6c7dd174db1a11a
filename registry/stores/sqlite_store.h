// The embedded registry's tables in one SQLite file, and the one transaction a
// run of the program works in. Keys form a tree of rows; each value row keeps
// the place it was created in. Nothing here knows registry semantics beyond
// that: names arrive already folded for comparison.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace dovetune {

class SqliteStore {
 public:
  struct Value {
    std::string name;
    uint32_t type = 0;
    std::string data;
  };
  struct StoredValue {
    Value value;
    std::string folded_name;
    int64_t place;  // values of a key are in the order of their places
  };
  struct Child {
    int64_t id;
    std::string name;
    std::string folded_name;
  };

  SqliteStore();
  ~SqliteStore();
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  // Writes a fresh, empty registry to a new file at |path|, which must not
  // exist yet: the roots, and HKEY_CURRENT_USER\Software.
  static bool CreateFresh(const std::string& path, std::string* error);

  // Opens an existing store and begins the run's transaction, waiting up to
  // |wait_ms| for runs that hold it. A store whose file cannot be written is
  // opened for reading only; its first write then fails.
  bool Open(const std::string& path, int wait_ms, std::string* error);
  // Called once when Open has waited a second for another run, so that the
  // user knows why nothing happens yet.
  void SetWaitNotice(std::function<void()> notice) { wait_notice_ = std::move(notice); }

  // Commits everything since Open. Fails, and keeps nothing, after any failure
  // of the store during the run.
  bool Commit(std::string* error);

  // The first failure of the store itself (I/O, full disk, damage, a
  // read-only file) in this run; empty while there has been none. After one,
  // every operation fails without touching the file.
  const std::string& failure() const { return failure_; }
  bool failed() const { return !failure_.empty(); }
  bool read_only_failure() const { return failure_code_ == SQLITE_READONLY; }
  bool disk_full_failure() const { return failure_code_ == SQLITE_FULL; }

  // Key rows. Id 0 means no key: a missing one, or a failure.
  int64_t FindRoot(const std::string& folded_name);
  int64_t FindChild(int64_t parent, const std::string& folded_name);
  int64_t AddChild(int64_t parent, const std::string& name, const std::string& folded_name);
  bool HasChildren(int64_t key);
  bool DeleteKey(int64_t key);
  // The subkeys, in the order of their folded names.
  std::vector<Child> Children(int64_t parent);

  // Value rows: all of a key's values in one query, in no particular order;
  // sorted by place they are in the order they were created.
  std::vector<StoredValue> Values(int64_t key);
  // Creates the value at the end of the key's values, or replaces the type and
  // data of the one with the same folded name, keeping its place and name.
  bool SetValue(int64_t key, const Value& value, const std::string& folded_name);
  bool DeleteValue(int64_t key, const std::string& folded_name);

 private:
  class Statement;
  Statement* Prepare(const char* sql);
  bool Change(Statement* statement);
  int64_t QueryNumber(Statement* statement);
  // Records the run's first failure, described by |reason| or else by |code|.
  bool Fail(int code, const std::string& reason = std::string());
  // SQLite's busy handler: waits up to wait_ms_ in short sleeps, and gives the
  // wait notice after a second of it.
  static int WaitWhileBusy(void* store, int attempt);

  sqlite3* db_ = nullptr;
  std::string path_;
  bool in_transaction_ = false;
  std::string failure_;
  int failure_code_ = SQLITE_OK;
  int wait_ms_ = 0;
  std::chrono::steady_clock::time_point wait_start_;
  bool wait_noticed_ = false;
  std::function<void()> wait_notice_;
  std::unordered_map<const char*, std::unique_ptr<Statement>> statements_;
};

}  // namespace dovetune
