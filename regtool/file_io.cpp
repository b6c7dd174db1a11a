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

bool WriteAll(int descriptor, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

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

bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string temporary = path + ".new-" + std::to_string(getpid());
  const int descriptor = open(temporary.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
  if (descriptor < 0) return SystemFailure("cannot write " + path, error);
  const bool written = WriteAll(descriptor, bytes) && fsync(descriptor) == 0;
  const int saved_errno = errno;
  if (close(descriptor) != 0 || !written) {
    errno = written ? errno : saved_errno;
    SystemFailure("cannot write " + path, error);
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    SystemFailure("cannot write " + path, error);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool FileExists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

}  // namespace dovetune
