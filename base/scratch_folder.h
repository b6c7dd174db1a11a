// A private folder for a run's own files, made under TMPDIR (else /tmp) with
// an unpredictable name, that only its user may enter, and removed with the
// files in it when it goes.
#pragma once

#include <string>

namespace dovetune {

class ScratchFolder {
 public:
  ScratchFolder() = default;
  ~ScratchFolder();  // Removes the folder and the files in it.
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Makes the folder, its name starting with |stem|. False, with |error|
  // saying why, when it cannot be made.
  bool Make(const std::string& stem, std::string* error);
  // The folder's path; empty until Make succeeds.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace dovetune
