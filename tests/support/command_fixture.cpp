#include "tests/support/command_fixture.h"

#include "registry/stores/memory_store.h"
#include "tests/support/in_process.h"

namespace dovetune {

CommandTest::CommandTest() : memory_(MemoryStore::Fresh()) {}

ProcessResult CommandTest::Run(const std::vector<std::string>& arguments,
                               const ProcessOptions& options) {
  EXPECT_TRUE(!options.unprivileged && options.file_size_limit < 0 &&
              options.address_space_limit < 0 && options.pause_at.empty() &&
              options.environment.empty())
      << "process options for a run in process";
  return RunInProcess(
      arguments,
      [this](std::string*) -> std::unique_ptr<KeyStore> {
        return std::make_unique<MemoryStore>(memory_);
      },
      store_path_);
}

void CommandTest::OpenStore(CRegistrySession* session) {
  std::string error;
  ASSERT_TRUE(session->Open(std::make_unique<MemoryStore>(memory_), store_path_, &error)) << error;
}

}  // namespace dovetune
