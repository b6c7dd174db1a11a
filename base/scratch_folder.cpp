#include "base/scratch_folder.h"

#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

namespace dovetune {

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  if (DIR* folder = opendir(path_.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((path_ + "/" + name).c_str());
    }
    closedir(folder);
  }
  rmdir(path_.c_str());
}

bool ScratchFolder::Make(const std::string& stem, std::string* error) {
  const char* tmpdir = getenv("TMPDIR");
  std::string path = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/" + stem + "-XXXXXX";
  if (!mkdtemp(&path[0])) {
    *error = "cannot make a temporary folder in " + path.substr(0, path.rfind('/')) + ": " +
             std::strerror(errno);
    return false;
  }
  path_ = path;
  return true;
}

}  // namespace dovetune
