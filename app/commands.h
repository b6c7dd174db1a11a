// The command line: the words answered without a store, the command words
// and the handler each one runs (view_command.h, preset_commands.h), and the
// exit statuses every handler returns.
#pragma once

#include <string>

#include "app/held_text.h"

namespace dovetune {

class CPresetStore;

// Exit statuses: the command did what was asked; it printed that it could not
// (the preset exists already, is missing, or could not be deleted or
// created); or the command line itself was wrong (no name, no such command).
// A store that cannot be used ends the run with kExitFailed too.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Answers the words that need no store ("--help", "-h", "--version"), printing
// to |out|. "--help" ends with a line "Registry: |registry|" (which registry a
// run uses and what chose it) when |registry| is not empty. Returns false,
// printing nothing, for any other command line.
bool RunWithoutStore(int argc, const char* const* argv, const std::string& registry, HeldText& out);

// Whether the command line asks for a change (create, edit, delete, use and
// their kin); every other run only reads.
bool ChangesStore(int argc, const char* const* argv);

// Runs one command line as the program does after start-up: initialises the
// store, then prints the help screen or dispatches on the command word.
// Returns the exit status.
int RunCommandLine(CPresetStore& store, int argc, const char* const* argv, HeldText& out,
                   HeldText& err);

}  // namespace dovetune
