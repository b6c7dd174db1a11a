// Runs killed at any moment leave the store as it was before them or as the
// whole run would have left it, never anything in between.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "tests/support/cli_fixture.h"

namespace dovetune {

namespace {

class KillTest : public CliTest {
 protected:
  // Starts the program and kills it after |delay|, if it is still running.
  void RunAndKill(const std::vector<std::string>& arguments, std::chrono::microseconds delay) {
    const pid_t child = StartProgram(DOVETUNE_BINARY, arguments, store_path_);
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(delay);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
  }

  std::chrono::microseconds TypicalRunTime(const std::vector<std::string>& arguments) {
    const auto start = std::chrono::steady_clock::now();
    Output(arguments);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  }
};

TEST_F(KillTest, KilledCreateLeavesAWholePresetOrNone) {
  // The delays span up to one and a half times what a create takes here and
  // now: measured on the command itself, not on a shorter one, so that a busy
  // machine (ctest -j2) slows the measure and the killed runs alike.
  const auto typical =
      TypicalRunTime({"create", "model", "-cbr", "96", "-downmix", "-optimize", "4"});
  const std::string expected_settings = Output({"view", "model"}).substr(5);
  std::mt19937 random(11);
  std::uniform_int_distribution<long> delays(0, typical.count() * 3 / 2);
  int whole = 0;
  int none = 0;
  for (int round = 0; round < 60; ++round) {
    const std::string name = "p" + std::to_string(round);
    RunAndKill({"create", name, "-cbr", "96", "-downmix", "-optimize", "4"},
               std::chrono::microseconds(delays(random)));
    const std::string detail = Run({"view", name}).out;
    if (detail == name + " - preset doesn't exist\n") {
      ++none;
    } else {
      ++whole;
      EXPECT_EQ(detail.substr(name.size()), expected_settings) << "round " << round;
    }
  }
  // Both outcomes occur, or the delays did not cover the run.
  EXPECT_GT(whole, 0);
  EXPECT_GT(none, 0);
  std::printf("killed creates: %d kept whole, %d left no trace\n", whole, none);
}

TEST_F(KillTest, KilledFirstRunLeavesNoHalfBuiltStore) {
  const auto typical = TypicalRunTime({"view"});
  std::mt19937 random(5);
  std::uniform_int_distribution<long> delays(0, typical.count() * 2);
  for (int round = 0; round < 40; ++round) {
    store_path_ = folder_.File("first" + std::to_string(round) + "/registry.db");
    RunAndKill({"view"}, std::chrono::microseconds(delays(random)));
    EXPECT_EQ(Output({"view"}),
              Lines({"current - bitrate: vbr streaming", "default - bitrate: vbr streaming"}))
        << "round " << round;
  }
}

}  // namespace

}  // namespace dovetune
