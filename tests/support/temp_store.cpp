#include "tests/support/temp_store.h"

#include <fstream>
#include <sstream>

#include "tests/support/platform.h"
#include "tests/support/registry_keys.h"

namespace dovetune {

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

// The system registry is shared with every run before and after this one:
// there the keys the tests and the tool use are cleared instead, before and
// after each test, and opening the run's registry opens nothing.
void RegistryTest::SetUp() {
  if (OnSystemRegistry()) {
    ASSERT_TRUE(ResetToolKeys());
  }
  ASSERT_FALSE(folder_.path().empty());
  store_path_ = folder_.File("registry.db");
  session_ = std::make_unique<CRegistrySession>();
  std::string error;
  ASSERT_TRUE(session_->Open(store_path_, &error)) << error;
}

void RegistryTest::TearDown() {
  session_.reset();
  if (OnSystemRegistry()) {
    EXPECT_TRUE(ResetToolKeys());
  }
}

void RegistryTest::CommitAndReopen() {
  std::string error;
  ASSERT_TRUE(session_->Commit(&error)) << error;
  session_ = std::make_unique<CRegistrySession>();
  ASSERT_TRUE(session_->Open(store_path_, &error)) << error;
}

#ifndef _WIN32
void RegistryTest::DiscardAndReopen() {
  session_ = std::make_unique<CRegistrySession>();
  std::string error;
  ASSERT_TRUE(session_->Open(store_path_, &error)) << error;
}
#endif

void WriteValueBetweenRuns(const std::string& store_path, const std::string& key_path,
                           const std::string& name, DWORD type, const std::string& bytes) {
  CRegistrySession session;
  std::string error;
  ASSERT_TRUE(session.Open(store_path, &error)) << error;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_TRUE(session.Commit(&error)) << error;
}

}  // namespace dovetune
