// The embedded registry's tables in one SQLite file, and the one transaction a
// run of the program works in. Keys form a tree of rows; all of a key's values
// are one row, packed in the order they were created, with large data apart. The values of keys
// this run changes are held unpacked until the run commits, so that setting a value costs the
// same in a key of thousands as in an empty one. Nothing here knows
// registry semantics beyond that: names arrive already folded for comparison. SQLite's own header
// stays in the .cpp file.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/stores/key_store.h"
#include "registry/stores/packed_values.h"

struct sqlite3;

namespace dovetune {

class SqliteStore : public KeyStore {
 public:
  SqliteStore();
  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  // Writes a fresh, empty registry to a new file at |path|, which must not
  // exist yet: the roots, and HKEY_CURRENT_USER\Software.
  static bool CreateFresh(const std::string& path, std::string* error);

  // Opens the existing store file at |path|. A file that cannot be written is
  // opened for reading only; Begin then begins for reading. With
  // |only_read|, the file is opened for reading whatever its permissions.
  bool Open(const std::string& path, std::string* error, bool only_read = false);
  // Called once when Begin has waited a second for another run, so that the
  // user knows why nothing happens yet.
  void SetWaitNotice(std::function<void()> notice) { wait_notice_ = std::move(notice); }

  std::string Fold(const std::string& name) const override;
  // Also checks that the file is a store of ours, of this version, whole.
  bool Begin(int wait_ms) override;
  bool Commit() override;
  // Packs and writes the row of each key whose values this run changed.
  bool Flush() override;
  StoreFailure failure() const override { return failure_kind_; }
  const std::string& failure_reason() const override { return failure_; }

  KeyId FindRoot(const std::string& folded_name) override;
  KeyId FindChild(KeyId parent, const std::string& folded_name) override;
  KeyId AddChild(KeyId parent, const std::string& name, const std::string& folded_name) override;
  bool HasChildren(KeyId key) override;
  bool DeleteKey(KeyId key) override;
  // The subkeys, in the order of their folded names.
  std::vector<StoredKey> Children(KeyId parent) override;

  // All of a key's values in one row; data over 2 KB is not held.
  bool Values(KeyId key, std::vector<StoredValue>* values) override;
  bool ReadData(KeyId key, const std::string& folded_name, std::string* data) override;
  bool SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) override;
  bool DeleteValue(KeyId key, const std::string& folded_name) override;

 private:
  class Statement;
  // A key's values as this run has changed them, in order; a deleted value
  // stays as a gap until the row is written, so that deleting one costs no
  // more than setting one.
  struct ChangedValues {
    std::vector<PackedValue> values;
    std::vector<bool> deleted;
    std::unordered_map<std::string, size_t> places;  // by folded name, of the values not deleted
  };
  // The numbers of the file's header that Begin checks.
  struct StoreHeader {
    int64_t application_id = 0;
    int64_t version = 0;
    int64_t page_count = 0;
    int64_t page_size = 0;
    int64_t file_size = 0;
  };
  Statement* Prepare(const char* sql);
  bool ReadHeader(StoreHeader* header);
  bool JournalIsOpen();
  bool Change(Statement* statement);
  int64_t QueryNumber(Statement* statement);
  bool AdoptVersion1(bool read_only);
  bool UpgradeValues();
  bool ReadPacked(KeyId key, std::vector<PackedValue>* values);
  bool GrowCacheForWriting();
  bool ReadVersion1(KeyId key, std::vector<PackedValue>* values);
  bool WritePacked(KeyId key, const std::vector<PackedValue>& values);
  // The key's values for changing; null on a failure.
  ChangedValues* ValuesToChange(KeyId key);
  // The key's values as this run sees them, in order.
  bool ReadValues(KeyId key, std::vector<PackedValue>* values);
  // The value named |folded_name| as this run sees it; null when it has none.
  const PackedValue* FindForReading(KeyId key, const std::string& folded_name,
                                    std::vector<PackedValue>* read);
  bool PlaceData(const std::string& data, PackedValue* value);
  bool DropData(const PackedValue& value);
  int FindValue(const std::vector<PackedValue>& values, const std::string& folded_name) const;
  // Records that the file is not as this program writes it, and |what| is.
  bool Damaged(const std::string& what);
  bool DamagedValues(KeyId key);
  bool RepeatedValues(KeyId key);
  bool MissingData(KeyId key, const std::string& name);
  bool BigDataThere(int64_t id, uint32_t size);
  // Checks, once in a run, that every key lies beneath an earlier one.
  bool CheckKeyTree();
  bool Version1Type(Statement& row, int column, KeyId key, PackedValue* value);
  std::string FoldCollision();
  // The path of a key, from its root, for messages.
  std::string KeyPath(KeyId key);
  // Records the run's first failure, described by |reason| or else by |code|.
  bool Fail(int code, const std::string& reason = std::string());
  // SQLite's busy handler: waits up to wait_ms_ in short sleeps, and gives the
  // wait notice after a second of it.
  static int WaitWhileBusy(void* store, int attempt);

  sqlite3* db_ = nullptr;
  std::string path_;
  bool in_transaction_ = false;
  bool cache_for_writing_ = false;  // the page cache has grown for the run's changes
  bool version1_ = false;           // a version 1 store read as it is
  bool read_only_ = false;
  bool tree_checked_ = false;  // CheckKeyTree found the keys a tree in this run
  std::unordered_map<KeyId, ChangedValues> changed_;
  std::string failure_;
  StoreFailure failure_kind_ = StoreFailure::kNone;
  int wait_ms_ = 0;
  std::chrono::steady_clock::time_point wait_start_;
  bool wait_noticed_ = false;
  std::function<void()> wait_notice_;
  std::unordered_map<const char*, std::unique_ptr<Statement>> statements_;
};

}  // namespace dovetune
