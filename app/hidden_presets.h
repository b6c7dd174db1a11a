// The presets a run cannot see: when the run works on a Wine prefix that
// Wine's own rules found, dovetune's own store may still hold presets made
// before. The user is told once, with the commands that move them.
#pragma once

#include <string>

#include "registry/store_choice.h"

namespace dovetune {

// The notice for standard error (its lines ended), or empty when the choice
// is no Wine prefix found by Wine's rules or the own store holds no preset
// besides "default". Only reads the own store, and never waits for it.
std::string HiddenPresetsNotice(const StoreChoice& choice);

}  // namespace dovetune
