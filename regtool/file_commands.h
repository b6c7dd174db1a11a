// export and import: a key and everything beneath it to a .reg file, and a
// .reg file's changes into the registry (see commands.h for what the
// operations share).
#pragma once

#include <string>

#include "regtool/command_line.h"

namespace dovetune {

bool RunExport(const RegCommandLine& command, std::string* out, std::string* error);
bool RunImport(const RegCommandLine& command, std::string* out, std::string* error);

}  // namespace dovetune
