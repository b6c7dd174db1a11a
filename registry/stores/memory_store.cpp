#include "registry/stores/memory_store.h"

#include "registry/stores/name_fold.h"
#include "registry/stores/wine_reg_format.h"

namespace dovetune {

struct MemoryStore::Key {
  KeyId parent = 0;
  std::string name;
  std::string folded_name;
  std::map<std::string, KeyId> children;      // by SortKey
  std::map<std::string, StoredValue> values;  // by SortKey
  int64_t last_place = 0;
};

namespace {

// Data the SQLite store leaves unread until asked for: this store does the
// same, so that the registry's suites on it take the same paths.
constexpr size_t kHeldDataBytes = 2048;

}  // namespace

// Key 0 is the parent of the roots, as in the SQLite store's rows.
struct MemoryStoreContents {
  MemoryStore::Order order = MemoryStore::Order::kAsSqlite;
  std::map<KeyId, MemoryStore::Key> keys;
  KeyId last_id = 0;
};

std::shared_ptr<MemoryStore::Contents> MemoryStore::Fresh(const std::vector<std::string>& roots,
                                                          Order order) {
  static const std::vector<std::string> kAllRoots = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                     "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                                     "HKEY_CURRENT_CONFIG"};
  auto contents = std::make_shared<Contents>();
  contents->order = order;
  MemoryStore store(contents);
  store.Begin(0);
  for (const std::string& root : roots.empty() ? kAllRoots : roots) {
    const KeyId key = store.AddChild(0, root, store.Fold(root));
    if (root == "HKEY_CURRENT_USER") store.AddChild(key, "Software", store.Fold("Software"));
  }
  store.Commit();
  return contents;
}

MemoryStore::MemoryStore(std::shared_ptr<Contents> contents) : contents_(std::move(contents)) {}

MemoryStore::~MemoryStore() = default;

std::string MemoryStore::Fold(const std::string& name) const {
  return contents_->order == Order::kAsWine ? LowerCaseFold(name) : FoldName(name);
}

// Wine's order is that of the lower-case UTF-16 units, which sort so when
// each is held high byte first.
std::string MemoryStore::SortKey(const std::string& folded_name) const {
  if (contents_->order == Order::kAsSqlite) return folded_name;
  std::string key;
  for (const char16_t unit : WineOrder(Utf8ToUtf16Lossless(folded_name))) {
    key += static_cast<char>(unit >> 8);
    key += static_cast<char>(unit & 0xFF);
  }
  return key;
}

bool MemoryStore::Fail(const std::string& reason) {
  if (failure_ == StoreFailure::kNone) {
    failure_ = StoreFailure::kIo;
    failure_reason_ = reason;
  }
  return false;
}

bool MemoryStore::Begin(int /*wait_ms*/) {
  if (failed()) return false;
  if (working_ || !contents_) return Fail("the registry store is not open");
  working_ = std::make_unique<Contents>(*contents_);
  working_->keys[0];  // the parent of the roots
  return true;
}

bool MemoryStore::Commit() {
  if (failed() || !working_) {
    working_.reset();
    return Fail("the registry store is not open");
  }
  *contents_ = std::move(*working_);
  working_.reset();
  return true;
}

MemoryStore::Key* MemoryStore::Find(KeyId key) {
  if (failed()) return nullptr;
  if (!working_) {
    Fail("the registry store is not open");
    return nullptr;
  }
  const auto found = working_->keys.find(key);
  if (found != working_->keys.end()) return &found->second;
  Fail("no key " + std::to_string(key) + " in the registry store");
  return nullptr;
}

KeyId MemoryStore::FindRoot(const std::string& folded_name) { return FindChild(0, folded_name); }

KeyId MemoryStore::FindChild(KeyId parent, const std::string& folded_name) {
  const Key* key = Find(parent);
  if (!key) return 0;
  const auto found = key->children.find(SortKey(folded_name));
  return found == key->children.end() ? 0 : found->second;
}

KeyId MemoryStore::AddChild(KeyId parent, const std::string& name, const std::string& folded_name) {
  Key* key = Find(parent);
  if (!key) return 0;
  const std::string sort_key = SortKey(folded_name);
  if (key->children.count(sort_key)) {
    Fail("the key " + name + " already exists");
    return 0;
  }
  const KeyId id = ++working_->last_id;
  key->children[sort_key] = id;
  Key& child = working_->keys[id];
  child.parent = parent;
  child.name = name;
  child.folded_name = folded_name;
  return id;
}

bool MemoryStore::HasChildren(KeyId key) {
  const Key* found = Find(key);
  return found && !found->children.empty();
}

bool MemoryStore::DeleteKey(KeyId key) {
  const Key* found = Find(key);
  if (!found) return false;
  if (!found->children.empty()) return Fail("a key with subkeys cannot be deleted");
  Key* parent = Find(found->parent);
  if (!parent) return false;
  parent->children.erase(SortKey(found->folded_name));
  working_->keys.erase(key);
  return true;
}

std::vector<StoredKey> MemoryStore::Children(KeyId parent) {
  std::vector<StoredKey> children;
  const Key* key = Find(parent);
  if (!key) return children;
  for (const auto& entry : key->children) {
    const Key& child = working_->keys[entry.second];
    children.push_back(StoredKey{entry.second, child.name, child.folded_name});
  }
  return children;
}

bool MemoryStore::Values(KeyId key, std::vector<StoredValue>* values) {
  values->clear();
  const Key* found = Find(key);
  if (!found) return !failed();
  for (const auto& entry : found->values) {
    const StoredValue& kept = entry.second;
    if (kept.value.data.size() <= kHeldDataBytes) {
      values->push_back(kept);
    } else {
      values->push_back(StoredValue{StoreValue{kept.value.name, kept.value.type, std::string()},
                                    kept.folded_name, kept.place});
      values->back().data_held = false;
      values->back().unheld_size = static_cast<uint32_t>(kept.value.data.size());
    }
    // In Wine's order a value's place is where its name sorts.
    if (contents_->order == Order::kAsWine) values->back().place = values->size() - 1;
  }
  return !failed();
}

bool MemoryStore::ReadData(KeyId key, const std::string& folded_name, std::string* data) {
  const Key* found = Find(key);
  if (!found) return false;
  const auto value = found->values.find(SortKey(folded_name));
  if (value == found->values.end()) return false;
  *data = value->second.value.data;
  return true;
}

bool MemoryStore::SetValue(KeyId key, const StoreValue& value, const std::string& folded_name) {
  Key* found = Find(key);
  if (!found) return false;
  const std::string sort_key = SortKey(folded_name);
  const auto existing = found->values.find(sort_key);
  if (existing != found->values.end()) {
    existing->second.value.type = value.type;
    existing->second.value.data = value.data;
  } else {
    found->values[sort_key] = StoredValue{value, folded_name, ++found->last_place};
  }
  return true;
}

bool MemoryStore::DeleteValue(KeyId key, const std::string& folded_name) {
  Key* found = Find(key);
  return found && found->values.erase(SortKey(folded_name)) > 0;
}

}  // namespace dovetune
