// wineserver's own lock on a Wine prefix, taken the way a second wineserver
// would take it, so that no server starts (or runs) while we change the
// prefix's files: a classic fcntl write lock on byte 0 of the file "lock" in
// the prefix's server folder, in every place a Wine build may keep that
// folder (server/request.c: create_server_dir, acquire_lock):
//   - upstream Wine:               /tmp/.wine-<uid>/server-<dev>-<ino>/lock
//   - Debian's, /run/user usable:  /run/user/<uid>/wine/server-<dev>-<ino>/lock
//   - Debian's otherwise:          $TMPDIR/<name in $WINEPREFIX/wineserver>/server-…/lock
// The /run/user place only where Debian's (or Ubuntu's) Wine is installed;
// the $TMPDIR one only where the prefix holds the file only that Wine
// writes. Missing folders are made as Wine makes them (mode 0700); a place
// whose folder Wine would refuse (another user's, say) is passed over, since
// no server of this user can run there. Never an OFD lock
// or flock(): wineserver would not see those, and `wineserver -k` relies on
// the holder's pid. The prefix's "wineserver" file is only ever read.
//
// Besides wineserver's byte, a dovetune run locks byte 1 of each file, which
// Wine never looks at: so a run that finds the lock taken can tell another
// run of ours from a server.
//
// A record lock belongs to the process and goes with the first close of ANY
// descriptor of its file, so each lock file is opened once, here, and nothing
// else in the process may open it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace dovetune {

class WineserverLock {
 public:
  enum class Result { kLocked, kBusy, kFailed };

  WineserverLock() = default;
  ~WineserverLock() { Unlock(); }
  WineserverLock(const WineserverLock&) = delete;
  WineserverLock& operator=(const WineserverLock&) = delete;

  // Tries once, without waiting, to take the lock of each prefix folder in
  // |prefixes| in every place that applies. kBusy sets |holder| to the pid of
  // the process holding one of them; kFailed sets |error|. Takes all or none.
  // While locked, a second call takes the places that have come to apply
  // since (a "wineserver" file written meanwhile), keeping those it holds,
  // and lets go of everything when one of them is busy. |by_dovetune|, when
  // given, says with kBusy whether the holder is a dovetune run.
  Result TryLock(const std::vector<std::string>& prefixes, pid_t* holder, std::string* error,
                 bool* by_dovetune = nullptr);
  void Unlock();
  // Lets go of wineserver's byte alone, keeping the mark that keeps other
  // dovetune runs out: a server may start until the next TryLock.
  void LetServersIn();

  // Whether |file| is a lock file this object holds.
  bool Holds(const struct stat& file) const;

  // The lock files this process would lock for |prefix| (made when missing;
  // none where Wine could not run a server).
  static bool LockFiles(const std::string& prefix, std::vector<std::string>* paths,
                        std::string* error);

 private:
  struct Held {
    dev_t device;
    ino_t inode;
    int fd;
  };
  // Opens |path| and locks it unless it is held already.
  Result Take(const std::string& path, pid_t* holder, bool* by_dovetune, std::string* error);
  std::vector<Held> held_;
};

// Whether this process can see the others' open files (Linux's /proc), which
// FindServerHoldingFolder needs.
bool CanSeeOpenFiles();

// A wineserver process (of any Wine build, wherever its lock lives) that holds
// one of the folders |prefixes| open; 0 when there is none this process can
// see. A process that holds a lock file of |ours| open is not counted: it is
// a server that lock keeps from starting.
pid_t FindServerHoldingFolder(const std::vector<std::string>& prefixes,
                              const WineserverLock* ours = nullptr);

}  // namespace dovetune
