// Temporary folders off Windows: mkdtemp, and nftw to remove them.

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/temp_store.h"

namespace dovetune {

namespace {

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*) {
  // chmod follows a link to its target, which may lie anywhere (a Wine
  // prefix links its drive Z: to the root folder): links are only removed.
  if (type != FTW_SL && type != FTW_SLN) chmod(path, 0700);
  return remove(path);
}

}  // namespace

TempFolder::TempFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/dovetune-test-XXXXXX";
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempFolder::~TempFolder() {
  if (!path_.empty()) nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace dovetune
