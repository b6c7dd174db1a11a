#include "app/commands.h"

#include <cstring>

#include "app/help_screen.h"
#include "app/preset_commands.h"
#include "app/view_command.h"
#include "presets/preset_store.h"

namespace dovetune {

namespace {

using Handler = int (*)(CPresetStore&, int, const char* const*, HeldText&, HeldText&);

struct Command {
  const char* word;
  Handler handler;
};

// Compared with the first argument exactly, letter case included.
const Command kCommands[] = {
    {"view", RunView}, {"create", RunCreate}, {"create_from_current", RunCreateFromCurrent},
    {"edit", RunEdit}, {"delete", RunDelete}, {"use", RunUse},
};

bool Is(const char* argument, const char* word) { return std::strcmp(argument, word) == 0; }

}  // namespace

bool RunWithoutStore(int argc, const char* const* argv, const std::string& registry,
                     HeldText& out) {
  if (argc < 2) return false;
  if (Is(argv[1], "--help") || Is(argv[1], "-h")) {
    PrintHelpScreen(out);
    if (!registry.empty()) out << "Registry: " << registry << '\n';
    return true;
  }
  if (Is(argv[1], "--version")) {
    out << "dovetune " << DOVETUNE_VERSION << '\n';
    return true;
  }
  return false;
}

bool ChangesStore(int argc, const char* const* argv) {
  if (argc < 2) return false;
  for (const Command& command : kCommands) {
    if (Is(argv[1], command.word)) return command.handler != RunView;
  }
  return false;
}

int RunCommandLine(CPresetStore& store, int argc, const char* const* argv, HeldText& out,
                   HeldText& err) {
  store.Initialize();
  if (argc == 1) {
    PrintHelpScreen(out);
    return kExitDone;
  }
  if (argc < 2) return kExitDone;
  for (const Command& command : kCommands) {
    if (Is(argv[1], command.word)) return command.handler(store, argc, argv, out, err);
  }
  // Standard output stays empty for a word it does not know: scripts compare
  // it.
  err << "dovetune: unknown command '" << argv[1] << "' (run dovetune with no arguments for help)"
      << '\n';
  return kExitUsage;
}

}  // namespace dovetune
