#include <cstring>

#include "app/commands.h"
#include "app/help_screen.h"
#include "presets/preset_store.h"

namespace dovetune {

namespace {

using Handler = int (*)(CPresetStore&, int, const char* const*, std::ostream&);

// A command whose every outcome ends the run with status 0.
template <void (*Run)(CPresetStore&, int, const char* const*, std::ostream&)>
int WithStatus0(CPresetStore& store, int argc, const char* const* argv, std::ostream& out) {
  Run(store, argc, argv, out);
  return 0;
}

struct Command {
  const char* word;
  Handler handler;
};

// Compared with the first argument exactly, letter case included.
const Command kCommands[] = {
    {"view", WithStatus0<RunView>},
    {"create", RunCreate},
    {"create_from_current", RunCreateFromCurrent},
    {"edit", WithStatus0<RunEdit>},
    {"delete", WithStatus0<RunDelete>},
    {"use", WithStatus0<RunUse>},
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
    if (std::strcmp(argv[1], command.word) == 0) return command.handler(store, argc, argv, out);
  }
  return 0;
}

}  // namespace dovetune
