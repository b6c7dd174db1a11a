// The two parts of a file's path: the folder that holds it and its own name.
#pragma once

#include <string>

namespace dovetune {

// The folder that holds |path|: "." for a bare name, "/" for a name at the
// root.
inline std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The last part of |path|, after its last '/'.
inline std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace dovetune
