#include "fuzz/fuzz_support.h"

#include <errno.h>
#include <ftw.h>
#include <stdlib.h>

#include <cstdio>

namespace dovetune {

namespace {

// atexit takes no argument: the one folder a fuzzer makes is kept here.
std::string g_folder;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemoveFolder() {
  if (!g_folder.empty()) nftw(g_folder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

std::string MakeFuzzFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/dovetune-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data())) FuzzFailure("cannot make a temporary folder");
  g_folder = pattern;
  atexit(RemoveFolder);
  return g_folder;
}

void FuzzFailure(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
  std::abort();
}

}  // namespace dovetune
