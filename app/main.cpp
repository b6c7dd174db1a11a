// dovetune: keeps named presets of encoder settings beside the registry key
// the encoder reads, and moves settings between them.
//
// A run is one transaction on the registry: its output is held until its
// changes are kept, so that a run whose changes could not be kept reports
// only the failure and never a change that did not happen.

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "presets/preset_store.h"
#include "registry/registry_session.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

namespace {

// Standard output, or a failure to write it: a run whose output is lost has
// not done what was asked.
int Print(const std::string& text, int status) {
  std::cout << text << std::flush;
  if (!std::cout) {
    std::fprintf(stderr, "Fatal Error: cannot write to standard output\n");
    return 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::ostringstream out;
  if (RunWithoutStore(argc, argv, out)) return Print(out.str(), kExitDone);

  CRegistrySession session;
  // As apt does for its lock: a run that waits should not look hung.
  session.SetWaitNotice([] {
    std::fprintf(stderr, "dovetune: waiting for another run to finish with the store \u2026\n");
  });
  std::string error;
  if (!session.Open(CRegistrySession::DefaultStorePath(), &error)) {
    std::fprintf(stderr, "Fatal Error: %s\n", error.c_str());
    return 1;
  }

  CPresetStore store;
  std::ostringstream err;
  const int status = RunCommandLine(store, argc, argv, out, err);

  if (!session.Commit(&error)) {
    std::fprintf(stderr, "Fatal Error: %s\n", error.c_str());
    return 1;
  }
  std::cerr << err.str() << std::flush;
  return Print(out.str(), status);
}
