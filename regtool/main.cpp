// dovetune-reg: looks into and changes the embedded registry that dovetune
// uses, with the command line of the Windows reg tool.

#include <csignal>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "regtool/reg_tool.h"

int main(int argc, char** argv) {
  // A closed pipe fails the write, reported as any other, rather than killing
  // the run; the changes are kept by then.
  std::signal(SIGPIPE, SIG_IGN);
  // Out of memory unwinds the session, which keeps none of the run's changes.
  try {
    return dovetune::RunRegTool(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    std::fputs("ERROR: out of memory\n", stderr);
    return 1;
  }
}
