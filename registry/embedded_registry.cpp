#include "registry/embedded_registry.h"

#include <cstring>

#include "base/utf.h"

namespace dovetune {

namespace {

// The registry functions carry no context, so the open registry has to be
// reachable from them: this is the one piece of global state the platform
// forces on us.
EmbeddedRegistry* g_active_registry = nullptr;

// Windows documents 255 characters for a key name component; Wine allows 256.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
// The narrow key functions convert the whole subkey path into a buffer of 260
// characters first: a longer path fails before any key is looked at.
constexpr size_t kMaxNarrowKeyPathLength = 260;

struct PredefinedRoot {
  HKEY handle;
  const char* name;
};

const PredefinedRoot kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},   {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
};

static_assert(sizeof(kRoots) / sizeof(kRoots[0]) == EmbeddedRegistry::kRootCount,
              "a place for each root");

// The place of a predefined root in kRoots, or -1.
int RootIndex(HKEY handle) {
  for (size_t i = 0; i < EmbeddedRegistry::kRootCount; ++i) {
    if (kRoots[i].handle == handle) return static_cast<int>(i);
  }
  return -1;
}

bool IsPredefinedRoot(HKEY handle) { return RootIndex(handle) >= 0; }

// Whether |name| is longer than |limit| UTF-16 units. A name takes at least a
// byte per unit, so most are known short without being counted.
bool LongerThan(const std::string& name, size_t limit) {
  return name.size() > limit && Utf16Length(name) > limit;
}

// Checks a key path as a whole before any key is looked at.
LONG CheckPath(LPCSTR path) {
  if (!path) return ERROR_SUCCESS;
  const size_t bytes = std::strlen(path);
  if (bytes > kMaxNarrowKeyPathLength &&
      Utf16Length(std::string(path, bytes)) > kMaxNarrowKeyPathLength)
    return ERROR_MORE_DATA;
  if (path[0] == '\\') return ERROR_BAD_PATHNAME;
  return ERROR_SUCCESS;
}

// Takes the next component of a key path into |*name|, skipping empty ones
// at the backslashes; false at the end of the path.
bool NextComponent(const char** at, std::string* name) {
  const char* start = *at;
  while (*start == '\\') ++start;
  if (*start == '\0') return false;
  const char* end = start;
  while (*end != '\\' && *end != '\0') ++end;
  name->assign(start, static_cast<size_t>(end - start));
  *at = end;
  return true;
}

// Copies |text| into a caller's buffer of |*length| characters, terminating
// zero included; on success |*length| becomes the length without it.
LONG CopyName(const char* text, size_t size, LPSTR buffer, LPDWORD length) {
  if (!buffer || !length) return ERROR_INVALID_PARAMETER;
  if (size >= *length) return ERROR_MORE_DATA;
  std::memcpy(buffer, text, size);
  buffer[size] = '\0';
  *length = static_cast<DWORD>(size);
  return ERROR_SUCCESS;
}

}  // namespace

EmbeddedRegistry::EmbeddedRegistry(KeyStore& store) : store_(store) {}

EmbeddedRegistry::~EmbeddedRegistry() {
  if (g_active_registry == this) g_active_registry = nullptr;
}

EmbeddedRegistry* EmbeddedRegistry::Active() { return g_active_registry; }

bool EmbeddedRegistry::Open(int wait_ms, std::string* error) {
  if (!store_.Begin(wait_ms)) {
    *error = store_.failure_reason();
    return false;
  }
  for (size_t i = 0; i < kRootCount; ++i) {
    roots_[i].key = store_.FindRoot(store_.Fold(kRoots[i].name));
    if (store_.failed()) {
      *error = store_.failure_reason();
      return false;
    }
  }
  if (!FindOrRestoreSoftwareKey(error)) return false;
  g_active_registry = this;
  return true;
}

// Every registry has HKEY_CURRENT_USER\Software, and the program only ever
// opens it; without it every command would seem to work and do nothing. It
// cannot be deleted, but a store made by an earlier version may lack it: the
// run puts it back, kept when the run commits.
bool EmbeddedRegistry::FindOrRestoreSoftwareKey(std::string* error) {
  const OpenHandle* user = FindHandle(HKEY_CURRENT_USER);
  if (!user) {
    *error = "the registry store is damaged (a root key is missing)";
    return false;
  }
  const std::string folded = store_.Fold("Software");
  software_key_ = store_.FindChild(user->key, folded);
  if (!store_.failed() && software_key_ == 0) {
    software_key_ = store_.AddChild(user->key, "Software", folded);
    if (store_.failed()) {
      *error = "the registry store lacks HKEY_CURRENT_USER\\Software and cannot get it back: " +
               store_.failure_reason();
      return false;
    }
  }
  if (!store_.failed()) return true;
  *error = store_.failure_reason();
  return false;
}

bool EmbeddedRegistry::Commit(std::string* error) {
  if (store_.Commit()) return true;
  *error = store_.failure_reason();
  return false;
}

LONG EmbeddedRegistry::StoreError() const {
  switch (store_.failure()) {
    case StoreFailure::kReadOnly:
      return ERROR_ACCESS_DENIED;
    case StoreFailure::kDiskFull:
      return ERROR_DISK_FULL;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

EmbeddedRegistry::OpenHandle* EmbeddedRegistry::FindHandle(HKEY handle) {
  const int root = RootIndex(handle);
  OpenHandle* found = root < 0 ? handles_.Find(handle) : &roots_[root];
  return found && found->key != 0 ? found : nullptr;
}

LONG EmbeddedRegistry::Resolve(HKEY handle, KeyId* key) {
  const OpenHandle* open = FindHandle(handle);
  if (!open) return IsPredefinedRoot(handle) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
  if (open->deleted) return ERROR_KEY_DELETED;
  if (store_.failed()) return StoreError();
  *key = open->key;
  return ERROR_SUCCESS;
}

KeyId EmbeddedRegistry::FindChild(KeyId parent, const std::string& folded_name) {
  const KeyId child = cache_.FindChild(parent, folded_name);
  return child != 0 ? child : store_.FindChild(parent, folded_name);
}

LONG EmbeddedRegistry::Walk(KeyId from, LPCSTR path, bool create, KeyLocation* location) {
  const LONG checked = CheckPath(path);
  if (checked != ERROR_SUCCESS) return checked;
  // Like the registry, the walk stops at the first component it cannot take:
  // a missing one when opening, a name too long for a key, after creating
  // the levels before it.
  location->key = from;
  std::string name;
  for (const char* at = path ? path : ""; NextComponent(&at, &name);) {
    if (LongerThan(name, kMaxKeyNameLength)) return ERROR_INVALID_PARAMETER;
    location->parent = location->key;
    location->folded_name = store_.Fold(name);
    KeyId child = FindChild(location->parent, location->folded_name);
    if (child == 0 && !store_.failed()) {
      if (!create) return ERROR_FILE_NOT_FOUND;
      child = store_.AddChild(location->parent, name, location->folded_name);
      cache_.ChildAdded(location->parent);
      location->created = true;
    }
    if (store_.failed()) return StoreError();
    location->key = child;
  }
  return ERROR_SUCCESS;
}

LONG EmbeddedRegistry::Locate(HKEY parent, LPCSTR sub_key, bool create, KeyLocation* location) {
  KeyId from = 0;
  const LONG status = Resolve(parent, &from);
  return status == ERROR_SUCCESS ? Walk(from, sub_key, create, location) : status;
}

LONG EmbeddedRegistry::OpenKey(HKEY parent, LPCSTR sub_key, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  KeyLocation location;
  const LONG status = Locate(parent, sub_key, false, &location);
  if (status != ERROR_SUCCESS) return status;
  *result = handles_.Add(location.key);
  return *result ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

LONG EmbeddedRegistry::CreateKey(HKEY parent, LPCSTR sub_key, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  KeyLocation location;
  const LONG status = Locate(parent, sub_key, true, &location);
  if (status != ERROR_SUCCESS) return status;
  *result = handles_.Add(location.key);
  if (!*result) return ERROR_NOT_ENOUGH_MEMORY;
  if (disposition) *disposition = location.created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG EmbeddedRegistry::CloseKey(HKEY key) {
  if (IsPredefinedRoot(key)) return ERROR_SUCCESS;
  return handles_.Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

KeyValues* EmbeddedRegistry::ValuesOf(KeyId key) {
  KeyValues* values = cache_.Values(key);
  if (values) return values;
  values = cache_.PlaceForValues(key);
  if (!store_.Values(key, values->room())) {
    cache_.DropValues(key);
    return nullptr;
  }
  values->Index();
  return values;
}

// Hands a value's type and data to a caller, as the value queries do: with no
// buffer only the size, with one that is too small ERROR_MORE_DATA and the size.
// Data the store did not hold is read only when it is handed over.
LONG EmbeddedRegistry::CopyData(KeyId key, const StoredValue& stored, LPDWORD type, LPBYTE data,
                                LPDWORD data_size) {
  if (data && !data_size) return ERROR_INVALID_PARAMETER;
  if (type) *type = stored.value.type;
  const size_t size = stored.data_size();
  LONG result = ERROR_SUCCESS;
  if (data && *data_size < size) {
    result = ERROR_MORE_DATA;
  } else if (data && stored.data_held) {
    std::memcpy(data, stored.value.data.data(), size);
  } else if (data) {
    std::string read;
    if (!store_.ReadData(key, stored.folded_name, &read) || read.size() != size) {
      return store_.failed() ? StoreError() : ERROR_REGISTRY_IO_FAILED;
    }
    std::memcpy(data, read.data(), size);
  }
  if (data_size) *data_size = static_cast<DWORD>(size);
  return result;
}

LONG EmbeddedRegistry::QueryValue(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data,
                                  LPDWORD data_size) {
  KeyId id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  const KeyValues* values = ValuesOf(id);
  if (!values) return StoreError();
  if (!name) name = "";
  // The name a program asks for is usually the one it created: most
  // lookups need no fold.
  const StoredValue* value = values->FindExact(name, std::strlen(name));
  if (!value) value = values->Find(store_.Fold(name));
  return value ? CopyData(id, *value, type, data, data_size) : ERROR_FILE_NOT_FOUND;
}

LONG EmbeddedRegistry::SetValue(HKEY key, LPCSTR name, DWORD type, const BYTE* data,
                                DWORD data_size) {
  const std::string value_name = name ? name : "";
  if (LongerThan(value_name, kMaxValueNameLength)) return ERROR_INVALID_PARAMETER;
  if (!data && data_size > 0) return ERROR_NOACCESS;
  KeyId id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  StoreValue value{value_name, type,
                   std::string(reinterpret_cast<const char*>(data), data ? data_size : 0)};
  const std::string folded_name = store_.Fold(value_name);
  if (!store_.SetValue(id, value, folded_name)) return StoreError();
  cache_.DropValues(id);
  return ERROR_SUCCESS;
}

LONG EmbeddedRegistry::DeleteKey(HKEY parent, LPCSTR sub_key) {
  if (!sub_key) return ERROR_INVALID_PARAMETER;
  KeyLocation location;
  const LONG status = Locate(parent, sub_key, false, &location);
  if (status != ERROR_SUCCESS) return status;
  const KeyId key = location.key;
  if (IsProtectedKey(key)) return ERROR_ACCESS_DENIED;
  if (store_.HasChildren(key)) return ERROR_ACCESS_DENIED;
  if (store_.failed() || !store_.DeleteKey(key)) return StoreError();
  cache_.KeyDeleted(location.parent, key);
  MarkDeleted({key});
  return ERROR_SUCCESS;
}

LONG EmbeddedRegistry::DeleteTree(HKEY parent, LPCSTR sub_key) {
  KeyLocation location;
  const LONG status = Locate(parent, sub_key, false, &location);
  if (status != ERROR_SUCCESS) return status;
  const KeyId key = location.key;
  // Emptying a key is refused where it would take a protected key with it.
  const bool holds_software = FindChild(key, store_.Fold("Software")) == software_key_;
  if (sub_key ? IsProtectedKey(key) : holds_software) return ERROR_ACCESS_DENIED;
  std::vector<KeyId> deleted_keys;
  bool done = DeleteContents(key, &deleted_keys);
  if (done && sub_key) {
    done = store_.DeleteKey(key);
    deleted_keys.push_back(key);
  }
  // Whole trees go rarely; forgetting everything read is simpler than
  // following each key out of the cache.
  cache_.Clear();
  if (!done || store_.failed()) return StoreError();
  MarkDeleted(deleted_keys);
  return ERROR_SUCCESS;
}

bool EmbeddedRegistry::IsRootKey(KeyId key) const {
  for (const OpenHandle& root : roots_) {
    if (root.key != 0 && root.key == key) return true;
  }
  return false;
}

// The root keys and HKEY_CURRENT_USER\Software: the registry refuses to delete
// them, and the store is of no use without them.
bool EmbeddedRegistry::IsProtectedKey(KeyId key) const {
  return key == software_key_ || IsRootKey(key);
}

// Deletes every value and every subkey, deepest first, of |key|.
bool EmbeddedRegistry::DeleteContents(KeyId key, std::vector<KeyId>* deleted_keys) {
  for (const StoredKey& child : store_.Children(key)) {
    if (!DeleteContents(child.id, deleted_keys) || !store_.DeleteKey(child.id)) return false;
    deleted_keys->push_back(child.id);
  }
  std::vector<StoredValue> values;
  if (!store_.Values(key, &values)) return false;
  for (const StoredValue& stored : values) {
    if (!store_.DeleteValue(key, stored.folded_name)) return false;
  }
  return !store_.failed();
}

// Handles still open on deleted keys fail from now on, as the registry's do.
void EmbeddedRegistry::MarkDeleted(const std::vector<KeyId>& deleted_keys) {
  const auto mark = [&deleted_keys](OpenHandle& handle) {
    for (const KeyId key : deleted_keys) {
      if (handle.key == key) handle.deleted = true;
    }
  };
  for (OpenHandle& root : roots_) mark(root);
  handles_.ForEachOpen(mark);
}

LONG EmbeddedRegistry::DeleteValue(HKEY key, LPCSTR name) {
  KeyId id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  const bool deleted = store_.DeleteValue(id, store_.Fold(name ? name : ""));
  if (store_.failed()) return StoreError();
  if (!deleted) return ERROR_FILE_NOT_FOUND;
  cache_.DropValues(id);
  return ERROR_SUCCESS;
}

LONG EmbeddedRegistry::EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD name_length) {
  KeyId id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  const std::vector<StoredKey>* subkeys = cache_.Subkeys(id);
  if (!subkeys) {
    std::vector<StoredKey> children = store_.Children(id);
    if (store_.failed()) return StoreError();
    cache_.SetSubkeys(id, std::move(children));
    subkeys = cache_.Subkeys(id);
  }
  if (index >= subkeys->size()) return ERROR_NO_MORE_ITEMS;
  const std::string& listed = (*subkeys)[index].name;
  return CopyName(listed.data(), listed.size(), name, name_length);
}

LONG EmbeddedRegistry::EnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD name_length,
                                 LPDWORD type, LPBYTE data, LPDWORD data_size) {
  KeyId id = 0;
  const LONG status = Resolve(key, &id);
  if (status != ERROR_SUCCESS) return status;
  const KeyValues* values = ValuesOf(id);
  if (!values) return StoreError();
  if (index >= values->size()) return ERROR_NO_MORE_ITEMS;
  const StoredValue& value = values->At(index);
  // Data that does not fit leaves the name buffer and its length alone.
  const LONG data_status = CopyData(id, value, type, data, data_size);
  if (data_status != ERROR_SUCCESS) return data_status;
  return CopyName(value.value.name.data(), value.value.name.size(), name, name_length);
}

}  // namespace dovetune
