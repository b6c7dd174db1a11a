// dovetune-reg's whole run, as its main() makes it: the command line read,
// the store the environment names opened (or the work handed to Wine's reg
// while Wine runs in the prefix), the operation run and its changes kept,
// then its output printed. Errors go to standard error as "ERROR: ...".
#pragma once

#include <string>
#include <vector>

namespace dovetune {

// Runs dovetune-reg with |arguments| (the program's name not among them) and
// returns the exit status.
int RunRegTool(const std::vector<std::string>& arguments);

}  // namespace dovetune
