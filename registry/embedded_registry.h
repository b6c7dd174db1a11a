// The registry off Windows: key handles, paths and names with the registry's
// rules, kept in a KeyStore. The registry functions of win32_api.h forward
// here, to the one instance that the run's registry session opened.
//
// A store may hold only some of the predefined roots (a Wine prefix's user
// file holds HKEY_CURRENT_USER alone). A root the store lacks behaves as a key
// that does not exist: every call on it, or on a path beneath it, fails with
// ERROR_FILE_NOT_FOUND and changes nothing, and closing it succeeds as closing
// any predefined root does. HKEY_CURRENT_USER and its Software key are
// required: without them every command would seem to work and do nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/handle_table.h"
#include "registry/key_cache.h"
#include "registry/stores/key_store.h"
#include "registry/win32_api.h"

namespace dovetune {

class EmbeddedRegistry {
 public:
  // |store| must outlive the registry.
  explicit EmbeddedRegistry(KeyStore& store);
  ~EmbeddedRegistry();
  EmbeddedRegistry(const EmbeddedRegistry&) = delete;
  EmbeddedRegistry& operator=(const EmbeddedRegistry&) = delete;

  // Begins the run's transaction on the store, waiting up to |wait_ms| for
  // runs that hold it, checks the required keys, and makes this the registry
  // that the registry functions use until it is destroyed.
  bool Open(int wait_ms, std::string* error);
  // Keeps the run's changes; after any failure of the store keeps none and
  // says why.
  bool Commit(std::string* error);
  // The store's first failure in this run in words, or empty.
  const std::string& failure() const { return store_.failure_reason(); }

  // The predefined roots a store may hold.
  static constexpr size_t kRootCount = 5;

  // The instance the registry functions work on; null when none is open.
  static EmbeddedRegistry* Active();

  LONG OpenKey(HKEY parent, LPCSTR sub_key, PHKEY result);
  LONG CreateKey(HKEY parent, LPCSTR sub_key, PHKEY result, LPDWORD disposition);
  LONG CloseKey(HKEY key);
  LONG QueryValue(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD data_size);
  LONG SetValue(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD data_size);
  LONG DeleteKey(HKEY parent, LPCSTR sub_key);
  LONG DeleteValue(HKEY key, LPCSTR name);
  // With a null |sub_key| empties the key; otherwise deletes it as well.
  LONG DeleteTree(HKEY parent, LPCSTR sub_key);
  LONG EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD name_length);
  LONG EnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD type, LPBYTE data,
                 LPDWORD data_size);

 private:
  using OpenHandle = HandleTable::Entry;
  // Where a path led: the key, its parent and its folded name (both unknown
  // for an empty path), and whether the walk created anything.
  struct KeyLocation {
    KeyId key = 0;
    KeyId parent = 0;
    std::string folded_name;
    bool created = false;
  };

  LONG Resolve(HKEY handle, KeyId* key);
  LONG Walk(KeyId from, LPCSTR path, bool create, KeyLocation* location);
  // Resolves |parent| and walks |sub_key| from it.
  LONG Locate(HKEY parent, LPCSTR sub_key, bool create, KeyLocation* location);
  KeyId FindChild(KeyId parent, const std::string& folded_name);
  KeyValues* ValuesOf(KeyId key);
  LONG CopyData(KeyId key, const StoredValue& stored, LPDWORD type, LPBYTE data, LPDWORD data_size);
  LONG StoreError() const;
  bool IsRootKey(KeyId key) const;
  bool IsProtectedKey(KeyId key) const;
  bool FindOrRestoreSoftwareKey(std::string* error);
  bool DeleteContents(KeyId key, std::vector<KeyId>* deleted_keys);
  void MarkDeleted(const std::vector<KeyId>& deleted_keys);
  OpenHandle* FindHandle(HKEY handle);

  KeyStore& store_;
  KeyCache cache_;
  // The predefined roots the store holds (a key of 0 where it holds none),
  // and every other open handle.
  OpenHandle roots_[kRootCount];
  HandleTable handles_;
  KeyId software_key_ = 0;
};

}  // namespace dovetune
