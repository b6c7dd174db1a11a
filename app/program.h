// A whole run of the program once its registry is open: the command, then the
// commit, then the output. A run is one transaction on the registry: its
// output is held until its changes are kept, so that a run whose changes
// could not be kept reports only the failure and never a change that did not
// happen.
#pragma once

#include <cstddef>
#include <string>

namespace dovetune {

class CRegistrySession;
class HeldText;

// Runs the command line on the open |session| and returns the exit status.
int RunProgram(CRegistrySession& session, int argc, char** argv);

// Prints "Fatal Error: |reason|" on standard error; returns the exit status 1.
int FatalError(const std::string& reason);

// Writes |text| to standard output and returns |status|, or 1 when it could
// not be written: a run whose output is lost has not done what was asked.
int PrintOutput(const HeldText& text, int status);

}  // namespace dovetune
