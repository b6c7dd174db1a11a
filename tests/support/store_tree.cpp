#include "tests/support/store_tree.h"

#include <algorithm>
#include <memory>

#include "registry/registry_session.h"
#include "registry/stores/key_store.h"

namespace dovetune {

namespace {

void AddKey(KeyStore& store, KeyId key, const std::string& path, std::string* tree) {
  std::vector<StoredValue> values;
  if (!store.Values(key, &values)) *tree += "(values unreadable)\n";
  std::sort(values.begin(), values.end(),
            [](const StoredValue& a, const StoredValue& b) { return a.place < b.place; });
  *tree += path + "\n";
  for (const StoredValue& stored : values) {
    *tree += "  " + stored.value.name + " " + std::to_string(stored.value.type) + " [" +
             stored.value.data + "]\n";
  }
  for (const StoredKey& child : store.Children(key)) {
    AddKey(store, child.id, path + "\\" + child.name, tree);
  }
}

}  // namespace

std::string StoreTree(KeyStore& store) {
  std::string tree;
  for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                           "HKEY_USERS", "HKEY_CURRENT_CONFIG"}) {
    const KeyId key = store.FindRoot(store.Fold(root));
    if (key != 0) AddKey(store, key, root, &tree);
  }
  return store.failed() ? std::string() : tree;
}

std::string StoreTreeAt(const std::string& path) {
  std::string error;
  std::unique_ptr<KeyStore> store = OpenStoreAt(path, &error);
  if (!store || !store->Begin(0)) return std::string();
  return StoreTree(*store);
}

}  // namespace dovetune
