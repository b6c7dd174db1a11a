#include <csignal>

#include "registry/embedded_registry.h"
#include "registry/registry_session.h"
#include "registry/store_file.h"

namespace dovetune {

namespace {

// How long a run waits for the runs ahead of it before it gives up.
constexpr int kLockWaitMilliseconds = 10000;

}  // namespace

struct CRegistrySession::Store {
  std::string path;
  EmbeddedRegistry registry;
};

CRegistrySession::CRegistrySession() = default;
CRegistrySession::~CRegistrySession() = default;

std::string CRegistrySession::DefaultStorePath() { return DefaultStoreFilePath(); }

bool CRegistrySession::Open(const std::string& store_path, std::string* error) {
  // A file size limit must fail the write, not kill the run half-way.
  std::signal(SIGXFSZ, SIG_IGN);
  store_.reset();
  auto store = std::make_unique<Store>();
  store->path = store_path;
  store->registry.SetWaitNotice(wait_notice_);
  std::string reason;
  if (!PrepareStoreFile(store_path, &reason) ||
      !store->registry.Open(store_path, kLockWaitMilliseconds, &reason)) {
    *error = store_path + ": " + reason;
    return false;
  }
  store_ = std::move(store);
  return true;
}

bool CRegistrySession::Commit(std::string* error) {
  std::string reason;
  if (store_ && store_->registry.Commit(&reason)) return true;
  *error = (store_ ? store_->path + ": " : std::string()) +
           (reason.empty() ? "the registry store is not open" : reason);
  return false;
}

}  // namespace dovetune
