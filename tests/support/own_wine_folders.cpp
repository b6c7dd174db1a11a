#include "tests/support/own_wine_folders.h"

#ifdef __linux__
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace dovetune {

#ifdef __linux__
namespace {

std::string Failed(const std::string& what) { return what + ": " + std::strerror(errno); }

bool WriteProcFile(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return written;
}

// A mount namespace of this process's own: as root directly, otherwise
// inside a user namespace that maps the user to itself.
bool EnterMountNamespace(std::string* why) {
  if (unshare(CLONE_NEWNS) == 0) return true;
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
    *why = Failed("cannot make a mount namespace");
    return false;
  }
  const std::string user = std::to_string(uid) + " " + std::to_string(uid) + " 1\n";
  const std::string group = std::to_string(gid) + " " + std::to_string(gid) + " 1\n";
  if (!WriteProcFile("/proc/self/setgroups", "deny") ||
      !WriteProcFile("/proc/self/uid_map", user) || !WriteProcFile("/proc/self/gid_map", group)) {
    *why = Failed("cannot map the user into a user namespace");
    return false;
  }
  return true;
}

// An empty folder of the user's own over |folder|, made (as Wine makes it)
// when missing.
bool MountFresh(const std::string& folder, std::string* why) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = Failed("cannot make " + folder);
    return false;
  }
  const std::string options =
      "mode=0700,uid=" + std::to_string(getuid()) + ",gid=" + std::to_string(getgid());
  if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    *why = Failed("cannot mount a fresh " + folder);
    return false;
  }
  return true;
}

}  // namespace

bool UseOwnWineFolders(std::string* why) {
  if (!EnterMountNamespace(why)) return false;
  // Nothing mounted here reaches the machine's namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    *why = Failed("cannot make the mounts private");
    return false;
  }
  const std::string uid = std::to_string(getuid());
  if (!MountFresh("/tmp/.wine-" + uid, why)) return false;
  struct stat info;
  const std::string run_user = "/run/user/" + uid;
  return stat(run_user.c_str(), &info) != 0 || MountFresh(run_user + "/wine", why);
}

#else

bool UseOwnWineFolders(std::string* why) {
  *why = "this system has no private mount namespaces";
  return false;
}

#endif

}  // namespace dovetune
