#include <cstring>

#include "app/commands.h"
#include "app/help_screen.h"
#include "presets/preset_store.h"

namespace dovetune {

namespace {

using Handler = void (*)(CPresetStore&, int, const char* const*, std::ostream&);

struct Command {
  const char* word;
  Handler handler;
};

// Compared with the first argument exactly, letter case included.
const Command kCommands[] = {
    {"view", RunView}, {"create", RunCreate}, {"create_from_current", RunCreateFromCurrent},
    {"edit", RunEdit}, {"delete", RunDelete}, {"use", RunUse},
};

}  // namespace

int RunCommandLine(CPresetStore& store, int argc, const char* const* argv, std::ostream& out) {
  store.Initialize();
  if (argc == 1) {
    PrintHelpScreen(out);
    return 0;
  }
  if (argc < 2) return 0;
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.word) == 0) command.handler(store, argc, argv, out);
  }
  return 0;
}

}  // namespace dovetune
