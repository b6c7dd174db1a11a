// Times whole processes side by side. It reads cases from standard input, one
// a line, fields separated by tabs: a label, a shell command run before every
// timed run of the case (empty for none; it restores the case's starting
// state and is not timed), then the program and its arguments, optionally led
// by NAME=VALUE environment settings. It runs the cases in turn, round after
// round, so that a machine that grows busier mid-way slows every case alike,
// and prints one line per case: label, median wall time and median processor
// time (user and system) in milliseconds, and peak resident memory in
// kilobytes. Any run that fails stops it.
//
//   dovetune_process_timer RUNS WARMUP < cases

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Case {
  std::string label;
  std::string prepare;
  std::vector<std::string> environment;
  std::vector<std::string> arguments;
  std::vector<double> milliseconds;
  std::vector<double> cpu_milliseconds;
  long peak_kilobytes = 0;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    fields.push_back(line.substr(start, tab - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

bool ParseCase(const std::string& line, Case* parsed) {
  std::vector<std::string> fields = SplitTabs(line);
  if (fields.size() < 3) return false;
  parsed->label = fields[0];
  parsed->prepare = fields[1];
  size_t at = 2;
  for (; at < fields.size() && fields[at].find('=') != std::string::npos; ++at) {
    parsed->environment.push_back(fields[at]);
  }
  parsed->arguments.assign(fields.begin() + at, fields.end());
  return !parsed->arguments.empty();
}

bool Prepare(const Case& timed) {
  if (timed.prepare.empty()) return true;
  const int status = std::system(timed.prepare.c_str());
  if (status != 0)
    std::fprintf(stderr, "%s: preparing failed: %s\n", timed.label.c_str(), timed.prepare.c_str());
  return status == 0;
}

double Milliseconds(const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; }

// Starts the case's program with its output discarded and waits for it.
bool RunOnce(Case& timed, bool record) {
  if (!Prepare(timed)) return false;
  std::vector<char*> argv;
  for (std::string& argument : timed.arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    for (std::string& setting : timed.environment) putenv(setting.data());
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return false;
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s: %s exited with status %d\n", timed.label.c_str(), argv[0],
                 WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return false;
  }
  if (record) {
    timed.milliseconds.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    timed.cpu_milliseconds.push_back(Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime));
    timed.peak_kilobytes = std::max(timed.peak_kilobytes, usage.ru_maxrss);
  }
  return true;
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const size_t middle = samples.size() / 2;
  return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc == 3 ? std::atoi(argv[1]) : 0;
  const int warmup = argc == 3 ? std::atoi(argv[2]) : -1;
  if (runs < 1 || warmup < 0) {
    std::fprintf(stderr, "usage: %s RUNS WARMUP < cases\n", argv[0]);
    return 2;
  }
  std::vector<Case> cases;
  for (std::string line; std::getline(std::cin, line);) {
    if (line.empty()) continue;
    Case parsed;
    if (!ParseCase(line, &parsed)) {
      std::fprintf(stderr, "not a case: %s\n", line.c_str());
      return 2;
    }
    cases.push_back(parsed);
  }
  for (int round = 0; round < warmup + runs; ++round) {
    for (Case& timed : cases) {
      if (!RunOnce(timed, round >= warmup)) return 1;
    }
  }
  for (const Case& timed : cases) {
    std::printf("%s\t%.3f\t%.3f\t%ld\n", timed.label.c_str(), Median(timed.milliseconds),
                Median(timed.cpu_milliseconds), timed.peak_kilobytes);
  }
  return 0;
}
