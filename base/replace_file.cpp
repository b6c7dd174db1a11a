#include "base/replace_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "base/file_bytes.h"
#include "base/file_path.h"
#include "base/pause_point.h"
#include "base/sync_to_disk.h"

namespace dovetune {

namespace {

const char kTemporaryTag[] = ".dovetune-temp-";

bool Failure(const std::string& what, int error_number, std::string* error) {
  *error = what + ": " + std::strerror(error_number);
  return false;
}

#ifndef DOVETUNE_FUZZ_BUILD
std::string RandomSuffix() {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device source;
  std::string suffix;
  for (int i = 0; i < 10; ++i) suffix += kLetters[source() % (sizeof(kLetters) - 1)];
  return suffix;
}
#endif

// The name of the |attempt|th try at a temporary file beside |target|.
std::string TemporaryName(const std::string& target, [[maybe_unused]] int attempt) {
#ifdef DOVETUNE_FUZZ_BUILD
  // The fuzzers feed what the program compares (the digits of a pid, the
  // length of a name) back into their inputs, so a name of chance would make
  // two runs from the same seed try different inputs. Their folder is their
  // own, and O_EXCL still refuses a name that is taken; no pid in the name
  // keeps these files out of the stale ones removed beside the target.
  return target + kTemporaryTag + "fuzz-" + std::to_string(attempt);
#else
  return target + kTemporaryTag + std::to_string(getpid()) + "-" + RandomSuffix();
#endif
}

// A temporary file beside a target, removed when this goes out of scope
// unless it was kept.
class TemporaryFile {
 public:
  ~TemporaryFile() {
    Close();
    if (!path_.empty() && !kept_) unlink(path_.c_str());
  }
  bool Create(const std::string& target, mode_t mode, std::string* error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = TemporaryName(target, attempt);
      descriptor_ = open(path_.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, mode);
      if (descriptor_ >= 0) return true;
      if (errno != EEXIST) break;
    }
    const int saved = errno;
    path_.clear();
    return Failure("cannot create a temporary file beside " + target, saved, error);
  }
  bool Close() {
    if (descriptor_ < 0) return true;
    const int result = close(descriptor_);
    descriptor_ = -1;
    return result == 0;
  }
  void Keep() { kept_ = true; }
  int descriptor() const { return descriptor_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int descriptor_ = -1;
  bool kept_ = false;
};

// Whether the link |path|, whose status is |link|, may be followed: not when
// it lies in a sticky folder that anyone may write, and belongs neither to
// this process's user nor to the folder's owner. That is the kernel's rule
// for such links (protected_symlinks), kept whatever the kernel's setting:
// another user may plant a link there, in /tmp say, where it leads anywhere.
bool MayFollow(const std::string& path, const struct stat& link) {
  if (link.st_uid == geteuid()) return true;
  struct stat folder;
  if (stat(FolderOf(path).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return !shared || link.st_uid == folder.st_uid;
}

// Follows |path| through symlinks to the file they lead to, which may not
// exist yet (a dangling link names the file to create).
bool ResolveLinks(const std::string& path, std::string* resolved, std::string* error) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status;
    if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      *resolved = current;
      return true;
    }
    if (!MayFollow(current, status)) {
      *error = "cannot follow the link " + current +
               ": it belongs to another user, in a shared folder with the sticky bit";
      return false;
    }
    std::string target(static_cast<size_t>(status.st_size) + 256, '\0');
    const ssize_t length = readlink(current.c_str(), &target[0], target.size());
    if (length < 0) return Failure("cannot read the link " + current, errno, error);
    target.resize(static_cast<size_t>(length));
    current = target[0] == '/' ? target : FolderOf(current) + "/" + target;
  }
  return Failure("cannot follow the link " + path, ELOOP, error);
}

// The mode the new file gets, or false when |path| may not be replaced.
bool ModeForReplacement(const std::string& path, mode_t mode_if_new, mode_t* mode,
                        std::string* error) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    if (errno != ENOENT) return Failure("cannot reach " + path, errno, error);
    const mode_t mask = umask(0);
    umask(mask);
    *mode = mode_if_new & ~mask;
    return true;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = "cannot replace " + path + ": it is not a regular file";
    return false;
  }
  if (status.st_nlink > 1) {
    *error = "cannot replace " + path + ": it has " + std::to_string(status.st_nlink) +
             " hard links, and writing a new file would part it from the others";
    return false;
  }
  *mode = status.st_mode & 07777;
  return true;
}

bool ParsePid(const std::string& text, pid_t* pid) {
  size_t end = 0;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end == 0 || end > 9 || end >= text.size() || text[end] != '-') return false;
  *pid = static_cast<pid_t>(std::stol(text.substr(0, end)));
  return *pid > 0;
}

bool ProcessIsGone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

// Removes the temporary files left beside |path| by runs that were killed
// (those whose process no longer exists), before a new one is made there.
void RemoveStaleTemporaryFiles(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string prefix = NameOf(path) + kTemporaryTag;
  DIR* listing = opendir(folder.c_str());
  if (!listing) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    pid_t pid = 0;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    if (!ParsePid(name.substr(prefix.size()), &pid) || pid == getpid()) continue;
    const std::string stale = folder + "/" + name;
    struct stat status;
    if (lstat(stale.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
    if (status.st_uid == geteuid() && ProcessIsGone(pid)) unlink(stale.c_str());
  }
  closedir(listing);
}

}  // namespace

void SyncFolderOf(const std::string& path) {
  const int descriptor = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  SyncToDisk(descriptor);
  close(descriptor);
}

bool ReplaceFileWhole(const std::string& path, const std::string& contents, std::string* error,
                      mode_t mode_if_new) {
  const auto write = [&contents](int descriptor) {
    return WriteAll(descriptor, contents.data(), contents.size());
  };
  FileReplacement replacement;
  return replacement.Write(path, write, error, mode_if_new) && replacement.Commit(error);
}

FileReplacement::~FileReplacement() {
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

bool FileReplacement::Write(const std::string& path, const FileWriter& write, std::string* error,
                            mode_t mode_if_new) {
  mode_t mode = 0;
  if (!temporary_.empty() || !ResolveLinks(path, &target_, error) ||
      !ModeForReplacement(target_, mode_if_new, &mode, error)) {
    return false;
  }
  path_ = path;
  RemoveStaleTemporaryFiles(target_);
  TemporaryFile temporary;
  if (!temporary.Create(target_, 0600, error)) return false;
  if (fchmod(temporary.descriptor(), mode) != 0 || !write(temporary.descriptor()) ||
      !SyncToDisk(temporary.descriptor()) || !temporary.Close()) {
    return Failure("cannot write " + path, errno, error);
  }
  temporary.Keep();
  temporary_ = temporary.path();
  PausePoint("file-written");
  return true;
}

bool FileReplacement::Commit(std::string* error) {
  if (temporary_.empty()) {
    *error = "cannot write " + path_ + ": no new file was written";
    return false;
  }
  if (rename(temporary_.c_str(), target_.c_str()) != 0) {
    return Failure("cannot write " + path_, errno, error);
  }
  temporary_.clear();
  SyncFolderOf(target_);
  return true;
}

bool CreateFileWhole(const std::string& path, const FileFiller& fill, bool* created,
                     std::string* error) {
  RemoveStaleTemporaryFiles(path);
  TemporaryFile temporary;
  if (!temporary.Create(path, 0600, error)) return false;
  if (!temporary.Close()) return Failure("cannot create " + path, errno, error);
  if (!fill(temporary.path(), error)) return false;
  PausePoint("store-filled");
  // link() rather than rename(): when another run made |path| meanwhile, its
  // file stays and this one is dropped.
  *created = link(temporary.path().c_str(), path.c_str()) == 0;
  if (!*created && errno != EEXIST) return Failure("cannot create " + path, errno, error);
  SyncFolderOf(path);
  return true;
}

}  // namespace dovetune
