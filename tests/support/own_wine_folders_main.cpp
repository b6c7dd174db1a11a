// Runs a command with Wine's folders of its own (own_wine_folders.h) and its
// temporary files in memory (memory_tmpdir.h), as the test programs run
// their tests, for the tests that are scripts:
// dovetune_own_wine_folders COMMAND [ARG...]. It waits for the command, to
// remove the folder under the memory afterwards, and exits as it did.

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/memory_tmpdir.h"
#include "tests/support/own_wine_folders.h"

namespace {

int RunCommand(char** command) {
  const pid_t child = fork();
  if (child < 0) {
    std::fprintf(stderr, "dovetune_own_wine_folders: cannot fork: %s\n", std::strerror(errno));
    return 127;
  }
  if (child == 0) {
    execvp(command[0], command);
    std::fprintf(stderr, "dovetune_own_wine_folders: %s: %s\n", command[0], std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return 127;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: dovetune_own_wine_folders COMMAND [ARG...]\n", stderr);
    return 2;
  }
  dovetune::MemoryTmpdir tmpdir;
  std::string why;
  if (!dovetune::UseOwnWineFolders(&why)) {
    std::fprintf(stderr, "note: the test shares the machine's Wine folders: %s\n", why.c_str());
    const char* ci = std::getenv("CI");
    if (ci && *ci) return 1;
  } else if (!tmpdir.Use(&why)) {
    std::fprintf(stderr, "note: the test's temporary files are on disk: %s\n", why.c_str());
  }
  return RunCommand(argv + 1);
}
