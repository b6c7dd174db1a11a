// Keeps the tests' temporary files in memory. Every store a test makes is
// synced to disk on each commit, and on a disk most of a test's time would go
// to those syncs. Inside the private mount namespace that UseOwnWineFolders
// gives, a MemoryTmpdir mounts a fresh tmpfs over a new folder under TMPDIR
// (or /tmp) and points TMPDIR at it, for the test and the programs it starts;
// the machine never sees the mount, which goes with the namespace.
#pragma once

#include <string>

namespace dovetune {

class MemoryTmpdir {
 public:
  MemoryTmpdir() = default;
  ~MemoryTmpdir();  // unmounts the tmpfs and removes the folder beneath it
  MemoryTmpdir(const MemoryTmpdir&) = delete;
  MemoryTmpdir& operator=(const MemoryTmpdir&) = delete;

  // Mounts the tmpfs and sets TMPDIR; false, saying why, when it cannot (the
  // temporary files then stay where TMPDIR said).
  bool Use(std::string* why);

 private:
  std::string folder_;  // the folder under the tmpfs, once made
};

}  // namespace dovetune
