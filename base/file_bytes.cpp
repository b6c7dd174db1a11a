#include "base/file_bytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace dovetune {

ssize_t ReadAt(int descriptor, char* into, size_t size, size_t offset) {
  ssize_t got;
  do {
    got = pread(descriptor, into, size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got;
}

bool ReadAllAt(int descriptor, char* into, size_t size, size_t offset) {
  while (size > 0) {
    const ssize_t got = ReadAt(descriptor, into, size, offset);
    if (got <= 0) {
      if (got == 0) errno = EIO;
      return false;
    }
    into += got;
    size -= static_cast<size_t>(got);
    offset += static_cast<size_t>(got);
  }
  return true;
}

bool WriteAll(int descriptor, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t written = write(descriptor, data + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    if (written == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

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
  std::vector<char> buffer(std::min(size, size_t{128} << 10));
  while (size > 0) {
    const size_t piece = std::min(size, buffer.size());
    if (!ReadAllAt(from, buffer.data(), piece, offset) || !WriteAll(to, buffer.data(), piece)) {
      return false;
    }
    offset += piece;
    size -= piece;
  }
  return true;
}

}  // namespace dovetune
