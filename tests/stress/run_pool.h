// Stress support: runs many command lines of the built program at once on one
// store, a fixed number at a time, killing some of them with SIGKILL after a
// chosen delay, and records what each printed, how it ended and when.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace dovetune {

using Clock = std::chrono::steady_clock;

struct PlannedRun {
  std::vector<std::string> arguments;
  // Killed this long after it started, unless it has ended by then; zero or
  // less for never.
  std::chrono::microseconds kill_after{0};
};

struct RunRecord {
  Clock::time_point start;  // taken just before the process is started
  Clock::time_point end;    // taken once it has been reaped
  bool killed = false;      // ended by our SIGKILL
  int exit_status = -1;     // when it exited; -1 otherwise
  int other_signal = 0;     // a signal other than ours that ended it
  std::string out;
  std::string err;

  double Milliseconds() const {
    return std::chrono::duration<double, std::milli>(end - start).count();
  }
};

// Runs every planned run, |parallel| at a time, and returns one record each,
// in the order of |plan|.
std::vector<RunRecord> RunAll(const std::string& program, const std::string& store_path,
                              const std::vector<PlannedRun>& plan, int parallel);

}  // namespace dovetune
