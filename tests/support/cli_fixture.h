// Test support: runs the built dovetune on a store of the test's own (on
// Windows, on the system registry with the tool's keys cleared) and compares
// exactly what it prints.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/commands.h"
#include "registry/registry_session.h"
#include "registry/win32_api.h"
#include "tests/support/process.h"
#include "tests/support/temp_store.h"

namespace dovetune {

// The text of |lines|, each ended with a newline.
std::string Lines(std::initializer_list<const char*> lines);
// The text up to its first newline.
std::string FirstLine(const std::string& text);

class CliTest : public ::testing::Test {
 protected:
  CliTest();
  // On the system registry, clears the tool's keys before and after the test.
  void SetUp() override;
  void TearDown() override;

  virtual ~CliTest() = default;
  virtual ProcessResult Run(const std::vector<std::string>& arguments,
                            const ProcessOptions& options = {});
  // Runs a command that must end with |status| and print nothing on standard
  // error, and returns its standard output.
  std::string Output(const std::vector<std::string>& arguments, int status = kExitDone);

  // Changes the store between runs through the registry layer, as another
  // program sharing the registry would.
  // Opens the registry the runs work on, as a run of its own.
  virtual void OpenStore(CRegistrySession* session);
  void SetValue(const std::string& key_path, const std::string& name, DWORD type,
                const std::string& bytes);
  void SetDword(const std::string& key_path, const std::string& name, DWORD value);
  void DeleteKey(const std::string& key_path);

  static std::string PresetPath(const std::string& name);
  static const char kCurrentPath[];

  TempFolder folder_;
  std::string store_path_;
};

}  // namespace dovetune
