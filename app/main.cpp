// dovetune: keeps named presets of encoder settings beside the registry key
// the encoder reads, and moves settings between them.
//
// A run is one transaction on the registry: its output is held until its
// changes are kept, so that a run whose changes could not be kept reports
// only the failure and never a change that did not happen.

#include <csignal>
#include <cstdio>
#include <iostream>
#include <new>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "presets/preset_store.h"
#include "registry/registry_session.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

namespace {

int Fatal(const std::string& error) {
  std::fprintf(stderr, "Fatal Error: %s\n", error.c_str());
  return 1;
}

int Run(int argc, char** argv) {
  CRegistrySession session;
  std::string error;
  if (!session.Open(CRegistrySession::DefaultStorePath(), &error)) return Fatal(error);

  CPresetStore store;
  std::ostringstream out;
  const int status = RunCommandLine(store, argc, argv, out);
  // The stream swallows a failed allocation, and its output would be cut
  // short: the run's changes are not kept.
  if (!out) return Fatal("out of memory");

  if (!session.Commit(&error)) return Fatal(error);
  std::cout << out.str() << std::flush;
  if (!std::cout) return Fatal("cannot write to standard output");
  return status;
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
