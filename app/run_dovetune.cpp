// dovetune's run: see run_dovetune.h.

#include "app/run_dovetune.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/held_text.h"
#include "app/hidden_presets.h"
#include "app/program.h"
#include "base/pause_point.h"
#include "registry/registry_session.h"
#ifndef _WIN32
#include "registry/running_wine.h"
#endif

namespace dovetune {

namespace {

#ifndef _WIN32
// While Wine runs in the prefix, the run is the Windows build's, in that
// Wine: it sees and changes what Wine holds.
int RunInRunningWine(const std::string& store_path, const std::string& exe, int argc, char** argv) {
  PausePoint("wine-running");
  std::vector<std::string> arguments = {exe};
  arguments.insert(arguments.end(), argv + 1, argv + argc);
  std::string error;
  if (!WineCarriesArguments(arguments, &error)) return FatalError(error);
  const int status = RunUnderWine(WinePrefixFolder(store_path), arguments, &error);
  return error.empty() ? status : FatalError(error);
}

// What to install so that a run refused while Wine runs goes through Wine.
void SayWhatToInstall() {
  std::fprintf(stderr,
               "dovetune: to change presets while Wine runs, install dovetune's Windows build "
               "as %s (build dovetune with mingw-w64: apt-get install g++-mingw-w64-x86-64)\n",
               InstalledWindowsBuild().c_str());
}

#endif

}  // namespace

int RunDovetune(int argc, char** argv, int wait_ms) {
  StoreChoice choice;
  std::string error;
  const bool chosen = CRegistrySession::ChooseStore(&choice, &error);
  HeldText out;
  const std::string registry = chosen ? DescribeStoreChoice(choice) : "none: " + error;
  if (RunWithoutStore(argc, argv, registry, out)) return PrintOutput(out, kExitDone);
  if (!chosen) return FatalError(error);
  const std::string hidden = HiddenPresetsNotice(choice);
  if (!hidden.empty()) std::fputs(hidden.c_str(), stderr);

  CRegistrySession session;
  // As apt does for its lock: a run that waits should not look hung.
  session.SetWaitNotice([] {
    std::fprintf(stderr, "dovetune: waiting for another run to finish with the store \u2026\n");
  });
#ifndef _WIN32
  bool no_wine_seen = false;
  const bool wine_runs = WineRunsFor(choice.path, &no_wine_seen);
  const std::string exe = wine_runs ? WindowsBuildPath() : std::string();
  if (!exe.empty()) return RunInRunningWine(choice.path, exe, argc, argv);
  if (no_wine_seen) session.SetNoWineSeen();
#endif
  if (!session.Open(choice.path, &error, wait_ms)) return FatalError(error);
  // Once, so that a mistyped DOVETUNE_REGISTRY is seen at once.
  if (session.CreatedStore()) {
    std::fprintf(stderr, "dovetune: created a new registry at %s\n", choice.path.c_str());
  }
  const int status = RunProgram(session, argc, argv);
#ifndef _WIN32
  // Through the running Wine the run would not have met the prefix's file.
  if (wine_runs && status != 0 && !session.StoreFailure().empty()) SayWhatToInstall();
#endif
  return status;
}

}  // namespace dovetune
