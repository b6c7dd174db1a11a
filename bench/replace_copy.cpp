// A floor for a run that rewrites a registry file: FILE copied to a new file
// beside it, synced, renamed over FILE, and the folder synced, as a safe
// replacement of the file must at least do.
//
//   dovetune_replace_copy FILE

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool Copy(int from, int to) {
  std::vector<char> buffer(1 << 16);
  for (ssize_t size; (size = read(from, buffer.data(), buffer.size())) != 0;) {
    if (size < 0 || !WriteAll(to, buffer.data(), static_cast<size_t>(size))) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const std::string temporary = path + ".bench-new";
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int from = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const int to = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = from >= 0 && to >= 0 && Copy(from, to) && fsync(to) == 0;
  if (from >= 0) close(from);
  if (to >= 0) ok = close(to) == 0 && ok;
  ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
  const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ok = ok && directory >= 0 && fsync(directory) == 0;
  if (directory >= 0) close(directory);
  if (!ok) {
    std::perror(path.c_str());
    unlink(temporary.c_str());
    return 1;
  }
  return 0;
}
