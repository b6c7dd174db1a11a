#include "registry/store_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/replace_file.h"
#include "registry/stores/sqlite_store.h"
#include "registry/stores/wine_prefix_store.h"

namespace dovetune {

namespace {

const char kNoStoreFolder[] =
    "no folder for the registry store: set XDG_CONFIG_HOME or HOME to an absolute path";

std::string Environment(const EnvironmentLookup& environment, const char* name) {
  const char* value = environment(name);
  return value ? value : "";
}

// The folder a path in the environment names, or "" when it names none: a
// relative path would put the store wherever the run happens to start.
std::string AbsoluteFolder(const std::string& value) {
  return !value.empty() && value[0] == '/' ? value : std::string();
}

// $HOME when absolute; the password database only when HOME is unset, since a
// HOME that is set but relative says no home folder is meant.
std::string HomeFolder(const EnvironmentLookup& environment) {
  const char* home = environment("HOME");
  if (home && *home) return AbsoluteFolder(home);
  const passwd* entry = getpwuid(getuid());
  return entry && entry->pw_dir ? AbsoluteFolder(entry->pw_dir) : std::string();
}

std::string SystemError(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// The folders a failed first run made, removed again (deepest first) unless
// the run succeeds.
class NewFolders {
 public:
  ~NewFolders() {
    for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder) rmdir(folder->c_str());
  }
  // Creates every missing folder above |path|, each with mode 0700.
  bool CreateAbove(const std::string& path, std::string* error) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      const std::string folder = path.substr(0, slash);
      if (mkdir(folder.c_str(), 0700) == 0) {
        made_.push_back(folder);
      } else if (errno != EEXIST) {
        *error = SystemError(("cannot create the folder " + folder).c_str());
        return false;
      }
    }
    return true;
  }
  void Keep() { made_.clear(); }

 private:
  std::vector<std::string> made_;
};

// Builds the fresh store under a temporary name beside |path| and links it
// into place, so that a run killed meanwhile leaves no half-made store, and
// two runs creating it at once end with one store.
bool CreateFreshStore(const std::string& path, std::string* error, bool* created_here) {
  NewFolders folders;
  if (!folders.CreateAbove(path, error)) return false;
  bool filling = false;
  const FileFiller fill = [&filling](const std::string& temporary, std::string* why) {
    filling = true;
    return SqliteStore::CreateFresh(temporary, why);
  };
  bool created = false;
  if (!CreateFileWhole(path, fill, &created, error)) {
    // SQLite's reasons ("the disk is full") stand alone; the file's need saying.
    if (!filling) *error = "cannot create the registry store: " + *error;
    return false;
  }
  folders.Keep();
  if (created_here) *created_here = created;
  return true;
}

// A folder holding user.reg: what Wine takes for a prefix it has made.
bool IsPrefixFolder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         WinePrefixStore::IsWinePrefix(path);
}

// Whether WINEPREFIX names a prefix by Wine's rules, or false saying why not.
bool NamedPrefix(const std::string& prefix, std::string* error) {
  if (prefix.empty() || prefix[0] != '/') {
    *error = "WINEPREFIX=" + prefix +
             " is not an absolute path, as Wine needs it to be: set it to the prefix's full path";
    return false;
  }
  if (IsPrefixFolder(prefix)) return true;
  struct stat status;
  std::string why;
  if (stat(prefix.c_str(), &status) != 0) {
    why = SystemError(prefix.c_str());
  } else if (!S_ISDIR(status.st_mode)) {
    why = prefix + " is not a folder";
  } else {
    why = prefix + " holds no user.reg";
  }
  *error = "WINEPREFIX names no Wine prefix: " + why +
           "; make the prefix with \"WINEPREFIX=" + prefix +
           " wineboot\", or set DOVETUNE_REGISTRY to the registry you mean";
  return false;
}

}  // namespace

bool ChooseStore(const EnvironmentLookup& environment, StoreChoice* choice, std::string* error) {
  *choice = StoreChoice();
  choice->own_store = OwnStoreFilePath(environment);
  const std::string explicit_path = Environment(environment, "DOVETUNE_REGISTRY");
  if (!explicit_path.empty()) {
    choice->origin = StoreOrigin::kExplicit;
    choice->path = explicit_path;
    return true;
  }
  // Set but empty counts as set, as it does for Wine, which refuses it.
  if (const char* prefix = environment("WINEPREFIX")) {
    if (!NamedPrefix(prefix, error)) return false;
    choice->origin = StoreOrigin::kWinePrefixVariable;
    choice->path = prefix;
    return true;
  }
  const std::string home = HomeFolder(environment);
  if (!home.empty() && IsPrefixFolder(home + "/.wine")) {
    choice->origin = StoreOrigin::kWineDefaultPrefix;
    choice->path = home + "/.wine";
    return true;
  }
  choice->origin = StoreOrigin::kOwnStore;
  choice->path = choice->own_store;
  return true;
}

std::string OwnStoreFilePath(const EnvironmentLookup& environment) {
  std::string config = AbsoluteFolder(Environment(environment, "XDG_CONFIG_HOME"));
  if (config.empty()) {
    const std::string home = HomeFolder(environment);
    if (home.empty()) return "";
    config = home + "/.config";
  }
  return config + "/dovetune/registry.db";
}

bool PrepareStoreFile(const std::string& path, std::string* error, bool* created) {
  if (created) *created = false;
  if (path.empty()) {
    *error = kNoStoreFolder;
    return false;
  }
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return CreateFreshStore(path, error, created);
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
