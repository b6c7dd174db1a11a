// The test builds' PausePoint: stops the process at the point that
// DOVETUNE_PAUSE_AT names, so that the test that waits for the stop knows
// where the run is.
#include <signal.h>

#include <cstdlib>
#include <cstring>

#include "base/pause_point.h"

namespace dovetune {

void PausePoint(const char* name) {
  const char* wanted = std::getenv("DOVETUNE_PAUSE_AT");
  if (wanted && std::strcmp(wanted, name) == 0) raise(SIGSTOP);
}

}  // namespace dovetune
