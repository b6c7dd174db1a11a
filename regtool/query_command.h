// query: a key's values and subkeys, or one value, in reg's layout (see
// commands.h for what the operations share).
#pragma once

#include <string>

#include "regtool/command_line.h"

namespace dovetune {

bool RunQuery(const RegCommandLine& command, std::string* out, std::string* error);

}  // namespace dovetune
