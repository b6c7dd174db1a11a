#include "app/program.h"

#include <cstdio>
#include <iostream>
#include <sstream>

#include "app/commands.h"
#include "presets/preset_store.h"
#include "registry/registry_session.h"

namespace dovetune {

int FatalError(const std::string& reason) {
  std::fprintf(stderr, "Fatal Error: %s\n", reason.c_str());
  return 1;
}

int PrintOutput(const std::string& text, int status) {
  std::cout << text << std::flush;
  if (!std::cout) return FatalError("cannot write to standard output");
  return status;
}

int RunProgram(CRegistrySession& session, int argc, char** argv) {
  CPresetStore store;
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunCommandLine(store, argc, argv, out, err);

  std::string error;
  if (!session.Commit(&error)) return FatalError(error);
  // Warnings only of a run whose changes were kept, before its output.
  std::cerr << err.str() << std::flush;
  return PrintOutput(out.str(), status);
}

}  // namespace dovetune
