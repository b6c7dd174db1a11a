// Forced into every source of the programs by .ci/interfaces.sh, which
// compiles them for syntax only: the system headers are read first, as they
// are, and then the names only Linux or GNU offer are poisoned, so that a use
// of one in the programs' own code stops the compile. Code for Linux alone
// belongs in an #ifdef __linux__ block, which this check skips (it reads
// every source as a POSIX system other than Linux would), and is compiled
// by the ordinary build.
#pragma once

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

// Read as a system other than Linux would.
#undef __linux__
#undef __linux
#undef linux
#undef __gnu_linux__

// Flags and constants only Linux's headers define are undefined first, so
// that #ifdef finds them missing, as elsewhere, and a use names the poison.
// O_PATH, O_TMPFILE, O_NOATIME, MAP_POPULATE, F_SETPIPE_SZ: Linux's own.
#undef O_PATH
#undef O_TMPFILE
#undef O_NOATIME
#undef MAP_POPULATE
#undef F_SETPIPE_SZ
#pragma GCC poison O_PATH O_TMPFILE O_NOATIME MAP_POPULATE F_SETPIPE_SZ
// O_DIRECT: macOS has F_NOCACHE instead. O_LARGEFILE: glibc's; off_t is
// 64 bits elsewhere. MAP_FIXED_NOREPLACE, MAP_STACK, open file description
// locks (F_OFD_*): not on macOS.
#undef O_DIRECT
#undef O_LARGEFILE
#undef MAP_FIXED_NOREPLACE
#undef MAP_STACK
#undef F_OFD_SETLK
#undef F_OFD_SETLKW
#undef F_OFD_GETLK
#pragma GCC poison O_DIRECT O_LARGEFILE MAP_FIXED_NOREPLACE MAP_STACK
#pragma GCC poison F_OFD_SETLK F_OFD_SETLKW F_OFD_GETLK

// Calls and variables.
// In POSIX since 2024 only, and missing on macOS:
#pragma GCC poison pipe2 dup3 accept4 ppoll
// GNU's:
#pragma GCC poison program_invocation_name program_invocation_short_name
#pragma GCC poison secure_getenv euidaccess canonicalize_file_name get_current_dir_name
#pragma GCC poison strchrnul mempcpy memrchr rawmemchr
// Linux's own (mount takes five arguments there, four on the BSDs):
#pragma GCC poison mount umount2 renameat2 memfd_create statx syncfs gettid prctl unshare setns
#pragma GCC poison timerfd_create signalfd eventfd splice tee vmsplice mremap
// Linux's ways of waiting for events (kqueue and FSEvents elsewhere):
#pragma GCC poison epoll_create epoll_create1 epoll_ctl epoll_wait
#pragma GCC poison inotify_init inotify_init1 inotify_add_watch
// Each system's own signature, or missing:
#pragma GCC poison sendfile copy_file_range
// Linux and FreeBSD only, not macOS (getentropy is on all three):
#pragma GCC poison getrandom
// Missing on macOS:
#pragma GCC poison fallocate posix_fallocate clock_nanosleep
// glibc's large-file names (off_t is 64 bits elsewhere):
#pragma GCC poison open64 stat64 fstat64 lstat64 lseek64 off64_t
// GNU's signatures differ from POSIX's (strerror_r) or the BSDs' (qsort_r):
#pragma GCC poison strerror_r qsort_r

// fsync() and fdatasync() are POSIX, but on macOS neither gets the data past
// the drive's cache: every sync goes through base/sync_to_disk, the one file
// that may call them.
#ifndef DOVETUNE_SYNC_HOME
#pragma GCC poison fsync fdatasync
#endif

// Apple's branches are read once more with __APPLE__ defined and the names
// Apple's headers add declared (a syntax check only; the values are Apple's).
#ifdef DOVETUNE_READ_AS_APPLE
#define __APPLE__ 1
#define F_FULLFSYNC 51
// macOS's names for the file times POSIX calls st_mtim and st_ctim.
#define st_mtimespec st_mtim
#define st_ctimespec st_ctim
#endif
