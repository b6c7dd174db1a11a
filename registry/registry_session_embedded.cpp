#include <csignal>
#include <cstdlib>

#include "base/pause_point.h"
#include "registry/embedded_registry.h"
#include "registry/registry_session.h"
#include "registry/store_file.h"
#include "registry/stores/sqlite_store.h"
#include "registry/stores/wine_prefix_store.h"

namespace dovetune {

std::unique_ptr<KeyStore> OpenStoreAt(const std::string& path, std::string* error,
                                      std::function<void()> wait_notice, bool* created,
                                      bool no_wine_seen) {
  if (WinePrefixStore::IsWinePrefix(path)) {
    return std::make_unique<WinePrefixStore>(path, no_wine_seen);
  }
  if (WinePrefixStore::BelongsToPrefix(path)) {
    *error = WinePrefixStore::kNotAPrefixFile;
    return nullptr;
  }
  if (!PrepareStoreFile(path, error, created)) return nullptr;
  auto store = std::make_unique<SqliteStore>();
  store->SetWaitNotice(std::move(wait_notice));
  if (!store->Open(path, error)) return nullptr;
  return store;
}

struct CRegistrySession::Store {
  Store(std::string path, std::unique_ptr<KeyStore> store)
      : path(std::move(path)), store(std::move(store)), registry(*this->store) {}

  std::string path;
  std::unique_ptr<KeyStore> store;
  EmbeddedRegistry registry;  // after the store it works on, so destroyed before it
};

CRegistrySession::CRegistrySession() = default;
CRegistrySession::~CRegistrySession() = default;

bool CRegistrySession::ChooseStore(StoreChoice* choice, std::string* error) {
  return dovetune::ChooseStore([](const char* name) { return std::getenv(name); }, choice, error);
}

bool CRegistrySession::Open(const std::string& store_path, std::string* error, int wait_ms) {
  // A file size limit must fail the write, not kill the run half-way.
  std::signal(SIGXFSZ, SIG_IGN);
  store_.reset();
  std::string reason;
  created_store_ = false;
  std::unique_ptr<KeyStore> store =
      OpenStoreAt(store_path, &reason, wait_notice_, &created_store_, no_wine_seen_);
  if (!store) {
    *error = store_path.empty() ? reason : store_path + ": " + reason;
    return false;
  }
  return Open(std::move(store), store_path, error, wait_ms);
}

bool CRegistrySession::Open(std::unique_ptr<KeyStore> key_store, const std::string& name,
                            std::string* error, int wait_ms) {
  std::signal(SIGXFSZ, SIG_IGN);
  store_.reset();
  auto store = std::make_unique<Store>(name, std::move(key_store));
  std::string reason;
  if (!store->registry.Open(wait_ms, &reason)) {
    *error = name + ": " + reason;
    return false;
  }
  store_ = std::move(store);
  return true;
}

void CRegistrySession::SetReadOnlyRun() {
  if (store_) store_->store->SetReadOnlyRun();
}

std::string CRegistrySession::Notice() const {
  return store_ ? store_->store->notice() : std::string();
}

bool CRegistrySession::Commit(std::string* error) {
  std::string reason;
  // Everything is written, and nothing yet kept, at the pause point.
  if (store_) store_->store->Flush();
  PausePoint("before-commit");
  if (store_ && store_->registry.Commit(&reason)) {
    PausePoint("after-commit");
    return true;
  }
  *error = (store_ ? store_->path + ": " : std::string()) +
           (reason.empty() ? "the registry store is not open" : reason);
  return false;
}

std::string CRegistrySession::StoreFailure() const {
  if (!store_ || store_->registry.failure().empty()) return std::string();
  return store_->path + ": " + store_->registry.failure();
}

}  // namespace dovetune
