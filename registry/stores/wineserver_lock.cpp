#include "registry/stores/wineserver_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace dovetune {

namespace {

std::string Describe(const std::string& path, const char* what) {
  return path + ": " + what + " (" + std::strerror(errno) + ")";
}

// Makes the folder |path| as Wine does. False, with |error| empty, when the
// folder is one that Wine would refuse too (another user's, open to others,
// not a folder, or impossible to make): no server of this user can run
// there, so there is nothing to lock.
bool MakePrivateFolder(const std::string& path, std::string* error) {
  error->clear();
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    if (errno != EACCES && errno != EPERM && errno != EROFS && errno != ENOENT &&
        errno != ENOTDIR) {
      *error = Describe(path, "cannot make the folder");
    }
    return false;
  }
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    *error = Describe(path, "cannot read the folder");
    return false;
  }
  return S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 077) == 0;
}

bool MakeFolders(const std::string& base, const std::vector<std::string>& levels, std::string* path,
                 std::string* error) {
  *path = base;
  for (const std::string& level : levels) {
    *path += "/" + level;
    if (!MakePrivateFolder(*path, error)) return false;
  }
  return true;
}

// Whether the Wine installed is Debian's (or Ubuntu's), whose server keeps
// its folder under /run/user when it can: their packages install the server
// under these names.
bool DebianWineInstalled() {
  for (const char* server : {"/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver32"}) {
    if (access(server, X_OK) == 0) return true;
  }
  return false;
}

// A number as wineserver writes it into the folder name: "%lx", or, when it
// does not fit an unsigned long, its two halves as "%lx%08lx".
std::string WineHex(unsigned long long value) {
  char text[40];
  if (value != static_cast<unsigned long>(value)) {
    std::snprintf(text, sizeof(text), "%lx%08lx", static_cast<unsigned long>(value >> 32),
                  static_cast<unsigned long>(value & 0xffffffffu));
  } else {
    std::snprintf(text, sizeof(text), "%lx", static_cast<unsigned long>(value));
  }
  return text;
}

// The name Debian's Wine keeps in $WINEPREFIX/wineserver for its folder under
// $TMPDIR; empty when the file is missing or Wine would replace it.
std::string DebianTemporaryName(const std::string& prefix) {
  const std::string path = prefix + "/wineserver";
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::string();
  struct stat info;
  char buffer[256];
  ssize_t size = -1;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 07777) == 0400 &&
      info.st_uid == getuid()) {
    size = read(fd, buffer, sizeof(buffer) - 1);
  }
  close(fd);
  if (size <= 0) return std::string();
  std::string name(buffer, size);
  while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.pop_back();
  if (name.find('/') != std::string::npos || name == "." || name == "..") return std::string();
  return name;
}

bool CanOpenFolder(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace

bool WineserverLock::LockFiles(const std::string& prefix, std::vector<std::string>* paths,
                               std::string* error) {
  struct stat info;
  if (stat(prefix.c_str(), &info) != 0) {
    *error = Describe(prefix, "cannot read the prefix folder");
    return false;
  }
  const std::string server = "server-" + WineHex(info.st_dev) + "-" + WineHex(info.st_ino);
  const std::string uid = std::to_string(getuid());
  std::vector<std::pair<std::string, std::vector<std::string>>> places = {
      {"/tmp", {".wine-" + uid, server}}};
  const std::string run_user = "/run/user/" + uid;
  if (DebianWineInstalled() && CanOpenFolder(run_user)) {
    places.push_back({run_user, {"wine", server}});
  }
  const std::string name = DebianTemporaryName(prefix);
  if (!name.empty()) {
    const char* tmpdir = std::getenv("TMPDIR");
    places.push_back({tmpdir && *tmpdir ? tmpdir : "/tmp", {name, server}});
  }
  paths->clear();
  for (const auto& place : places) {
    std::string folder;
    if (MakeFolders(place.first, place.second, &folder, error)) {
      paths->push_back(folder + "/lock");
    } else if (!error->empty()) {
      return false;
    }
  }
  return true;
}

namespace {

// A write lock on byte |start| alone.
struct flock ByteLock(off_t start) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = 1;
  return lock;
}

// The pid holding byte |start| of |fd|'s file, or 0.
pid_t LockHolder(int fd, off_t start) {
  struct flock probe = ByteLock(start);
  return fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK ? probe.l_pid : 0;
}

bool LockByte(int fd, off_t start) {
  struct flock lock = ByteLock(start);
  return fcntl(fd, F_SETLK, &lock) == 0;
}

}  // namespace

WineserverLock::Result WineserverLock::Take(const std::string& path, pid_t* holder,
                                            bool* by_dovetune, std::string* error) {
  // A file held already is locked again on its own descriptor: opening and
  // closing a second one would drop the lock.
  struct stat info;
  int fd = -1;
  if (lstat(path.c_str(), &info) == 0) {
    for (const Held& held : held_) {
      if (held.device == info.st_dev && held.inode == info.st_ino) fd = held.fd;
    }
  }
  const bool known = fd >= 0;
  if (!known) {
    fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || fstat(fd, &info) != 0) {
      *error = Describe(path, "cannot open wineserver's lock file");
      if (fd >= 0) close(fd);
      return Result::kFailed;
    }
    // Kept until Unlock even when it turns out to be a file held already.
    held_.push_back({info.st_dev, info.st_ino, fd});
  }
  if (LockByte(fd, 0) && LockByte(fd, 1)) return Result::kLocked;
  const bool busy = errno == EACCES || errno == EAGAIN;
  if (busy) {
    // A run holds its mark throughout, and wineserver's byte only to read
    // and to write.
    const pid_t marker = LockHolder(fd, 1);
    *holder = LockHolder(fd, 0);
    if (*holder == 0) *holder = marker;
    if (by_dovetune) *by_dovetune = marker != 0 && marker == *holder;
  } else {
    *error = std::string("cannot take wineserver's lock (") + std::strerror(errno) + ")";
  }
  return busy ? Result::kBusy : Result::kFailed;  // the caller lets go of all
}

WineserverLock::Result WineserverLock::TryLock(const std::vector<std::string>& prefixes,
                                               pid_t* holder, std::string* error,
                                               bool* by_dovetune) {
  for (const std::string& prefix : prefixes) {
    std::vector<std::string> paths;
    if (!LockFiles(prefix, &paths, error)) {
      Unlock();
      return Result::kFailed;
    }
    for (const std::string& path : paths) {
      const Result result = Take(path, holder, by_dovetune, error);
      if (result != Result::kLocked) {
        Unlock();
        return result;
      }
    }
  }
  return Result::kLocked;
}

void WineserverLock::LetServersIn() {
  for (const Held& held : held_) {
    struct flock lock = ByteLock(0);
    lock.l_type = F_UNLCK;
    fcntl(held.fd, F_SETLK, &lock);
  }
}

void WineserverLock::Unlock() {
  for (const Held& held : held_) close(held.fd);  // closing drops the record lock
  held_.clear();
}

bool CanSeeOpenFiles() { return access("/proc/self/fd", R_OK) == 0; }

bool WineserverLock::Holds(const struct stat& file) const {
  for (const Held& held : held_) {
    if (held.device == file.st_dev && held.inode == file.st_ino) return true;
  }
  return false;
}

namespace {

using Folder = std::unique_ptr<DIR, int (*)(DIR*)>;

// Opens the folder |name| relative to the folder |at|.
Folder OpenFolderAt(int at, const char* name) {
  const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Folder folder(fd >= 0 ? fdopendir(fd) : nullptr, closedir);
  if (fd >= 0 && !folder) close(fd);
  return folder;
}

// "<pid>/<entry>" in |path|, a process's file relative to /proc; false when
// the name is longer than any pid.
bool ProcessFile(const char* pid, const char* entry, char (&path)[32]) {
  const size_t pid_length = std::strlen(pid);
  const size_t entry_length = std::strlen(entry);
  if (pid_length + 1 + entry_length >= sizeof(path)) return false;
  std::memcpy(path, pid, pid_length);
  path[pid_length] = '/';
  std::memcpy(path + pid_length + 1, entry, entry_length + 1);
  return true;
}

// Whether the process |pid| (a name in |proc|) is named as wineserver names
// itself: an open, a read and a close, the whole cost of passing over the others.
bool NamedWineserver(int proc, const char* pid) {
  char path[32];
  if (!ProcessFile(pid, "comm", path)) return false;
  const int comm = openat(proc, path, O_RDONLY | O_CLOEXEC);
  if (comm < 0) return false;
  char name[32] = {};
  const ssize_t size = read(comm, name, sizeof(name) - 1);
  close(comm);
  return size > 0 && std::strncmp(name, "wineserver", 10) == 0;
}

// Whether the process |pid| holds one of |folders| open, and none of the
// lock files of |ours|.
bool HoldsFolder(int proc, const char* pid, const std::vector<std::string>& folders,
                 const WineserverLock* ours) {
  char path[32];
  if (!ProcessFile(pid, "fd", path)) return false;
  Folder fds = OpenFolderAt(proc, path);
  if (!fds) return false;
  bool holds_folder = false;
  while (dirent* fd = readdir(fds.get())) {
    char target[PATH_MAX];
    const ssize_t length = readlinkat(dirfd(fds.get()), fd->d_name, target, sizeof(target) - 1);
    if (length <= 0) continue;
    for (const std::string& folder : folders) {
      holds_folder = holds_folder || folder.compare(0, std::string::npos, target, length) == 0;
    }
    // A server that has our lock file open is one that our lock keeps from
    // starting (or `wineserver -w` waiting for us): it loads nothing.
    struct stat file;
    if (ours && fstatat(dirfd(fds.get()), fd->d_name, &file, 0) == 0 && ours->Holds(file))
      return false;
  }
  return holds_folder;
}

}  // namespace

pid_t FindServerHoldingFolder(const std::vector<std::string>& prefixes,
                              const WineserverLock* ours) {
  std::vector<std::string> folders;
  for (const std::string& prefix : prefixes) {
    char resolved[PATH_MAX];
    if (realpath(prefix.c_str(), resolved)) folders.push_back(resolved);
  }
  if (folders.empty()) return 0;
  Folder proc = OpenFolderAt(AT_FDCWD, "/proc");
  if (!proc) return 0;
  while (dirent* entry = readdir(proc.get())) {
    const char* pid = entry->d_name;
    if (pid[0] < '1' || pid[0] > '9') continue;
    if (NamedWineserver(dirfd(proc.get()), pid) &&
        HoldsFolder(dirfd(proc.get()), pid, folders, ours)) {
      return std::atoi(pid);
    }
  }
  return 0;
}

}  // namespace dovetune
