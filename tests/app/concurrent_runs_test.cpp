// Runs started together wait for one another instead of interleaving, and a
// run that cannot get the store within the wait says so and changes nothing.

#include <chrono>
#include <future>
#include <thread>

#include "registry/registry_session.h"
#include "tests/support/cli_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

class ConcurrentRunsTest : public CliTest {
 protected:
  void SetUp() override { ASSERT_FALSE(Output({"view"}).empty()); }

  // Holds the store as a run in progress does, until the session is committed.
  std::unique_ptr<CRegistrySession> HoldStore() {
    auto session = std::make_unique<CRegistrySession>();
    std::string error;
    EXPECT_TRUE(session->Open(store_path_, &error)) << error;
    return session;
  }
};

TEST_F(ConcurrentRunsTest, ARunWaitsForTheRunAheadOfIt) {
  auto holder = HoldStore();
  HKEY key = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, PresetPath("default").c_str(), 0, KEY_ALL_ACCESS, &key),
      ERROR_SUCCESS);
  const BYTE rate[4] = {0x40, 0x01, 0, 0};
  const BYTE constant[4] = {0, 0, 0, 0};
  ASSERT_EQ(RegSetValueExA(key, "DefBitRate", 0, REG_DWORD, rate, 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "DefVbrMode", 0, REG_DWORD, constant, 4), ERROR_SUCCESS);
  RegCloseKey(key);
  const auto start = Clock::now();
  auto waiting = std::async(std::launch::async, [this] { return Run({"create", "late"}); });
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  std::string error;
  ASSERT_TRUE(holder->Commit(&error)) << error;
  holder.reset();
  const ProcessResult result = waiting.get();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(700));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  // The waiting run saw what the first one committed.
  EXPECT_EQ(result.out, Lines({"preset late created", "late - bitrate: cbr 320"}));
}

TEST_F(ConcurrentRunsTest, ARunGivesUpAfterTheWaitAndChangesNothing) {
  const std::string before = ReadWholeFile(store_path_);
  auto holder = HoldStore();
  const auto start = Clock::now();
  const ProcessResult result = Run({"create", "blocked"});
  const auto waited = Clock::now() - start;
  holder.reset();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Fatal Error: " + store_path_ +
                            ": the registry store is in use by another run, and stayed so "
                            "past the wait\n");
  EXPECT_GE(waited, std::chrono::seconds(9));
  EXPECT_LT(waited, std::chrono::seconds(30));
  EXPECT_EQ(ReadWholeFile(store_path_), before);
  EXPECT_EQ(Output({"view", "blocked"}), Lines({"blocked - preset doesn't exist"}));
}

}  // namespace
