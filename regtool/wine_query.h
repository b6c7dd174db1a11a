// query while Wine runs in the prefix: Wine's reg exports the key to a .reg
// file (UTF-16, which carries every name), the file is read into a copy of
// the registry in memory, and the query runs on that copy. Its output is
// that of a run on the prefix when Wine is idle, and never passes through
// Wine's code page, which would turn the characters outside it into others.
#pragma once

#include <string>

#include "regtool/command_line.h"

namespace dovetune {

// Runs |command| (a query) on what the Wine of |prefix| holds, appending
// what it prints to |out|; on failure |error| says why.
bool RunQueryThroughWine(const std::string& prefix, const RegCommandLine& command, std::string* out,
                         std::string* error);

}  // namespace dovetune
