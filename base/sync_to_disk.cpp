#include "base/sync_to_disk.h"

#include <fcntl.h>
#include <unistd.h>

namespace dovetune {

bool SyncToDisk(int descriptor) {
#ifdef __APPLE__
  // Apple's file systems implement F_FULLFSYNC; others (network and FUSE
  // ones, some external drives) refuse it, and Apple's manual has those
  // synced with fsync() instead, the best they offer.
  if (fcntl(descriptor, F_FULLFSYNC) == 0) return true;
#endif
  return fsync(descriptor) == 0;
}

}  // namespace dovetune
