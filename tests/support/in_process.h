// Test support: runs the program's command line in the test's own process, as
// main() does, on a store the test opens, and captures what the run prints on
// standard output and standard error and its exit status. For the behaviour
// of the commands, which does not depend on running as a process of its own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "registry/registry_session.h"
#include "tests/support/process.h"

namespace dovetune {

class KeyStore;

// Opens the store a run works on (its transaction not begun), or returns null
// with |error| saying why.
using StoreOpener = std::function<std::unique_ptr<KeyStore>(std::string* error)>;

// Runs "dovetune |arguments|" on the store |open_store| gives, named
// |store_name| in the run's errors, with the program's own start-up and
// commit; the store is not opened for the words that need none. The run
// waits up to |wait_ms| for another run that holds the store.
ProcessResult RunInProcess(const std::vector<std::string>& arguments, const StoreOpener& open_store,
                           const std::string& store_name,
                           int wait_ms = CRegistrySession::kLockWaitMilliseconds);

// More variables of the environment, as name and value.
using Environment = std::vector<std::pair<std::string, std::string>>;

// Calls |run| with what it prints on standard output and standard error
// captured, in the environment a run started by RunProgram has
// (DOVETUNE_REGISTRY set to |store_path|, WINEPREFIX unset, and |more|; the
// test's own put back afterwards), and returns its result as a process's:
// its return value is the status.
ProcessResult RunCapturing(const std::function<int()>& run, const std::string& store_path,
                           const Environment& more = {});

// Runs "dovetune |arguments|" in process as main() does on the store the
// environment names (see RunCapturing), waiting up to |wait_ms| for a run or a
// wineserver that holds it.
ProcessResult RunDovetuneInProcess(const std::vector<std::string>& arguments,
                                   const std::string& store_path, const Environment& more = {},
                                   int wait_ms = CRegistrySession::kLockWaitMilliseconds);

}  // namespace dovetune
