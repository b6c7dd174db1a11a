// add and delete: a value or key into the registry, or out of it (see
// commands.h for what the operations share).
#pragma once

#include <string>

#include "regtool/command_line.h"

namespace dovetune {

bool RunAdd(const RegCommandLine& command, std::string* out, std::string* error);
bool RunDelete(const RegCommandLine& command, std::string* out, std::string* error);

}  // namespace dovetune
