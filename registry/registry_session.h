// The start-up step of a run, in place of an application framework's: it opens
// the registry that the run works on, and at the end keeps the run's changes.
// On Windows the registry is the system's and there is nothing to open; off
// Windows it is the embedded store, and the whole run is one transaction that
// other runs wait for.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "registry/store_choice.h"

namespace dovetune {

class KeyStore;

class CRegistrySession {
 public:
  CRegistrySession();
  ~CRegistrySession();  // Discards whatever was not committed.
  CRegistrySession(const CRegistrySession&) = delete;
  CRegistrySession& operator=(const CRegistrySession&) = delete;

  // The registry the environment chooses (see ChooseStore in
  // registry/store_file.h); on Windows always the system's.
  static bool ChooseStore(StoreChoice* choice, std::string* error);

  // How long a run waits for the runs ahead of it before it gives up.
  static constexpr int kLockWaitMilliseconds = 10000;

  // Opens the registry: off Windows the store at |store_path|, created fresh
  // when missing, waiting up to |wait_ms| for another run that holds it. On
  // failure |error| names the path and the reason.
  bool Open(const std::string& store_path, std::string* error, int wait_ms = kLockWaitMilliseconds);

#ifndef _WIN32
  // Says that a look over every process for a wineserver of the store's
  // prefix (WineRunsFor) has just found none, so that the store Open opens
  // does not look again before its run begins: a server that starts after
  // the look is one that starts during the run, which a run that changes
  // the prefix looks for before it writes.
  void SetNoWineSeen() { no_wine_seen_ = true; }

  // Opens the registry on |store| (opened, its transaction not begun) in place
  // of the one at a path: how tests run the registry on a store of their
  // choosing. |name| prefixes the errors as the path does. The run waits up
  // to |wait_ms| for another run that holds the store.
  bool Open(std::unique_ptr<KeyStore> store, const std::string& name, std::string* error,
            int wait_ms = kLockWaitMilliseconds);
#endif

  // Called once during Open when it has waited a second for another run that
  // holds the store (never on Windows, whose registry has no such wait).
  void SetWaitNotice(std::function<void()> notice) { wait_notice_ = std::move(notice); }

  // Says that the run only reads (see KeyStore::SetReadOnlyRun).
  void SetReadOnlyRun();

  // Keeps every change since Open, or, after any failure of the store during
  // the run, keeps none and says why.
  bool Commit(std::string* error);

  // Why the store failed during the run (path and reason), or empty when it
  // has not: the cause behind a registry call's status.
  std::string StoreFailure() const;
  // Whether Open created a fresh store where there was none.
  bool CreatedStore() const { return created_store_; }
  // What the user should be told about what the run read (that it may be out
  // of date, say), as a sentence; empty when nothing.
  std::string Notice() const;

 private:
  struct Store;
  std::unique_ptr<Store> store_;
  std::function<void()> wait_notice_;
  bool created_store_ = false;
#ifndef _WIN32
  bool no_wine_seen_ = false;
#endif
};

#ifndef _WIN32
// Opens the store that |path| names, the one place that decides which kind of
// store that is: a SQLite file, created fresh when nothing is
// there, unless it names a Wine prefix: a folder holding user.reg, or such a
// file itself. The store's transaction is not begun yet. Null, with |error| saying
// why, when the path names no store that can be opened. |wait_notice|, when
// given, is called once when a SQLite store has waited a second for another
// run to let it go. A path that belongs to a Wine prefix (a file named as
// Wine's registry files are, or beside its system.reg) is never made a SQLite
// store. |created|, when given, says whether a fresh store was created.
// |no_wine_seen|: as CRegistrySession::SetNoWineSeen says.
std::unique_ptr<KeyStore> OpenStoreAt(const std::string& path, std::string* error,
                                      std::function<void()> wait_notice = {},
                                      bool* created = nullptr, bool no_wine_seen = false);
#endif

}  // namespace dovetune
