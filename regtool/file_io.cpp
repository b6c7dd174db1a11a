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

bool ReadAll(int descriptor, const std::string& what, std::string* bytes, std::string* error) {
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(descriptor, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return SystemFailure("cannot read " + what, error);
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  *bytes = std::move(content);
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return SystemFailure("cannot open " + path, error);
  const bool read_all = ReadAll(descriptor, path, bytes, error);
  close(descriptor);
  return read_all;
}

bool ReadStandardInput(std::string* bytes, std::string* error) {
  return ReadAll(STDIN_FILENO, "standard input", bytes, error);
}

bool FileExists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

}  // namespace dovetune
