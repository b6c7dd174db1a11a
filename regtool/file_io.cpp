#include "regtool/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dovetune {

namespace {

bool SystemFailure(const std::string& what, std::string* error) {
  *error = what + ": " + std::strerror(errno);
  return false;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return SystemFailure("cannot open " + path, error);
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(descriptor, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      SystemFailure("cannot read " + path, error);
      close(descriptor);
      return false;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  close(descriptor);
  *bytes = std::move(content);
  return true;
}

bool FileExists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

}  // namespace dovetune
