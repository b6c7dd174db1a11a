#include "registry/registry_session.h"

namespace dovetune {

// On Windows the registry is the system's: there is no store to open, and
// every change is kept as it is made.
struct CRegistrySession::Store {};

CRegistrySession::CRegistrySession() = default;
CRegistrySession::~CRegistrySession() = default;

bool CRegistrySession::ChooseStore(StoreChoice* choice, std::string* /*error*/) {
  *choice = StoreChoice();
  return true;
}

bool CRegistrySession::Open(const std::string& /*store_path*/, std::string* /*error*/,
                            int /*wait_ms*/) {
  return true;
}

bool CRegistrySession::Commit(std::string* /*error*/) { return true; }

std::string CRegistrySession::StoreFailure() const { return std::string(); }
std::string CRegistrySession::Notice() const { return std::string(); }
void CRegistrySession::SetReadOnlyRun() {}

}  // namespace dovetune
