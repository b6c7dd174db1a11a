// Test support: a registry of its own for each test, opened the way a run of
// the program opens it, in a temporary folder that is removed afterwards. On
// Windows the registry is the system's, and each test starts and ends with the
// keys the tests and the tool use cleared.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "registry/registry_session.h"
#include "registry/win32_api.h"

namespace dovetune {

struct MemoryStoreContents;

// A temporary folder, removed with everything in it when destroyed.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

#ifndef _WIN32
// The names in |folder|, sorted, without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);
#endif

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);

// Writes one value into the store at |store_path| (on Windows, the system
// registry) as a run of its own, creating the key when missing: a change made
// between runs of the program, as another program sharing the registry would.
void WriteValueBetweenRuns(const std::string& store_path, const std::string& key_path,
                           const std::string& name, DWORD type, const std::string& bytes);
// The same for several values of one type, in one run.
void WriteValuesBetweenRuns(const std::string& store_path, const std::string& key_path, DWORD type,
                            const std::vector<std::pair<std::string, std::string>>& values);
// Writes the values in the run |session| has open and commits it.
void WriteValuesAndCommit(CRegistrySession& session, const std::string& key_path, DWORD type,
                          const std::vector<std::pair<std::string, std::string>>& values);

// The stores a registry test can run on: the system registry on Windows; off
// Windows the SQLite file that the program uses, and a store in memory.
enum class TestStore { kSystem, kSqlite, kMemory };

// Every store the registry's behaviour is checked on where the tests run.
std::vector<TestStore> StoresUnderTest();
// The store's name in the name of a parameterised test.
std::string TestStoreName(const ::testing::TestParamInfo<TestStore>& info);
void PrintTo(TestStore store, std::ostream* out);

class RegistryTest : public ::testing::Test {
 protected:
  // Runs on the store the program itself uses when |store| is not given.
  explicit RegistryTest(TestStore store = StoresUnderTest().front());
  void SetUp() override;
  void TearDown() override;
  // Keeps this run's changes and starts another run on the same store.
  void CommitAndReopen();
#ifndef _WIN32
  // Drops this run's changes and starts another run on the same store (the
  // system registry keeps every change as it is made).
  void DiscardAndReopen();
#endif

  TestStore store_kind_;
  TempFolder folder_;
  std::string store_path_;
  std::unique_ptr<CRegistrySession> session_;

 private:
  // Starts a run on the test's store, in a new session.
  void OpenRun();

  std::shared_ptr<MemoryStoreContents> memory_;  // of a test on the memory store
};

}  // namespace dovetune
