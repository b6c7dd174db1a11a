// A floor for reading a registry file: one pass over FILE that finds the
// lines starting with '[' (Wine's key headers; values never span raw
// newlines) and prints how many there are. Its instructions are what any
// reader of the whole file must spend at least.
//
//   dovetune_key_scan FILE

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<char> buffer(1 << 16);
  long headers = 0;
  bool line_start = true;
  for (ssize_t size; (size = read(fd, buffer.data(), buffer.size())) != 0;) {
    if (size < 0) {
      std::perror(argv[1]);
      close(fd);
      return 1;
    }
    const char* at = buffer.data();
    const char* end = at + size;
    while (at < end) {
      if (line_start && *at == '[') ++headers;
      const void* newline = std::memchr(at, '\n', end - at);
      line_start = newline != nullptr;
      at = newline ? static_cast<const char*>(newline) + 1 : end;
    }
  }
  close(fd);
  std::printf("%ld\n", headers);
  return 0;
}
