// Test support: clearing the keys the tool and the tests use, for tests that
// share the system registry with every run before them.
#pragma once

#include <string>

#include "registry/win32_api.h"

namespace dovetune {

// Deletes |path| beneath |root| with every key beneath it. True when the key
// is gone afterwards, also when it was never there.
bool DeleteKeyTree(HKEY root, const std::string& path);

// Deletes the tool's own tree and the tests' scratch key beneath
// HKEY_CURRENT_USER\Software.
bool ResetToolKeys();

}  // namespace dovetune
