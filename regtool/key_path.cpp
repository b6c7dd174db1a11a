#include "regtool/key_path.h"

#include <strings.h>

namespace dovetune {

namespace {

struct RootName {
  HKEY handle;
  const char* short_name;
  const char* long_name;
};

// The roots the embedded store holds.
const RootName kRoots[] = {
    {HKEY_LOCAL_MACHINE, "HKLM", "HKEY_LOCAL_MACHINE"},
    {HKEY_CURRENT_USER, "HKCU", "HKEY_CURRENT_USER"},
    {HKEY_CLASSES_ROOT, "HKCR", "HKEY_CLASSES_ROOT"},
    {HKEY_USERS, "HKU", "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKCC", "HKEY_CURRENT_CONFIG"},
};

const RootName* FindRoot(const std::string& name) {
  for (const RootName& root : kRoots) {
    if (strcasecmp(name.c_str(), root.short_name) == 0 ||
        strcasecmp(name.c_str(), root.long_name) == 0) {
      return &root;
    }
  }
  return nullptr;
}

}  // namespace

std::string KeyPath::Full() const {
  return sub_path.empty() ? root_name : root_name + "\\" + sub_path;
}

KeyPath KeyPath::Child(const std::string& name) const {
  KeyPath child = *this;
  child.sub_path = sub_path.empty() ? name : sub_path + "\\" + name;
  return child;
}

bool ParseKeyPath(const std::string& text, KeyPath* path, std::string* error) {
  if (text.compare(0, 2, "\\\\") == 0) {
    *error = "Invalid key name \"" + text + "\": remote registries are not supported";
    return false;
  }
  std::string rest = text;
  if (!rest.empty() && rest.back() == '\\') rest.pop_back();
  const size_t slash = rest.find('\\');
  const RootName* root = FindRoot(rest.substr(0, slash));
  if (!root) {
    *error = "Invalid key name \"" + text +
             "\": it must start with HKLM, HKCU, HKCR, HKU or HKCC (or their long names)";
    return false;
  }
  const std::string sub_path = slash == std::string::npos ? "" : rest.substr(slash + 1);
  if (slash != std::string::npos &&
      (sub_path.empty() || sub_path.find("\\\\") != std::string::npos || sub_path.back() == '\\')) {
    *error = "Invalid key name \"" + text + "\": it has an empty subkey name";
    return false;
  }
  path->root = root->handle;
  path->root_name = root->long_name;
  path->sub_path = sub_path;
  return true;
}

}  // namespace dovetune
