#include "tests/stress/run_pool.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/process.h"

namespace dovetune {

namespace {

struct Slot {
  size_t run = 0;
  pid_t pid = -1;
  int fds[2] = {-1, -1};  // standard output, standard error
  Clock::time_point kill_at = Clock::time_point::max();
  bool kill_sent = false;
};

bool Start(const std::string& program, const std::string& store_path, const PlannedRun& planned,
           RunRecord* record, Slot* slot) {
  record->start = Clock::now();
  slot->fds[0] = slot->fds[1] = -1;
  slot->pid = SpawnCapturing(program, planned.arguments, store_path, &slot->fds[0], &slot->fds[1]);
  slot->kill_sent = false;
  slot->kill_at = planned.kill_after.count() > 0 ? record->start + planned.kill_after
                                                 : Clock::time_point::max();
  if (slot->pid > 0) return true;
  if (slot->fds[0] >= 0) close(slot->fds[0]);
  if (slot->fds[1] >= 0) close(slot->fds[1]);
  record->end = record->start;
  return false;
}

// Reads what is there on one of the slot's descriptors; closes it at its end.
void Drain(Slot* slot, int which, RunRecord* record) {
  char buffer[4096];
  const ssize_t got = read(slot->fds[which], buffer, sizeof(buffer));
  if (got > 0) {
    (which == 0 ? record->out : record->err).append(buffer, static_cast<size_t>(got));
    return;
  }
  close(slot->fds[which]);
  slot->fds[which] = -1;
}

void Reap(Slot* slot, RunRecord* record) {
  int status = 0;
  waitpid(slot->pid, &status, 0);
  record->end = Clock::now();
  if (WIFEXITED(status)) record->exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) {
    if (WTERMSIG(status) == SIGKILL && slot->kill_sent) {
      record->killed = true;
    } else {
      record->other_signal = WTERMSIG(status);
    }
  }
  slot->pid = -1;
}

}  // namespace

std::vector<RunRecord> RunAll(const std::string& program, const std::string& store_path,
                              const std::vector<PlannedRun>& plan, int parallel) {
  std::vector<RunRecord> records(plan.size());
  std::vector<Slot> slots(static_cast<size_t>(parallel));
  size_t next = 0;
  size_t active = 0;
  while (next < plan.size() || active > 0) {
    for (Slot& slot : slots) {
      if (slot.pid > 0 || next >= plan.size()) continue;
      slot.run = next++;
      if (Start(program, store_path, plan[slot.run], &records[slot.run], &slot)) ++active;
    }

    std::vector<pollfd> watched;
    std::vector<std::pair<Slot*, int>> owners;
    Clock::time_point wake = Clock::now() + std::chrono::seconds(1);
    for (Slot& slot : slots) {
      if (slot.pid <= 0) continue;
      for (int which = 0; which < 2; ++which) {
        if (slot.fds[which] < 0) continue;
        watched.push_back({slot.fds[which], POLLIN, 0});
        owners.emplace_back(&slot, which);
      }
      if (!slot.kill_sent) wake = std::min(wake, slot.kill_at);
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now());
    poll(watched.data(), watched.size(), static_cast<int>(std::max<int64_t>(0, wait.count())));
    for (size_t i = 0; i < watched.size(); ++i) {
      if (watched[i].revents & (POLLIN | POLLHUP | POLLERR)) {
        Drain(owners[i].first, owners[i].second, &records[owners[i].first->run]);
      }
    }

    const Clock::time_point now = Clock::now();
    for (Slot& slot : slots) {
      if (slot.pid <= 0) continue;
      if (!slot.kill_sent && now >= slot.kill_at) {
        kill(slot.pid, SIGKILL);
        slot.kill_sent = true;
      }
      if (slot.fds[0] < 0 && slot.fds[1] < 0) {
        Reap(&slot, &records[slot.run]);
        --active;
      }
    }
  }
  return records;
}

}  // namespace dovetune
