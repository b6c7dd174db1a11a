// dovetune: keeps named presets of encoder settings beside the registry key
// the encoder reads, and moves settings between them.

#include <csignal>
#include <cstdio>
#include <new>
#include <string>

#include "app/commands.h"
#include "app/held_text.h"
#include "app/hidden_presets.h"
#include "app/program.h"
#include "registry/registry_session.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

namespace {

int Run(int argc, char** argv) {
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
  if (!session.Open(choice.path, &error)) return FatalError(error);
  // Once, so that a mistyped DOVETUNE_REGISTRY is seen at once.
  if (session.CreatedStore()) {
    std::fprintf(stderr, "dovetune: created a new registry at %s\n", choice.path.c_str());
  }
  return RunProgram(session, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A closed pipe fails the write, reported as the manual says, rather than
  // killing the run; the changes are kept by then.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // Out of memory unwinds the session, which keeps none of the run's changes.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("Fatal Error: out of memory\n", stderr);
    return 1;
  }
}
