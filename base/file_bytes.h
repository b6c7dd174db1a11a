// Moving bytes in and out of open files whole, as many calls as it takes,
// each made again when a signal cuts it short. A stretch of one file is
// copied to another without being held in memory: by the kernel where it can
// (copy_file_range on Linux), and through a fixed buffer everywhere else and
// wherever the kernel refuses.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace dovetune {

// pread: up to |size| bytes at |offset| into |into|. The count read, 0 at
// the end of the file, or -1 with errno set.
ssize_t ReadAt(int descriptor, char* into, size_t size, size_t offset);

// Reads all |size| bytes at |offset| into |into|; false, with errno set, when
// the file ends first (EIO) or a call fails.
bool ReadAllAt(int descriptor, char* into, size_t size, size_t offset);

// Writes all |size| bytes at |data| to |descriptor| at its position; false,
// with errno set, on a failure.
bool WriteAll(int descriptor, const char* data, size_t size);

// Copies the |size| bytes at |offset| of the file |from| to |to| at its
// current position, which moves past them; |from|'s position is left alone.
// False, with errno set, when |from| ends first (EIO) or a call fails.
bool CopyBytes(int from, size_t offset, size_t size, int to);

}  // namespace dovetune
