#include "registry/store_choice.h"

namespace dovetune {

std::string DescribeStoreChoice(const StoreChoice& choice) {
  switch (choice.origin) {
    case StoreOrigin::kSystem:
      return std::string();
    case StoreOrigin::kExplicit:
      return choice.path + " (from DOVETUNE_REGISTRY)";
    case StoreOrigin::kWinePrefixVariable:
      return choice.path + " (the Wine prefix WINEPREFIX names)";
    case StoreOrigin::kWineDefaultPrefix:
      return choice.path + " (Wine's default prefix, ~/.wine)";
    case StoreOrigin::kOwnStore:
      return choice.path + " (dovetune's own store: no DOVETUNE_REGISTRY, WINEPREFIX or ~/.wine)";
  }
  return std::string();
}

}  // namespace dovetune
