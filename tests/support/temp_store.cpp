#include "tests/support/temp_store.h"

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  chmod(path, 0700);
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

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

void RegistryTest::SetUp() {
  ASSERT_FALSE(folder_.path().empty());
  store_path_ = folder_.File("registry.db");
  session_ = std::make_unique<CRegistrySession>();
  std::string error;
  ASSERT_TRUE(session_->Open(store_path_, &error)) << error;
}

void RegistryTest::TearDown() { session_.reset(); }

void RegistryTest::CommitAndReopen() {
  std::string error;
  ASSERT_TRUE(session_->Commit(&error)) << error;
  session_ = std::make_unique<CRegistrySession>();
  ASSERT_TRUE(session_->Open(store_path_, &error)) << error;
}

void RegistryTest::DiscardAndReopen() {
  session_ = std::make_unique<CRegistrySession>();
  std::string error;
  ASSERT_TRUE(session_->Open(store_path_, &error)) << error;
}
