#include "tests/support/registry_keys.h"

namespace dovetune {

namespace {

// Room for the longest key name in any narrow character set.
constexpr DWORD kNameBuffer = 1024;

}  // namespace

bool DeleteKeyTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  const LONG opened = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  bool cleared = true;
  // Each pass deletes the first subkey, so index 0 always names the next one.
  for (;;) {
    char name[kNameBuffer];
    DWORD length = kNameBuffer;
    const LONG result = RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || !DeleteKeyTree(key, std::string(name, length))) {
      cleared = false;
      break;
    }
  }
  RegCloseKey(key);
  return cleared && RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS;
}

bool ResetToolKeys() {
  const bool tests = DeleteKeyTree(HKEY_CURRENT_USER, "Software\\DovetuneTest");
  const bool tool = DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Orvane");
  return tests && tool;
}

}  // namespace dovetune
