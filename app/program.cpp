#include "app/program.h"

#include <cstdio>

#include "app/commands.h"
#include "app/held_text.h"
#include "presets/preset_store.h"
#include "registry/registry_session.h"

namespace dovetune {

int FatalError(const std::string& reason) {
  std::fprintf(stderr, "Fatal Error: %s\n", reason.c_str());
  return 1;
}

int PrintOutput(const HeldText& text, int status) {
  // A run that printed nothing has no text at all, not even an empty one.
  if (!text.WriteTo(stdout) || std::fflush(stdout) != 0) {
    return FatalError("cannot write to standard output");
  }
  return status;
}

int RunProgram(CRegistrySession& session, int argc, char** argv) {
  // A run that only reads keeps nothing, not even the defaults its start-up
  // makes where there are none.
  if (!ChangesStore(argc, argv)) session.SetReadOnlyRun();
  CPresetStore store;
  // Text that cannot be held throws, and the run's changes are not kept.
  HeldText out;
  HeldText err;
  const int status = RunCommandLine(store, argc, argv, out, err);

  // A change the registry refused ends the run as a failure; the store's own
  // failure, when there is one, is its cause and the commit names it.
  if (!store.FailedChange().empty() && session.StoreFailure().empty()) {
    return FatalError(store.FailedChange());
  }
  std::string error;
  if (!session.Commit(&error)) return FatalError(error);
  const std::string notice = session.Notice();
  if (!notice.empty()) std::fprintf(stderr, "Note: %s\n", notice.c_str());
  // Warnings only of a run whose changes were kept, before its output.
  err.WriteTo(stderr);
  return PrintOutput(out, status);
}

}  // namespace dovetune
