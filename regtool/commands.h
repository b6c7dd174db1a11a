// The tool's operations. Each works on the registry the run's session opened,
// appends what it prints to |out| and, on failure, says why in |error|; the
// caller keeps the changes only when it succeeds.
#pragma once

#include <string>

#include "regtool/command_line.h"

namespace dovetune {

bool RunQuery(const RegCommandLine& command, std::string* out, std::string* error);
bool RunAdd(const RegCommandLine& command, std::string* out, std::string* error);
bool RunDelete(const RegCommandLine& command, std::string* out, std::string* error);
bool RunExport(const RegCommandLine& command, std::string* out, std::string* error);
bool RunImport(const RegCommandLine& command, std::string* out, std::string* error);

// Runs whichever operation |command| names.
bool RunRegCommand(const RegCommandLine& command, std::string* out, std::string* error);

extern const char kOperationCompleted[];

}  // namespace dovetune
