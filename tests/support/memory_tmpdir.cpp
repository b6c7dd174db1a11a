#include "tests/support/memory_tmpdir.h"

#include <cstdlib>

#ifdef __linux__
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace dovetune {

#ifdef __linux__

bool MemoryTmpdir::Use(std::string* why) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/dovetune-tests-XXXXXX";
  if (!mkdtemp(&pattern[0])) {
    *why = "cannot make a folder at " + pattern + ": " + std::strerror(errno);
    return false;
  }
  folder_ = pattern;
  // Open to all as /tmp is: some runs are another user's (ProcessOptions).
  if (mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
    *why = "cannot mount a tmpfs at " + folder_ + ": " + std::strerror(errno);
    rmdir(folder_.c_str());
    folder_.clear();
    return false;
  }
  setenv("TMPDIR", folder_.c_str(), 1);
  return true;
}

MemoryTmpdir::~MemoryTmpdir() {
  if (folder_.empty()) return;
  umount2(folder_.c_str(), MNT_DETACH);
  rmdir(folder_.c_str());
}

#else

bool MemoryTmpdir::Use(std::string* why) {
  *why = "this system has no private mount namespaces";
  return false;
}

MemoryTmpdir::~MemoryTmpdir() = default;

#endif

}  // namespace dovetune
