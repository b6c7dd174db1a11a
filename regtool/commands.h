// The tool's operations as one: runs the one a command line names. Each
// operation works on the registry the run's session opened, appends what it
// prints to |out| and, on failure, says why in |error|; the caller keeps the
// changes only when it succeeds.
#pragma once

#include <string>

#include "regtool/command_line.h"

namespace dovetune {

// What an operation that changes the registry prints when it succeeds.
inline constexpr char kOperationCompleted[] = "The operation completed successfully.\n";

// Runs whichever operation |command| names.
bool RunRegCommand(const RegCommandLine& command, std::string* out, std::string* error);

}  // namespace dovetune
