// Test support: a registry of its own for each test, opened the way a run of
// the program opens it, in a temporary folder that is removed afterwards. On
// Windows the registry is the system's, and each test starts and ends with the
// keys the tests and the tool use cleared.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "registry/registry_session.h"
#include "registry/win32_api.h"

namespace dovetune {

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

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Keeps this run's changes and starts another run on the same store.
  void CommitAndReopen();
#ifndef _WIN32
  // Drops this run's changes and starts another run on the same store (the
  // system registry keeps every change as it is made).
  void DiscardAndReopen();
#endif

  TempFolder folder_;
  std::string store_path_;
  std::unique_ptr<CRegistrySession> session_;
};

}  // namespace dovetune
