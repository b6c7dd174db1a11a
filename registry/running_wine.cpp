#include "registry/running_wine.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "base/file_bytes.h"
#include "base/file_path.h"
#include "base/utf.h"
#include "registry/stores/wine_prefix_store.h"
#include "registry/stores/wineserver_lock.h"

extern char** environ;

// The build sets it from its install prefix (cmake/windows_build.cmake).
#ifndef DOVETUNE_WINDOWS_EXE_INSTALLED
#define DOVETUNE_WINDOWS_EXE_INSTALLED "/usr/local/lib/dovetune/dovetune.exe"
#endif

namespace dovetune {

namespace {

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsExecutable(const std::string& path) {
  return IsFile(path) && access(path.c_str(), X_OK) == 0;
}

std::string Resolved(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The folders whose wineserver holds the prefix's registry: the prefix named
// and the one its user.reg lives in once links are followed.
std::vector<std::string> ServerFolders(const std::string& store_path) {
  const std::string prefix = WinePrefixFolder(store_path);
  std::vector<std::string> folders = {prefix};
  const std::string file = Resolved(prefix + "/user.reg");
  if (!file.empty() && FolderOf(file) != prefix) folders.push_back(FolderOf(file));
  return folders;
}

// A file for one of the program's streams, removed at once and closed
// however the run ends. Not a pipe: the programs Wine starts beside the
// first one in a prefix (services.exe and its kin) inherit its streams and
// outlive it, so a pipe would not close when the program ends.
class StreamFile {
 public:
  StreamFile() {
    const char* folder = getenv("TMPDIR");
    std::string path = std::string(folder && *folder ? folder : "/tmp") + "/dovetune-XXXXXX";
    fd_ = mkstemp(&path[0]);
    if (fd_ >= 0) {
      unlink(path.c_str());
      fcntl(fd_, F_SETFD, FD_CLOEXEC);
    }
  }
  ~StreamFile() {
    if (fd_ >= 0) close(fd_);
  }
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;
  int fd() const { return fd_; }

  // Writes what the program wrote to |out|, its "\r\n" line ends as "\n":
  // text mode writes every "\n" as "\r\n", so each "\r\n" was a "\n", and
  // a lone "\r" is kept.
  bool CopyTo(int out) const {
    std::string lines;
    return Read(&lines) && WriteAll(out, lines.data(), lines.size());
  }

  // What the program wrote, its "\r\n" line ends as "\n" (see CopyTo).
  bool Read(std::string* lines) const {
    std::string text;
    char buffer[65536];
    for (size_t at = 0;;) {
      const ssize_t got = ReadAt(fd_, buffer, sizeof(buffer), at);
      if (got < 0) return false;
      if (got == 0) break;
      text.append(buffer, static_cast<size_t>(got));
      at += static_cast<size_t>(got);
    }
    lines->clear();
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') *lines += text[i];
    }
    return true;
  }

 private:
  int fd_ = -1;
};

// The environment of the run with |name| set to |value|.
std::vector<std::string> WithVariable(std::vector<std::string> variables, const std::string& name,
                                      const std::string& value) {
  const std::string start = name + "=";
  for (auto it = variables.begin(); it != variables.end();) {
    it = it->compare(0, start.size(), start) == 0 ? variables.erase(it) : it + 1;
  }
  variables.push_back(start + value);
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::string WinePrefixFolder(const std::string& store_path) {
  const std::string named = Resolved(store_path);
  if (named.empty()) return std::string();
  struct stat info;
  if (stat(named.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return named;
  return FolderOf(named);
}

bool WineRunsFor(const std::string& store_path, bool* none_seen) {
  if (none_seen) *none_seen = false;
  if (store_path.empty() || !WinePrefixStore::IsWinePrefix(store_path)) return false;
  const std::vector<std::string> folders = ServerFolders(store_path);
  if (folders.front().empty()) return false;
  if (FindServerHoldingFolder(folders) != 0) return true;
  WineserverLock lock;
  pid_t holder = 0;
  std::string error;
  bool by_dovetune = false;
  switch (lock.TryLock(folders, &holder, &error, &by_dovetune)) {
    case WineserverLock::Result::kBusy:
      if (!by_dovetune) return true;
      break;
    case WineserverLock::Result::kLocked:
    case WineserverLock::Result::kFailed:
      // One that starts after the search is no different from one that
      // starts during the run: a changing run looks again before it writes.
      break;
  }
  if (none_seen) *none_seen = CanSeeOpenFiles();
  return false;
}

bool WindowsPathOf(const std::string& prefix, const std::string& path, std::string* windows,
                   std::string* error) {
  const std::string name = NameOf(path);
  const std::string folder = Resolved(FolderOf(path));
  if (folder.empty() || name.empty() || name == "." || name == "..") {
    *error = path + ": no such folder";
    return false;
  }
  const std::string file = (folder == "/" ? "" : folder) + "/" + name;
  std::string best_drive, best_root;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    const std::string root = Resolved(prefix + "/dosdevices/" + letter + ":");
    if (root.empty()) continue;
    const std::string base = root == "/" ? "" : root;
    const bool holds = file.compare(0, base.size() + 1, base + "/") == 0;
    if (holds && (best_drive.empty() || root.size() > best_root.size())) {
      best_drive = std::string(1, static_cast<char>(letter - 'a' + 'A')) + ":";
      best_root = root;
    }
  }
  if (best_drive.empty()) {
    *error = path + ": no drive of the Wine prefix reaches this file";
    return false;
  }
  std::string rest = file.substr(best_root == "/" ? 0 : best_root.size());
  for (char& c : rest) c = c == '/' ? '\\' : c;
  *windows = best_drive + rest;
  return true;
}

bool WineCarriesArguments(const std::vector<std::string>& arguments, std::string* error) {
  for (const std::string& argument : arguments) {
    if (IsValidUtf8(argument)) continue;
    *error =
        "Wine is running in this prefix, and the run would go through it, but the "
        "argument '" +
        argument +
        "' is not UTF-8, which Wine would read as other characters; nothing was changed "
        "(close Wine's programs or wait with 'wineserver -w', then try again)";
    return false;
  }
  return true;
}

std::string InstalledWindowsBuild() { return DOVETUNE_WINDOWS_EXE_INSTALLED; }

std::string WindowsBuildPath() {
  const char* chosen = getenv("DOVETUNE_WINDOWS_EXE");
  const std::string path = chosen && *chosen ? chosen : InstalledWindowsBuild();
  return IsFile(path) ? path : std::string();
}

std::string WineLoader() {
  const char* loader = getenv("WINELOADER");
  if (loader && *loader) return loader;
  const char* path = getenv("PATH");
  for (std::string folders = path ? path : ""; !folders.empty();) {
    const size_t colon = folders.find(':');
    const std::string folder = folders.substr(0, colon);
    if (!folder.empty() && IsExecutable(folder + "/wine")) return folder + "/wine";
    folders = colon == std::string::npos ? std::string() : folders.substr(colon + 1);
  }
  return "/usr/lib/wine/wine64";
}

namespace {

// Starts |arguments| under Wine with its streams into |out| and |err| and
// waits for it: its status, or -1 (not started) or 1 (not waited for) with
// |error| saying why.
int SpawnUnderWine(const std::string& prefix, const std::vector<std::string>& arguments,
                   const StreamFile& out, const StreamFile& err, std::string* error) {
  const std::string loader = WineLoader();
  std::vector<std::string> command = {loader};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<std::string> variables;
  for (char** variable = environ; *variable; ++variable) variables.push_back(*variable);
  variables = WithVariable(WithVariable(variables, "WINEPREFIX", prefix), "WINEDEBUG", "-all");

  if (out.fd() < 0 || err.fd() < 0) {
    *error = std::string("cannot start Wine: no file for its output: ") + std::strerror(errno);
    return -1;
  }
  const std::string nothing_run = "; nothing was run (set WINELOADER to the wine program to use)";
  // Said before anything starts: where posix_spawn forks (as under
  // valgrind), a program that cannot be run shows only as status 127.
  if (access(loader.c_str(), X_OK) != 0) {
    *error = "cannot start Wine (" + loader + "): " + std::strerror(errno) + nothing_run;
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out.fd(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.fd(), STDERR_FILENO);
  std::vector<char*> argv = Pointers(command);
  std::vector<char*> envp = Pointers(variables);
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, loader.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    *error = "cannot start Wine (" + loader + "): " + std::strerror(spawned) + nothing_run;
    return -1;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = std::string("cannot wait for Wine: ") + std::strerror(errno);
      return 1;
    }
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int RunUnderWine(const std::string& prefix, const std::vector<std::string>& arguments,
                 std::string* error) {
  StreamFile out, err;
  const int status = SpawnUnderWine(prefix, arguments, out, err, error);
  if (!error->empty()) return status;
  // Standard error first, as a native run prints its errors before its
  // output; a standard error that cannot be written is no one's to hear.
  err.CopyTo(STDERR_FILENO);
  if (!out.CopyTo(STDOUT_FILENO)) {
    *error = "cannot write to standard output";
    return 1;
  }
  return status;
}

int RunUnderWineQuietly(const std::string& prefix, const std::vector<std::string>& arguments,
                        std::string* output, std::string* error) {
  StreamFile out, err;
  const int status = SpawnUnderWine(prefix, arguments, out, err, error);
  if (!error->empty()) return status;
  std::string errors;
  if (!out.Read(output) || !err.Read(&errors)) {
    *error = std::string("cannot read what Wine printed: ") + std::strerror(errno);
    return 1;
  }
  *output += errors;
  return status;
}

}  // namespace dovetune
