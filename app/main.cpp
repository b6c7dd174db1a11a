// dovetune: keeps named presets of encoder settings beside the registry key
// the encoder reads, and moves settings between them.

#include <cstdio>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "app/program.h"
#include "registry/registry_session.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

int main(int argc, char** argv) {
  std::ostringstream out;
  if (RunWithoutStore(argc, argv, out)) {
    const std::string text = out.str();
    return PrintOutput(text.data(), text.size(), kExitDone);
  }

  CRegistrySession session;
  // As apt does for its lock: a run that waits should not look hung.
  session.SetWaitNotice([] {
    std::fprintf(stderr, "dovetune: waiting for another run to finish with the store \u2026\n");
  });
  std::string error;
  if (!session.Open(CRegistrySession::DefaultStorePath(), &error)) return FatalError(error);
  return RunProgram(session, argc, argv);
}
