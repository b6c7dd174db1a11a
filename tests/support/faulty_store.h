// A store that fails on purpose, for tests: it wraps any store and passes
// every operation through, counting them, until the chosen one. That one and
// every one after it fail with the chosen kind without reaching the store
// beneath, as a disk fails and stays failed. Counting a run without a failure
// tells a test how many operations there are to fail at.
#pragma once

#include <memory>
#include <string>

#include "registry/stores/key_store.h"

namespace dovetune {

// Which operation fails and how, and the count of operations so far: every
// call but Fold and the failure's accessors. It outlives the store, so that
// the count can be read after the store is gone.
struct FaultPlan {
  int fail_at = 0;  // counted from 1; 0 fails none
  StoreFailure kind = StoreFailure::kIo;
  int operations = 0;
};

class FaultyStore : public KeyStore {
 public:
  // REQUIRES: |plan| outlives the store.
  FaultyStore(std::unique_ptr<KeyStore> store, FaultPlan* plan);

  std::string Fold(const std::string& name) const override { return store_->Fold(name); }
  bool Begin(int wait_ms) override;
  bool Commit() override;
  StoreFailure failure() const override;
  const std::string& failure_reason() const override;

  KeyId FindRoot(const std::string& folded_name) override;
  KeyId FindChild(KeyId parent, const std::string& folded_name) override;
  KeyId AddChild(KeyId parent, const std::string& name, const std::string& folded_name) override;
  bool HasChildren(KeyId key) override;
  bool DeleteKey(KeyId key) override;
  std::vector<StoredKey> Children(KeyId parent) override;
  bool Values(KeyId key, std::vector<StoredValue>* values) override;
  bool ReadData(KeyId key, const std::string& folded_name, std::string* data) override;
  bool SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) override;
  bool DeleteValue(KeyId key, const std::string& folded_name) override;

 private:
  // Counts one operation; false when it is to fail.
  bool Pass();

  std::unique_ptr<KeyStore> store_;
  FaultPlan& plan_;
  bool injected_ = false;
  std::string reason_;
};

// The words a failure of |kind| is reported in, and the short names tests give
// the kinds ("io", "full", "read-only", "damaged", "busy", "memory").
std::string DescribeStoreFailure(StoreFailure kind);
bool ParseStoreFailure(const std::string& text, StoreFailure* kind);

}  // namespace dovetune
