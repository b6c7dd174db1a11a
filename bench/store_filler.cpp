#include "bench/store_filler.h"

#include <cstdio>
#include <string>
#include <vector>

namespace dovetune {

namespace {

// Parameter words that vary from one numbered preset to the next.
const char* const kVariations[][3] = {
    {"-cbr", "192", "-downmix"},      {"-vbr_extreme", "-usepns", ""},
    {"-cbr", "96", "-aacprofile_lc"}, {"-vbr_radio", "-codecquality_fast", ""},
    {"-optimize", "3", "-exportaac"},
};

void CreatePreset(CPresetStore& store, const std::string& name, const char* const* words) {
  std::vector<const char*> argv = {"dovetune", "create", name.c_str()};
  for (int i = 0; i < 3; ++i) {
    if (*words[i] != '\0') argv.push_back(words[i]);
  }
  store.CopyPreset("default", name);
  store.EditPreset(name, argv.data(), static_cast<int>(argv.size()));
}

}  // namespace

void FillStore(CPresetStore& store, long count) {
  store.Initialize();
  const char* const kFast[] = {"-cbr", "128", "-codecquality_fast"};
  CreatePreset(store, "fast", kFast);
  for (long i = 1; i <= count - 2; ++i) {
    char name[32];
    std::snprintf(name, sizeof(name), "preset-%05ld", i);
    CreatePreset(store, name, kVariations[i % 5]);
  }
}

}  // namespace dovetune
