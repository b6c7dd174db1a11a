// The test programs' main: GoogleTest's, run with Wine's folders of the
// tests' own (own_wine_folders.h) and their temporary files in memory
// (memory_tmpdir.h). Where the system cannot give the folders, the tests
// still run and say so; CI requires them.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/memory_tmpdir.h"
#include "tests/support/own_wine_folders.h"

int main(int argc, char** argv) {
  dovetune::MemoryTmpdir tmpdir;
#ifndef _WIN32
  std::string why;
  if (!dovetune::UseOwnWineFolders(&why)) {
    std::fprintf(stderr, "note: the tests share the machine's Wine folders: %s\n", why.c_str());
    const char* ci = std::getenv("CI");
    if (ci && *ci) return 1;
  } else if (!tmpdir.Use(&why)) {
    std::fprintf(stderr, "note: the tests' temporary files are on disk: %s\n", why.c_str());
  }
#endif
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
