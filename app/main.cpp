// dovetune: keeps named presets of encoder settings beside the registry key
// the encoder reads, and moves settings between them.

#include <string>

#include "app/program.h"
#include "registry/registry_session.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

int main(int argc, char** argv) {
  CRegistrySession session;
  std::string error;
  if (!session.Open(CRegistrySession::DefaultStorePath(), &error)) return FatalError(error);
  return RunProgram(session, argc, argv);
}
