// Syncing an open file or folder so that what was written to it survives a
// power loss. On most systems fsync() does that; on macOS it hands the data to
// the drive, whose own cache can still lose it, and only fcntl(F_FULLFSYNC)
// has the drive write its cache out. Every sync of the program goes through
// here (SQLite, which syncs by itself, is told the same by the SQLite store).
#pragma once

namespace dovetune {

// Whether fsync() leaves the data in the drive's cache on this platform.
#ifdef __APPLE__
constexpr bool kFsyncStopsAtDriveCache = true;
#else
constexpr bool kFsyncStopsAtDriveCache = false;
#endif

// Syncs the open file or folder |descriptor| to the disk: with F_FULLFSYNC
// where fsync() stops at the drive's cache, and with fsync() where it does
// not or where the file system does not support F_FULLFSYNC. Returns false
// with errno set when the sync fails.
bool SyncToDisk(int descriptor);

}  // namespace dovetune
