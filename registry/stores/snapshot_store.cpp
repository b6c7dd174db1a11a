#include "registry/stores/snapshot_store.h"

#include <algorithm>

#include "registry/stores/name_fold.h"
#include "registry/stores/wine_reg_format.h"

namespace dovetune {

namespace {

std::u16string OrderOf(const std::string& name) { return WineOrder(Utf8ToUtf16Lossless(name)); }

}  // namespace

SnapshotStore::SnapshotStore() {
  keys_[0];
  for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                           "HKEY_USERS", "HKEY_CURRENT_CONFIG"}) {
    AddChild(0, root, Fold(root));
  }
}

std::string SnapshotStore::Fold(const std::string& name) const { return LowerCaseFold(name); }

bool SnapshotStore::Fail(const std::string& reason) {
  if (failure_ == StoreFailure::kNone) {
    failure_ = StoreFailure::kIo;
    failure_reason_ = reason;
  }
  return false;
}

bool SnapshotStore::Begin(int /*wait_ms*/) { return !failed(); }

bool SnapshotStore::Commit() { return !failed(); }

SnapshotStore::Key* SnapshotStore::Find(KeyId key) {
  if (failed()) return nullptr;
  const auto found = keys_.find(key);
  if (found != keys_.end()) return &found->second;
  Fail("no key " + std::to_string(key) + " in the copy of the registry");
  return nullptr;
}

std::vector<StoredValue>::iterator SnapshotStore::PlaceOf(Key* key, const std::u16string& order) {
  return std::lower_bound(key->values.begin(), key->values.end(), order,
                          [](const StoredValue& value, const std::u16string& sought) {
                            return OrderOf(value.value.name) < sought;
                          });
}

KeyId SnapshotStore::FindRoot(const std::string& folded_name) { return FindChild(0, folded_name); }

KeyId SnapshotStore::FindChild(KeyId parent, const std::string& folded_name) {
  const Key* key = Find(parent);
  if (!key) return 0;
  const std::u16string order = OrderOf(folded_name);
  for (const KeyId child : key->children) {
    if (keys_[child].order == order) return child;
  }
  return 0;
}

KeyId SnapshotStore::AddChild(KeyId parent, const std::string& name,
                              const std::string& folded_name) {
  if (!Find(parent)) return 0;
  const KeyId id = ++last_id_;
  Key& child = keys_[id];
  child.parent = parent;
  child.name = name;
  child.folded_name = folded_name;
  child.order = OrderOf(name);
  std::vector<KeyId>& siblings = keys_[parent].children;
  const auto at = std::find_if(siblings.begin(), siblings.end(),
                               [&](KeyId sibling) { return child.order < keys_[sibling].order; });
  siblings.insert(at, id);
  return id;
}

bool SnapshotStore::HasChildren(KeyId key) {
  const Key* found = Find(key);
  return found && !found->children.empty();
}

bool SnapshotStore::DeleteKey(KeyId key) {
  const Key* found = Find(key);
  if (!found) return false;
  if (!found->children.empty()) return Fail("a key with subkeys cannot be deleted");
  Key* parent = Find(found->parent);
  if (!parent) return false;
  parent->children.erase(std::find(parent->children.begin(), parent->children.end(), key));
  keys_.erase(key);
  return true;
}

std::vector<StoredKey> SnapshotStore::Children(KeyId parent) {
  std::vector<StoredKey> children;
  const Key* key = Find(parent);
  if (!key) return children;
  for (const KeyId id : key->children) {
    const Key& child = keys_[id];
    children.push_back(StoredKey{id, child.name, child.folded_name});
  }
  return children;
}

bool SnapshotStore::Values(KeyId key, std::vector<StoredValue>* values) {
  values->clear();
  const Key* found = Find(key);
  if (!found) return !failed();
  *values = found->values;
  for (size_t place = 0; place < values->size(); ++place) {
    (*values)[place].place = static_cast<int64_t>(place);
  }
  return !failed();
}

bool SnapshotStore::ReadData(KeyId key, const std::string& folded_name, std::string* data) {
  Key* found = Find(key);
  if (!found) return false;
  const std::u16string order = OrderOf(folded_name);
  const auto at = PlaceOf(found, order);
  if (at == found->values.end() || OrderOf(at->value.name) != order) return false;
  *data = at->value.data;
  return true;
}

bool SnapshotStore::SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) {
  Key* found = Find(key);
  if (!found) return false;
  const std::u16string order = OrderOf(value.name);
  const auto at = PlaceOf(found, order);
  if (at != found->values.end() && OrderOf(at->value.name) == order) {
    at->value.type = value.type;
    at->value.data = value.data;
  } else {
    found->values.insert(at, StoredValue{value, folded_name});
  }
  return true;
}

bool SnapshotStore::DeleteValue(KeyId key, const std::string& folded_name) {
  Key* found = Find(key);
  if (!found) return false;
  const std::u16string order = OrderOf(folded_name);
  const auto at = PlaceOf(found, order);
  if (at == found->values.end() || OrderOf(at->value.name) != order) return false;
  found->values.erase(at);
  return true;
}

}  // namespace dovetune
