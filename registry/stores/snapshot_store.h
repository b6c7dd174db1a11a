// A store in memory holding a copy of what a running Wine holds (as its reg
// exports it): names compare, and keys and values list, as they do in a Wine
// prefix's store (wine_reg_format.h), whatever order they were added in.
// Every root is there from the start. Nothing is ever kept: the copy lasts
// as long as the store.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "registry/stores/key_store.h"

namespace dovetune {

class SnapshotStore : public KeyStore {
 public:
  SnapshotStore();

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
  bool Values(KeyId key, std::vector<StoredValue>* values) override;
  bool ReadData(KeyId key, const std::string& folded_name, std::string* data) override;
  bool SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) override;
  bool DeleteValue(KeyId key, const std::string& folded_name) override;

 private:
  struct Key {
    KeyId parent = 0;
    std::string name;
    std::string folded_name;
    std::u16string order;             // Wine's form of the name
    std::vector<KeyId> children;      // in Wine's order
    std::vector<StoredValue> values;  // likewise, their places in that order
  };
  // The key, or null after recording the failure.
  Key* Find(KeyId key);
  bool Fail(const std::string& reason);
  // Where a value of Wine's form |order| is in |key|'s values, or would go.
  std::vector<StoredValue>::iterator PlaceOf(Key* key, const std::u16string& order);

  std::map<KeyId, Key> keys_;  // key 0 is the parent of the roots
  KeyId last_id_ = 0;
  StoreFailure failure_ = StoreFailure::kNone;
  std::string failure_reason_;
};

}  // namespace dovetune
