// Writing a file whole or not at all: a new file is built under a temporary
// name beside its target and renamed (or linked) into place, so that a reader
// sees the old file or the new one, never a part. The temporary file is
// created with O_CREAT|O_EXCL|O_NOFOLLOW under an unpredictable name, so a
// file or link planted beside the target is never written through, and its
// name says what it is:
//   TARGET.dovetune-temp-PID-RANDOM
// A run killed meanwhile leaves such a file (and maybe files named after it,
// as SQLite's journal); the next run that writes beside the same target
// removes those whose process no longer exists.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace dovetune {

// Replaces the file at |path| with |contents|. When |path| is a symlink, the
// file it leads to is replaced and the link is kept; a link that another user
// owns in a sticky folder that anyone may write (such as /tmp) is refused, as
// the kernel's protected_symlinks rule refuses it. The new file keeps the
// old file's permission bits; a file that did not exist is created with
// |mode_if_new| less the umask. Syncs the file and its folder.
// Refuses a target with more than one hard link (replacing it would split it
// from its other names) and anything but a regular file.
// Returns true iff the new contents are in place; otherwise the old file is
// untouched, no temporary file is left, and *error says why in words, naming
// the file.
bool ReplaceFileWhole(const std::string& path, const std::string& contents, std::string* error,
                      mode_t mode_if_new = 0600);

// Writes the whole new contents to |descriptor|; false, with errno set, on a
// failure.
using FileWriter = std::function<bool(int descriptor)>;

// A new file for a target written whole beside it and synced, but not yet
// in place, so that a caller can check what it must before the rename:
// Commit puts it in place; one dropped without Commit is removed.
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Writes the new file for |path| through |write|, a piece at a time, on
  // the terms of ReplaceFileWhole; false, with *error, when it is not
  // written (nothing is left).
  bool Write(const std::string& path, const FileWriter& write, std::string* error,
             mode_t mode_if_new = 0600);
  // Renames the file written over its target and syncs the folder; false,
  // with *error, when it is not in place (the old file stays).
  bool Commit(std::string* error);

 private:
  std::string path_;       // the target as named
  std::string target_;     // the target, its links followed
  std::string temporary_;  // the file written, until it is in place
};

// Fills the temporary file at |temporary_path| (created empty, mode 0600).
using FileFiller = std::function<bool(const std::string& temporary_path, std::string* error)>;

// Creates |path| whole: |fill| builds it under a temporary name beside it,
// which is then linked into place; an existing file at |path| is never
// replaced. Returns true when |path| exists afterwards: made by this call
// (*created true) or by another process meanwhile (*created false). On
// failure nothing this call made is left and *error says why.
bool CreateFileWhole(const std::string& path, const FileFiller& fill, bool* created,
                     std::string* error);

// Syncs the folder that holds |path|, so that a file created, renamed or
// removed there stays so after a power loss.
void SyncFolderOf(const std::string& path);

}  // namespace dovetune
