// The command words and their handlers. Each handler receives the whole
// command line (program name, command word, preset name, parameters) and
// writes every line it prints to |out|.
#pragma once

#include <ostream>

namespace dovetune {

class CPresetStore;

// Runs one command line as the program does after start-up: initialises the
// store, then prints the help screen or dispatches on the command word.
// Returns the exit status.
int RunCommandLine(CPresetStore& store, int argc, const char* const* argv, std::ostream& out);

void RunView(CPresetStore& store, int argc, const char* const* argv, std::ostream& out);
// The create commands return the exit status: 1 when the registry refused the
// new preset.
int RunCreate(CPresetStore& store, int argc, const char* const* argv, std::ostream& out);
int RunCreateFromCurrent(CPresetStore& store, int argc, const char* const* argv, std::ostream& out);
void RunEdit(CPresetStore& store, int argc, const char* const* argv, std::ostream& out);
void RunDelete(CPresetStore& store, int argc, const char* const* argv, std::ostream& out);
void RunUse(CPresetStore& store, int argc, const char* const* argv, std::ostream& out);

}  // namespace dovetune
