// Fills a store for the timing runs: "default", the preset "fast" that the
// commands under test act on, and numbered presets up to |count| presets in
// all, with a spread of settings so that their summaries differ. It goes
// through the preset store, so the store is laid out as the program lays it out.
#pragma once

#include "presets/preset_store.h"

namespace dovetune {

void FillStore(CPresetStore& store, long count);

}  // namespace dovetune
