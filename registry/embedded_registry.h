// The registry off Windows: key handles, paths and names with the registry's
// rules, kept in the SQLite store. The registry functions of win32_api.h
// forward here, to the one instance that the run's registry session opened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/key_cache.h"
#include "registry/stores/sqlite_store.h"
#include "registry/win32_api.h"

namespace dovetune {

class EmbeddedRegistry {
 public:
  EmbeddedRegistry() = default;
  ~EmbeddedRegistry();
  EmbeddedRegistry(const EmbeddedRegistry&) = delete;
  EmbeddedRegistry& operator=(const EmbeddedRegistry&) = delete;

  // Opens the store at |path| (which must exist) and makes this the registry
  // that the registry functions use until it is destroyed.
  bool Open(const std::string& path, int wait_ms, std::string* error);
  void SetWaitNotice(std::function<void()> notice) { store_.SetWaitNotice(std::move(notice)); }
  bool Commit(std::string* error);

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
  struct OpenHandle {
    int64_t key = 0;
    bool deleted = false;
  };
  // Where a path led: the key, its parent and its folded name (both unknown
  // for an empty path), and whether the walk created anything.
  struct KeyLocation {
    int64_t key = 0;
    int64_t parent = 0;
    std::string folded_name;
    bool created = false;
  };

  LONG Resolve(HKEY handle, int64_t* key);
  LONG Walk(int64_t from, LPCSTR path, bool create, KeyLocation* location);
  // Resolves |parent| and walks |sub_key| from it.
  LONG Locate(HKEY parent, LPCSTR sub_key, bool create, KeyLocation* location);
  int64_t FindChild(int64_t parent, const std::string& folded_name);
  KeyValues* ValuesOf(int64_t key);
  LONG StoreError() const;
  HKEY AddHandle(int64_t key);
  bool IsRootKey(int64_t key) const;
  bool DeleteContents(int64_t key, std::vector<int64_t>* deleted_keys);
  void MarkDeleted(const std::vector<int64_t>& deleted_keys);
  OpenHandle* FindHandle(HKEY handle);

  SqliteStore store_;
  KeyCache cache_;
  std::unordered_map<uintptr_t, OpenHandle> handles_;
  uintptr_t next_handle_ = 0x1000;
};

}  // namespace dovetune
