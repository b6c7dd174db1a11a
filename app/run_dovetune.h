// dovetune's whole run, as its main() makes it: the store the environment
// names chosen and opened (or the run handed to the Windows build while Wine
// runs in the prefix), the command run, its changes kept, its output printed.
#pragma once

#include "registry/registry_session.h"

namespace dovetune {

// Runs dovetune with the command line |argc|, |argv| and returns the exit
// status. The run waits up to |wait_ms| for another run, or a wineserver,
// that holds the store.
int RunDovetune(int argc, char** argv, int wait_ms = CRegistrySession::kLockWaitMilliseconds);

}  // namespace dovetune
