#include "registry/embedded_registry.h"

#include <cstring>

#include "registry/name_fold.h"

namespace {

// The registry functions carry no context, so the open registry has to be
// reachable from them: this is the one piece of global state the platform
// forces on us.
EmbeddedRegistry* g_active_registry = nullptr;

// Windows documents 255 characters for a key name component; Wine allows 256.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

struct PredefinedRoot {
  HKEY handle;
  const char* name;
};

const PredefinedRoot kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},   {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
};

bool IsPredefinedRoot(HKEY handle) {
  for (const PredefinedRoot& root : kRoots) {
    if (root.handle == handle) return true;
  }
  return false;
}

// Splits a key path at its backslashes, skipping empty components.
LONG SplitPath(LPCSTR path, std::vector<std::string>* components) {
  if (!path) return ERROR_SUCCESS;
  if (path[0] == '\\') return ERROR_BAD_PATHNAME;
  const char* start = path;
  for (const char* at = path;; ++at) {
    if (*at != '\\' && *at != '\0') continue;
    if (at > start) {
      components->emplace_back(start, at);
      if (NameLength(components->back()) > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    }
    if (*at == '\0') return ERROR_SUCCESS;
    start = at + 1;
  }
}

// Copies |text| into a caller's buffer of |*length| characters, terminating
// zero included; on success |*length| becomes the length without it.
LONG CopyName(const std::string& text, LPSTR buffer, LPDWORD length) {
  if (!buffer || !length) return ERROR_INVALID_PARAMETER;
  if (text.size() >= *length) return ERROR_MORE_DATA;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *length = static_cast<DWORD>(text.size());
  return ERROR_SUCCESS;
}

// Hands a value's type and data to a caller, as the value queries do: with no
// buffer only the size, with one that is too small ERROR_MORE_DATA and the size.
LONG CopyData(const SqliteStore::Value& value, LPDWORD type, LPBYTE data, LPDWORD data_size) {
  if (data && !data_size) return ERROR_INVALID_PARAMETER;
  if (type) *type = value.type;
  LONG result = ERROR_SUCCESS;
  if (data) {
    if (*data_size < value.data.size()) {
      result = ERROR_MORE_DATA;
    } else {
      std::memcpy(data, value.data.data(), value.data.size());
    }
  }
  if (data_size) *data_size = static_cast<DWORD>(value.data.size());
  return result;
}

}  // namespace

EmbeddedRegistry::~EmbeddedRegistry() {
  if (g_active_registry == this) g_active_registry = nullptr;
}

EmbeddedRegistry* EmbeddedRegistry::Active() { return g_active_registry; }

bool EmbeddedRegistry::Open(const std::string& path, int wait_ms, std::string* error) {
  if (!store_.Open(path, wait_ms, error)) return false;
  for (const PredefinedRoot& root : kRoots) {
    const int64_t key = store_.FindRoot(root.name);
    if (key == 0) {
      *error = store_.failed() ? store_.failure()
                               : "the registry store is damaged (a root key is missing)";
      return false;
    }
    handles_[reinterpret_cast<uintptr_t>(root.handle)].key = key;
  }
  // Every registry has HKEY_CURRENT_USER\Software, and the program only ever
  // opens it; without it every command would seem to work and do nothing.
  const int64_t user = handles_[reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER)].key;
  if (store_.FindChild(user, FoldName("Software")) == 0) {
    *error = store_.failed()
                 ? store_.failure()
                 : "the registry store is damaged (HKEY_CURRENT_USER\\Software is missing)";
    return false;
  }
  g_active_registry = this;
  return true;
}

bool EmbeddedRegistry::Commit(std::string* error) { return store_.Commit(error); }

LONG EmbeddedRegistry::StoreError() const {
  if (store_.read_only_failure()) return ERROR_ACCESS_DENIED;
  if (store_.disk_full_failure()) return ERROR_DISK_FULL;
  return ERROR_REGISTRY_IO_FAILED;
}

EmbeddedRegistry::OpenHandle* EmbeddedRegistry::FindHandle(HKEY handle) {
  auto found = handles_.find(reinterpret_cast<uintptr_t>(handle));
  return found == handles_.end() ? nullptr : &found->second;
}

LONG EmbeddedRegistry::Resolve(HKEY handle, int64_t* key) {
  const OpenHandle* open = FindHandle(handle);
  if (!open) return ERROR_INVALID_HANDLE;
  if (open->deleted) return ERROR_KEY_DELETED;
  if (store_.failed()) return StoreError();
  *key = open->key;
  return ERROR_SUCCESS;
}

HKEY EmbeddedRegistry::AddHandle(int64_t key) {
  const uintptr_t value = next_handle_;
  next_handle_ += 4;
  handles_[value].key = key;
  return reinterpret_cast<HKEY>(value);
}

LONG EmbeddedRegistry::Walk(int64_t from, LPCSTR path, bool create, int64_t* key, bool* created) {
  std::vector<std::string> components;
  const LONG split = SplitPath(path, &components);
  if (split != ERROR_SUCCESS) return split;
  int64_t current = from;
  for (const std::string& name : components) {
    const std::string folded = FoldName(name);
    int64_t child = store_.FindChild(current, folded);
    if (child == 0 && !store_.failed()) {
      if (!create) return ERROR_FILE_NOT_FOUND;
      child = store_.AddChild(current, name, folded);
      *created = true;
    }
    if (store_.failed()) return StoreError();
    current = child;
  }
  *key = current;
  return ERROR_SUCCESS;
}

LONG EmbeddedRegistry::OpenKey(HKEY parent, LPCSTR sub_key, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  int64_t from = 0;
  int64_t key = 0;
  bool created = false;
  LONG status = Resolve(parent, &from);
  if (status == ERROR_SUCCESS) status = Walk(from, sub_key, false, &key, &created);
  if (status == ERROR_SUCCESS) *result = AddHandle(key);
  return status;
}

LONG EmbeddedRegistry::CreateKey(HKEY parent, LPCSTR sub_key, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  int64_t from = 0;
  int64_t key = 0;
  bool created = false;
  LONG status = Resolve(parent, &from);
  if (status == ERROR_SUCCESS) status = Walk(from, sub_key, true, &key, &created);
  if (status != ERROR_SUCCESS) return status;
  *result = AddHandle(key);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG EmbeddedRegistry::CloseKey(HKEY key) {
  if (IsPredefinedRoot(key)) return ERROR_SUCCESS;
  return handles_.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG EmbeddedRegistry::QueryValue(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data,
                                  LPDWORD data_size) {
  int64_t id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  SqliteStore::Value value;
  if (!store_.FindValue(id, FoldName(name ? name : ""), &value)) {
    return store_.failed() ? StoreError() : ERROR_FILE_NOT_FOUND;
  }
  return CopyData(value, type, data, data_size);
}

LONG EmbeddedRegistry::SetValue(HKEY key, LPCSTR name, DWORD type, const BYTE* data,
                                DWORD data_size) {
  const std::string value_name = name ? name : "";
  if (NameLength(value_name) > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  if (!data && data_size > 0) return ERROR_INVALID_PARAMETER;
  int64_t id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  SqliteStore::Value value{value_name, type,
                           std::string(reinterpret_cast<const char*>(data), data ? data_size : 0)};
  return store_.SetValue(id, value, FoldName(value_name)) ? ERROR_SUCCESS : StoreError();
}

LONG EmbeddedRegistry::DeleteKey(HKEY parent, LPCSTR sub_key) {
  int64_t from = 0;
  int64_t key = 0;
  bool created = false;
  LONG status = Resolve(parent, &from);
  if (status == ERROR_SUCCESS) status = Walk(from, sub_key, false, &key, &created);
  if (status != ERROR_SUCCESS) return status;
  for (const auto& entry : handles_) {
    if (IsPredefinedRoot(reinterpret_cast<HKEY>(entry.first)) && entry.second.key == key) {
      return ERROR_ACCESS_DENIED;
    }
  }
  if (store_.HasChildren(key)) return ERROR_ACCESS_DENIED;
  if (store_.failed() || !store_.DeleteKey(key)) return StoreError();
  for (auto& entry : handles_) {
    if (entry.second.key == key) entry.second.deleted = true;
  }
  return ERROR_SUCCESS;
}

LONG EmbeddedRegistry::DeleteValue(HKEY key, LPCSTR name) {
  int64_t id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  if (store_.DeleteValue(id, FoldName(name ? name : ""))) return ERROR_SUCCESS;
  return store_.failed() ? StoreError() : ERROR_FILE_NOT_FOUND;
}

LONG EmbeddedRegistry::EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD name_length) {
  int64_t id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  OpenHandle& open = *FindHandle(key);
  if (open.subkeys_generation != store_.generation()) {
    open.subkeys = store_.ChildNames(id);
    open.subkeys_generation = store_.generation();
    if (store_.failed()) return StoreError();
  }
  if (index >= open.subkeys.size()) return ERROR_NO_MORE_ITEMS;
  return CopyName(open.subkeys[index], name, name_length);
}

LONG EmbeddedRegistry::EnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD name_length,
                                 LPDWORD type, LPBYTE data, LPDWORD data_size) {
  int64_t id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  OpenHandle& open = *FindHandle(key);
  if (open.values_generation != store_.generation()) {
    open.values = store_.Values(id);
    open.values_generation = store_.generation();
    if (store_.failed()) return StoreError();
  }
  if (index >= open.values.size()) return ERROR_NO_MORE_ITEMS;
  const SqliteStore::Value& value = open.values[index];
  if (type) *type = value.type;
  const LONG name_status = CopyName(value.name, name, name_length);
  const LONG data_status = CopyData(value, type, data, data_size);
  return name_status != ERROR_SUCCESS ? name_status : data_status;
}
