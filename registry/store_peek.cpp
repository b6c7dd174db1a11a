#include "registry/store_peek.h"

#include <sys/stat.h>

#include "registry/stores/sqlite_store.h"

namespace dovetune {

bool PeekSubkeyNames(const std::string& path, const std::string& key_path,
                     std::vector<std::string>* names) {
  names->clear();
  // SQLite would take a missing file for a new database: only a regular file
  // is opened.
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  SqliteStore store;
  std::string error;
  if (!store.Open(path, &error, /*only_read=*/true) || !store.Begin(0)) return false;
  KeyId key = store.FindRoot(store.Fold("HKEY_CURRENT_USER"));
  for (size_t start = 0; key != 0 && start <= key_path.size();) {
    size_t end = key_path.find('\\', start);
    if (end == std::string::npos) end = key_path.size();
    key = store.FindChild(key, store.Fold(key_path.substr(start, end - start)));
    start = end + 1;
  }
  if (key == 0) return false;
  for (const StoredKey& child : store.Children(key)) names->push_back(child.name);
  return !store.failed();
}

}  // namespace dovetune
