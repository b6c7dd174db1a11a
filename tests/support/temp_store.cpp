#include "tests/support/temp_store.h"

#include <fstream>
#include <sstream>

#ifndef _WIN32
#include "registry/stores/memory_store.h"
#endif
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

std::vector<TestStore> StoresUnderTest() {
  if (OnSystemRegistry()) return {TestStore::kSystem};
  return {TestStore::kSqlite, TestStore::kMemory};
}

std::string TestStoreName(const ::testing::TestParamInfo<TestStore>& info) {
  switch (info.param) {
    case TestStore::kSystem:
      return RunningOnWine() ? "Wine" : "Windows";
    case TestStore::kSqlite:
      return "Sqlite";
    case TestStore::kMemory:
      return "Memory";
  }
  return "Unknown";
}

void PrintTo(TestStore store, std::ostream* out) {
  *out << TestStoreName(::testing::TestParamInfo<TestStore>(store, 0));
}

RegistryTest::RegistryTest(TestStore store) : store_kind_(store) {}

void RegistryTest::OpenRun() {
  session_ = std::make_unique<CRegistrySession>();
  std::string error;
#ifndef _WIN32
  if (store_kind_ == TestStore::kMemory) {
    if (!memory_) memory_ = MemoryStore::Fresh();
    ASSERT_TRUE(session_->Open(std::make_unique<MemoryStore>(memory_), "memory", &error)) << error;
    return;
  }
#endif
  ASSERT_TRUE(session_->Open(store_path_, &error)) << error;
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
  OpenRun();
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
  OpenRun();
}

#ifndef _WIN32
void RegistryTest::DiscardAndReopen() { OpenRun(); }
#endif

void WriteValueBetweenRuns(const std::string& store_path, const std::string& key_path,
                           const std::string& name, DWORD type, const std::string& bytes) {
  WriteValuesBetweenRuns(store_path, key_path, type, {{name, bytes}});
}

void WriteValuesBetweenRuns(const std::string& store_path, const std::string& key_path, DWORD type,
                            const std::vector<std::pair<std::string, std::string>>& values) {
  CRegistrySession session;
  std::string error;
  ASSERT_TRUE(session.Open(store_path, &error)) << error;
  WriteValuesAndCommit(session, key_path, type, values);
}

void WriteValuesAndCommit(CRegistrySession& session, const std::string& key_path, DWORD type,
                          const std::vector<std::pair<std::string, std::string>>& values) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const auto& value : values) {
    ASSERT_EQ(RegSetValueExA(key, value.first.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(value.second.data()),
                             static_cast<DWORD>(value.second.size())),
              ERROR_SUCCESS);
  }
  RegCloseKey(key);
  std::string error;
  ASSERT_TRUE(session.Commit(&error)) << error;
}

}  // namespace dovetune
