// Test support: the commands run in the test's own process on a registry in
// memory, with the same helpers as the tests that start the program. On
// Windows, where the registry is the system's, the commands run as processes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/cli_fixture.h"

namespace dovetune {

#ifdef _WIN32
using CommandTest = CliTest;
#else
struct MemoryStoreContents;

class CommandTest : public CliTest {
 protected:
  CommandTest();

  // Runs the command line in this process; a run with process options is a
  // test mistake and fails.
  ProcessResult Run(const std::vector<std::string>& arguments,
                    const ProcessOptions& options = {}) override;
  void OpenStore(CRegistrySession* session) override;

  // The registry the runs share, as a store file outlives its runs.
  std::shared_ptr<MemoryStoreContents> memory_;
};
#endif

}  // namespace dovetune
