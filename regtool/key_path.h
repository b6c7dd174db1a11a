// Key paths as reg and .reg files write them: a predefined root, short
// (HKCU) or long (HKEY_CURRENT_USER), then backslash-separated subkeys.
#pragma once

#include <string>

#include "registry/win32_api.h"

namespace dovetune {

struct KeyPath {
  HKEY root = nullptr;
  std::string root_name;  // always the long form, e.g. "HKEY_CURRENT_USER"
  std::string sub_path;   // without leading or trailing backslash; empty for the root

  // The path as reg prints it: the long root name, then the subkeys.
  std::string Full() const;
  // The path of the subkey |name| beneath this one.
  KeyPath Child(const std::string& name) const;
};

// Parses |text|. On failure |error| says why (without a prefix).
bool ParseKeyPath(const std::string& text, KeyPath* path, std::string* error);

}  // namespace dovetune
