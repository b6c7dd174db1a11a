// A store held in memory: the registry's semantics without a file. Its
// contents outlive the stores opened on them, as a file outlives the runs
// that open it, so a run can be committed and the next opened on what it kept.
// Names compare as in the other stores. The order keys and values list in is
// chosen when the contents are made:
//  - kAsSqlite, as the SQLite store lists them: subkeys by folded name,
//    values in the order they were created (the tests' store);
//  - kAsWine, as a Wine prefix lists them (wine_reg_format.h): both by Wine's
//    order of names, whatever order they were added in (dovetune-reg's copy
//    of what a running Wine exports).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "registry/stores/key_store.h"

namespace dovetune {

// The keys and values that memory stores work on, shared by the stores
// opened on them in turn.
struct MemoryStoreContents;

class MemoryStore : public KeyStore {
 public:
  using Contents = MemoryStoreContents;
  enum class Order { kAsSqlite, kAsWine };

  // The contents of a fresh registry: the roots named in |roots| (all five
  // predefined ones when empty), and HKEY_CURRENT_USER\Software when that
  // root is among them, listing in |order|.
  static std::shared_ptr<Contents> Fresh(const std::vector<std::string>& roots = {},
                                         Order order = Order::kAsSqlite);

  // A store on |contents|; several may be opened on the same contents, one
  // after another, as runs are.
  explicit MemoryStore(std::shared_ptr<Contents> contents);
  ~MemoryStore() override;

  std::string Fold(const std::string& name) const override;
  bool Begin(int wait_ms) override;
  bool Commit() override;
  StoreFailure failure() const override { return failure_; }
  const std::string& failure_reason() const override { return failure_reason_; }

  KeyId FindRoot(const std::string& folded_name) override;
  KeyId FindChild(KeyId parent, const std::string& folded_name) override;
  KeyId AddChild(KeyId parent, const std::string& name, const std::string& folded_name) override;
  bool HasChildren(KeyId key) override;
  bool DeleteKey(KeyId key) override;
  std::vector<StoredKey> Children(KeyId parent) override;

  // Data over 2 KB is not held, as in the SQLite store.
  bool Values(KeyId key, std::vector<StoredValue>* values) override;
  bool ReadData(KeyId key, const std::string& folded_name, std::string* data) override;
  bool SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) override;
  bool DeleteValue(KeyId key, const std::string& folded_name) override;

 private:
  friend struct MemoryStoreContents;
  struct Key;
  // The key the run works on, or null (a failure unless the run has failed).
  Key* Find(KeyId key);
  bool Fail(const std::string& reason);
  // What a name is held under in its key's maps, so that they list in the
  // contents' order.
  std::string SortKey(const std::string& folded_name) const;

  std::shared_ptr<Contents> contents_;
  std::unique_ptr<Contents> working_;  // the run's copy, kept by Commit
  StoreFailure failure_ = StoreFailure::kNone;
  std::string failure_reason_;
};

}  // namespace dovetune
