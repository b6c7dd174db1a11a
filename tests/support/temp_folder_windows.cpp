// Temporary folders on Windows: a new folder beneath the user's temporary
// folder, removed entry by entry.

#include <windows.h>

#include <string>

#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      const DWORD attributes = entry.dwFileAttributes;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      // A link to a folder goes itself; what it points at stays.
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveTree(child);
      } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryA(child.c_str());
      } else {
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace

TempFolder::TempFolder() {
  char base[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof(base), base);
  if (length == 0 || length > MAX_PATH) return;
  const std::string prefix =
      std::string(base, length) + "dovetune-test-" + std::to_string(GetCurrentProcessId()) + "-";
  for (unsigned attempt = GetTickCount() % 100000;; ++attempt) {
    const std::string candidate = prefix + std::to_string(attempt);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

TempFolder::~TempFolder() {
  if (!path_.empty()) RemoveTree(path_);
}

}  // namespace dovetune
