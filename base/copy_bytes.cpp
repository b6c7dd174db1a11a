#include "base/copy_bytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "base/replace_file.h"

namespace dovetune {

namespace {

// The rest of the stretch through a buffer of the program's own.
bool CopyThroughBuffer(int from, size_t offset, size_t size, int to) {
  constexpr size_t kBuffer = size_t{128} << 10;
  std::vector<char> buffer(std::min(size, kBuffer));
  while (size > 0) {
    const ssize_t got =
        pread(from, buffer.data(), std::min(size, buffer.size()), static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;
      return false;
    }
    if (!WriteAll(to, buffer.data(), static_cast<size_t>(got))) return false;
    offset += static_cast<size_t>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

bool CopyBytes(int from, size_t offset, size_t size, int to) {
#ifdef __linux__
  // Whatever the kernel does not copy (it refuses some files and file
  // systems, or stops at an end it sees) is left to the buffer, which
  // reports a true failure or the end of the file as such.
  while (size > 0) {
    off_t at = static_cast<off_t>(offset);
    const ssize_t copied = copy_file_range(from, &at, to, nullptr, size, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied <= 0) break;
    offset += static_cast<size_t>(copied);
    size -= static_cast<size_t>(copied);
  }
#endif
  return CopyThroughBuffer(from, offset, size, to);
}

}  // namespace dovetune
