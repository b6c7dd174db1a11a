// Test support: runs dovetune-reg (and dovetune) on a store of the test's
// own, in the test's process as main() does or as the built program, and
// reads a store's whole tree through the registry functions.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/win32_api.h"
#include "tests/support/in_process.h"
#include "tests/support/process.h"
#include "tests/support/temp_store.h"

namespace dovetune {

// One value somewhere in a store, with the path of its key.
struct ValueInTree {
  std::string key;
  std::string name;
  DWORD type;
  std::string data;
  bool operator==(const ValueInTree& other) const {
    return key == other.key && name == other.name && type == other.type && data == other.data;
  }
};

class RegCliTest : public ::testing::Test {
 protected:
  RegCliTest() : store_path_(folder_.File("registry.db")) {}

  // dovetune-reg in process, as its main() runs it.
  ProcessResult Reg(const std::vector<std::string>& arguments);
  // The built dovetune-reg, for what only a process shows.
  ProcessResult RegProcess(const std::vector<std::string>& arguments,
                           const ProcessOptions& options = {}) {
    return RunProgram(DOVETUNE_REG_BINARY, arguments, store_path_, options);
  }
  ProcessResult Dovetune(const std::vector<std::string>& arguments) {
    return RunDovetuneInProcess(arguments, store_path_);
  }
  // Runs dovetune-reg, which must succeed silently on standard error.
  std::string RegOutput(const std::vector<std::string>& arguments);
  // Writes a value through the registry functions, as another program would.
  void SetValue(const std::string& key_path, const std::string& name, DWORD type,
                const std::string& bytes);
  std::string File(const std::string& name) const { return folder_.File(name); }

  // Every key beneath |path| of HKEY_CURRENT_USER, as "key" entries with an
  // empty name and type 0xFFFFFFFF, and every value, in the registry's order.
  static std::vector<ValueInTree> Tree(const std::string& store_path, const std::string& path);

  TempFolder folder_;
  std::string store_path_;
};

}  // namespace dovetune
