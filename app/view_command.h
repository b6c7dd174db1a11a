// "view": every settings set with its one-line summary, or one preset and
// each of its values; and the summary line the changing commands print too.
// Handlers take the whole command line (program name, command word, preset
// name, parameters), write what they print to |out| and their warnings to
// |err|, and return the run's exit status (commands.h).
#pragma once

#include <string>

#include "app/held_text.h"

namespace dovetune {

class CPresetStore;

int RunView(CPresetStore& store, int argc, const char* const* argv, HeldText& out, HeldText& err);

// Prints "NAME - SUMMARY" for one settings set.
void PrintSummaryLine(CPresetStore& store, const std::string& name, HeldText& out);

}  // namespace dovetune
