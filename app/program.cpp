#include "app/program.h"

#include <cstdio>
#include <ostream>
#include <sstream>

#include "app/commands.h"
#include "presets/preset_store.h"
#include "registry/registry_session.h"

namespace dovetune {

namespace {

// The run's output, held until its changes are kept, then written from where
// it lies: a copy would double the memory a long listing takes. It is written
// with the C library rather than std::cout, whose set-up of the standard
// streams cost every run more than a whole "view" of a fresh store does.
class HeldOutput : public std::stringbuf {
 public:
  const char* data() const { return pbase(); }
  size_t size() const { return static_cast<size_t>(pptr() - pbase()); }
};

}  // namespace

int FatalError(const std::string& reason) {
  std::fprintf(stderr, "Fatal Error: %s\n", reason.c_str());
  return 1;
}

int PrintOutput(const char* data, size_t size, int status) {
  // A run that printed nothing has no text at all, not even an empty one.
  const bool written = size == 0 || std::fwrite(data, 1, size, stdout) == size;
  if (!written || std::fflush(stdout) != 0) return FatalError("cannot write to standard output");
  return status;
}

int RunProgram(CRegistrySession& session, int argc, char** argv) {
  CPresetStore store;
  HeldOutput held;
  std::ostream out(&held);
  std::ostringstream err;
  const int status = RunCommandLine(store, argc, argv, out, err);
  // The stream swallows a failed allocation, and its output would be cut
  // short: the run's changes are not kept.
  if (!out || !err) return FatalError("out of memory");

  std::string error;
  if (!session.Commit(&error)) return FatalError(error);
  const std::string notice = session.Notice();
  if (!notice.empty()) std::fprintf(stderr, "Note: %s\n", notice.c_str());
  // Warnings only of a run whose changes were kept, before its output.
  std::fputs(err.str().c_str(), stderr);
  return PrintOutput(held.data(), held.size(), status);
}

}  // namespace dovetune
