// Copying a stretch of one open file to another without holding it in
// memory: the kernel copies it where it can (copy_file_range on Linux), and
// a fixed buffer of pread and write calls does it everywhere else and
// wherever the kernel refuses.
#pragma once

#include <cstddef>

namespace dovetune {

// Copies the |size| bytes at |offset| of the file |from| to |to| at its
// current position, which moves past them; |from|'s position is left alone.
// False, with errno set, when |from| ends first (EIO) or a call fails.
bool CopyBytes(int from, size_t offset, size_t size, int to);

}  // namespace dovetune
