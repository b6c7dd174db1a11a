// Runs a command with Wine's folders of its own (own_wine_folders.h), for the
// tests that are scripts: dovetune_own_wine_folders COMMAND [ARG...].

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/own_wine_folders.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: dovetune_own_wine_folders COMMAND [ARG...]\n", stderr);
    return 2;
  }
  std::string why;
  if (!dovetune::UseOwnWineFolders(&why)) {
    std::fprintf(stderr, "note: the test shares the machine's Wine folders: %s\n", why.c_str());
    const char* ci = std::getenv("CI");
    if (ci && *ci) return 1;
  }
  execvp(argv[1], argv + 1);
  std::fprintf(stderr, "dovetune_own_wine_folders: %s: %s\n", argv[1], std::strerror(errno));
  return 127;
}
