// The start-up step of a run, in place of an application framework's: it opens
// the registry that the run works on, and at the end keeps the run's changes.
// On Windows the registry is the system's and there is nothing to open; off
// Windows it is the embedded store, and the whole run is one transaction that
// other runs wait for.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace dovetune {

class CRegistrySession {
 public:
  CRegistrySession();
  ~CRegistrySession();  // Discards whatever was not committed.
  CRegistrySession(const CRegistrySession&) = delete;
  CRegistrySession& operator=(const CRegistrySession&) = delete;

  // The store file the environment names (empty on Windows).
  static std::string DefaultStorePath();

  // Opens the registry: off Windows the store at |store_path|, created fresh
  // when missing. On failure |error| names the path and the reason.
  bool Open(const std::string& store_path, std::string* error);

  // Called once during Open when it has waited a second for another run that
  // holds the store (never on Windows, whose registry has no such wait).
  void SetWaitNotice(std::function<void()> notice) { wait_notice_ = std::move(notice); }

  // Keeps every change since Open, or, after any failure of the store during
  // the run, keeps none and says why.
  bool Commit(std::string* error);

 private:
  struct Store;
  std::unique_ptr<Store> store_;
  std::function<void()> wait_notice_;
};

}  // namespace dovetune
