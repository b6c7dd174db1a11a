// dovetune: keeps named presets of encoder settings beside the registry key
// the encoder reads, and moves settings between them.

#include <csignal>
#include <cstdio>
#include <new>

#include "app/run_dovetune.h"

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A closed pipe fails the write, reported as the manual says, rather than
  // killing the run; the changes are kept by then.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // Out of memory unwinds the session, which keeps none of the run's changes.
  try {
    return dovetune::RunDovetune(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("Fatal Error: out of memory\n", stderr);
    return 1;
  }
}
