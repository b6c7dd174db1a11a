// dovetune: keeps named presets of encoder settings beside the registry key
// the encoder reads, and moves settings between them.
//
// A run is one transaction on the registry: its output is held until its
// changes are kept, so that a run whose changes could not be kept reports
// only the failure and never a change that did not happen.

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "presets/preset_store.h"
#include "registry/registry_session.h"

using namespace dovetune;  // NOLINT(google-build-using-namespace)

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

int main(int argc, char** argv) {
  CRegistrySession session;
  std::string error;
  if (!session.Open(CRegistrySession::DefaultStorePath(), &error)) {
    std::fprintf(stderr, "Fatal Error: %s\n", error.c_str());
    return 1;
  }

  CPresetStore store;
  HeldOutput held;
  std::ostream out(&held);
  const int status = RunCommandLine(store, argc, argv, out);

  if (!session.Commit(&error)) {
    std::fprintf(stderr, "Fatal Error: %s\n", error.c_str());
    return 1;
  }
  const bool written =
      std::fwrite(held.data(), 1, held.size(), stdout) == held.size() && std::fflush(stdout) == 0;
  if (!written) {
    std::fprintf(stderr, "Fatal Error: cannot write to standard output\n");
    return 1;
  }
  return status;
}
