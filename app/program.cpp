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

int RunProgram(CRegistrySession& session, int argc, char** argv) {
  CPresetStore store;
  std::ostringstream out;
  const int status = RunCommandLine(store, argc, argv, out);

  std::string error;
  if (!session.Commit(&error)) return FatalError(error);
  const std::string notice = session.Notice();
  if (!notice.empty()) std::fprintf(stderr, "Note: %s\n", notice.c_str());
  std::cout << out.str() << std::flush;
  if (!std::cout) return FatalError("cannot write to standard output");
  return status;
}

}  // namespace dovetune
