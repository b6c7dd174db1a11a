// Which registry a run works on, and what chose it: the user can be told both
// without a store being opened.
#pragma once

#include <functional>
#include <string>

namespace dovetune {

// Looks an environment variable up: its value, or null when it is unset.
using EnvironmentLookup = std::function<const char*(const char* name)>;

enum class StoreOrigin {
  kSystem,              // Windows: the system's registry of the current user
  kExplicit,            // DOVETUNE_REGISTRY
  kWinePrefixVariable,  // WINEPREFIX
  kWineDefaultPrefix,   // ~/.wine
  kOwnStore,            // dovetune's own SQLite store
};

struct StoreChoice {
  StoreOrigin origin = StoreOrigin::kSystem;
  std::string path;  // the store file or Wine prefix folder; empty for kSystem
  // Where dovetune's own store is by the environment (empty when no folder
  // is named for it), whichever registry was chosen.
  std::string own_store;

  // Chosen as a Wine prefix by Wine's own rules, not named by the user.
  bool FoundWinePrefix() const {
    return origin == StoreOrigin::kWinePrefixVariable || origin == StoreOrigin::kWineDefaultPrefix;
  }
};

// "PATH (from WINEPREFIX)" and the like; empty for the system's registry.
std::string DescribeStoreChoice(const StoreChoice& choice);

}  // namespace dovetune
