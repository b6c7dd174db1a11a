#include "registry/store_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "registry/stores/sqlite_store.h"

namespace dovetune {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (home.empty()) {
    const passwd* entry = getpwuid(getuid());
    if (entry && entry->pw_dir) home = entry->pw_dir;
  }
  return home;
}

std::string SystemError(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// Creates every missing folder above |path|, each with mode 0700.
bool CreateParentFolders(const std::string& path, std::string* error) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = SystemError(("cannot create the folder " + folder).c_str());
      return false;
    }
  }
  return true;
}

void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (descriptor < 0) return;
  fsync(descriptor);
  close(descriptor);
}

// Builds the fresh store under a temporary name beside |path| and links it
// into place, so that a run killed meanwhile leaves no half-made store, and
// two runs creating it at once end with one store.
bool CreateFreshStore(const std::string& path, std::string* error) {
  if (!CreateParentFolders(path, error)) return false;
  const std::string temporary = path + ".new-" + std::to_string(getpid());
  unlink(temporary.c_str());
  const int descriptor = open(temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
  if (descriptor < 0) {
    *error = SystemError("cannot create the registry store");
    return false;
  }
  close(descriptor);
  bool created = SqliteStore::CreateFresh(temporary, error);
  if (created && link(temporary.c_str(), path.c_str()) != 0 && errno != EEXIST) {
    *error = SystemError("cannot create the registry store");
    created = false;
  }
  unlink(temporary.c_str());
  if (created) SyncFolderOf(path);
  return created;
}

}  // namespace

std::string DefaultStoreFilePath() {
  const std::string explicit_path = Environment("DOVETUNE_REGISTRY");
  if (!explicit_path.empty()) return explicit_path;
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = HomeFolder() + "/.config";
  return config + "/dovetune/registry.db";
}

bool PrepareStoreFile(const std::string& path, std::string* error) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return CreateFreshStore(path, error);
    *error = SystemError("cannot reach the registry store");
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    *error = "is a folder, not a registry store";
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = "is not a regular file, so not a registry store";
    return false;
  }
  if (status.st_size == 0) {
    *error = "the file is empty, not a registry store";
    return false;
  }
  if (access(path.c_str(), R_OK) != 0) {
    *error = SystemError("cannot read the registry store");
    return false;
  }
  return true;
}

}  // namespace dovetune
