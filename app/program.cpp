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

int RunProgram(CRegistrySession& session, int argc, char** argv) {
  CPresetStore store;
  HeldOutput held;
  std::ostream out(&held);
  const int status = RunCommandLine(store, argc, argv, out);
  // The stream swallows a failed allocation, and its output would be cut
  // short: the run's changes are not kept.
  if (!out) return FatalError("out of memory");

  std::string error;
  if (!session.Commit(&error)) return FatalError(error);
  const std::string notice = session.Notice();
  if (!notice.empty()) std::fprintf(stderr, "Note: %s\n", notice.c_str());
  // A run that printed nothing has no text at all, not even an empty one.
  const bool written =
      held.size() == 0 || std::fwrite(held.data(), 1, held.size(), stdout) == held.size();
  if (!written || std::fflush(stdout) != 0) return FatalError("cannot write to standard output");
  return status;
}

}  // namespace dovetune
