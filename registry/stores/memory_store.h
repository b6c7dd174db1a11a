// A store held in memory, for tests: the registry's semantics without a file.
// Its contents outlive the stores opened on them, as a file outlives the runs
// that open it, so a test can commit a run and open the next on what it kept.
// Names compare as the SQLite store's do, and subkeys list in the same order.
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

  // The contents of a fresh registry: the roots named in |roots| (all five
  // predefined ones when empty), and HKEY_CURRENT_USER\Software when that
  // root is among them.
  static std::shared_ptr<Contents> Fresh(const std::vector<std::string>& roots = {});

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
  // The subkeys, in the order of their folded names.
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

  std::shared_ptr<Contents> contents_;
  std::unique_ptr<Contents> working_;  // the run's copy, kept by Commit
  StoreFailure failure_ = StoreFailure::kNone;
  std::string failure_reason_;
};

}  // namespace dovetune
