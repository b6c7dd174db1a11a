// Makes a registry store with a given number of presets for the timing runs.
//
//   dovetune_make_store STORE_PATH PRESET_COUNT

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/store_filler.h"
#include "registry/registry_session.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

int main(int argc, char** argv) {
  const long count = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
  if (count < 2) {
    std::fprintf(stderr, "usage: %s STORE_PATH PRESET_COUNT (at least 2)\n", argv[0]);
    return 2;
  }
  CRegistrySession session;
  std::string error;
  if (!session.Open(argv[1], &error)) {
    std::fprintf(stderr, "cannot open %s\n", error.c_str());
    return 1;
  }
  CPresetStore store;
  FillStore(store, count);
  if (!session.Commit(&error)) {
    std::fprintf(stderr, "cannot keep the store: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
