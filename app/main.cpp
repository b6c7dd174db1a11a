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

int main(int argc, char** argv) {
  CRegistrySession session;
  std::string error;
  if (!session.Open(CRegistrySession::DefaultStorePath(), &error)) {
    std::fprintf(stderr, "Fatal Error: %s\n", error.c_str());
    return 1;
  }

  CPresetStore store;
  std::ostringstream out;
  const int status = RunCommandLine(store, argc, argv, out);

  if (!session.Commit(&error)) {
    std::fprintf(stderr, "Fatal Error: %s\n", error.c_str());
    return 1;
  }
  const std::string notice = session.Notice();
  if (!notice.empty()) std::fprintf(stderr, "Note: %s\n", notice.c_str());
  std::cout << out.str() << std::flush;
  if (!std::cout) {
    std::fprintf(stderr, "Fatal Error: cannot write to standard output\n");
    return 1;
  }
  return status;
}
