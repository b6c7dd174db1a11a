#include "app/hidden_presets.h"

#include <vector>

#include "base/shell_quote.h"
#include "presets/preset_schema.h"
#ifndef _WIN32
#include <strings.h>

#include "registry/store_peek.h"
#endif

namespace dovetune {

namespace {

// How many presets the own store holds besides "default", which every store
// has; 0 when it cannot be read at once.
size_t OwnPresetCount(const std::string& own_store) {
#ifdef _WIN32
  (void)own_store;
  return 0;
#else
  std::vector<std::string> names;
  if (!PeekSubkeyNames(own_store, schema::kPresetsDeletePath, &names)) return 0;
  size_t count = 0;
  for (const std::string& name : names) count += strcasecmp(name.c_str(), schema::kDefault) != 0;
  return count;
#endif
}

}  // namespace

std::string HiddenPresetsNotice(const StoreChoice& choice) {
  if (!choice.FoundWinePrefix() || choice.own_store.empty()) return std::string();
  const size_t count = OwnPresetCount(choice.own_store);
  if (count == 0) return std::string();
  const std::string own = ShellQuote(choice.own_store);
  const std::string key = ShellQuote(std::string("HKCU\\") + schema::kPresetsDeletePath);
  return "dovetune: dovetune's own store " + choice.own_store + " holds " + std::to_string(count) +
         (count == 1 ? " preset" : " presets") + " that this run does not see: it uses " +
         DescribeStoreChoice(choice) + ". To copy them there:\n" + "  DOVETUNE_REGISTRY=" + own +
         " dovetune-reg export " + key + " presets.reg\n" + "  dovetune-reg import presets.reg\n" +
         "then remove " + own +
         "; or set DOVETUNE_REGISTRY to the registry you mean. Either silences this.\n";
}

}  // namespace dovetune
