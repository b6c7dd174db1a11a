// Test support: runs the built program as a separate process with a store of
// the test's choosing, and captures what it prints.
//
// When DOVETUNE_TEST_WRAPPER is set (for example to a valgrind command line),
// every run starts the program through it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/types.h>
#endif

namespace dovetune {

struct ProcessResult {
  int status = -1;  // the exit status, or -1 when the process did not exit
  std::string out;  // line ends as "\n", whatever the platform wrote
  std::string err;
};

// What a run may have besides its arguments and store.
struct ProcessOptions {
  // Run as the unprivileged user nobody when the tests run as root, so that
  // file permissions apply to the program as they would to a user.
  bool unprivileged = false;
  // The largest file the program may write (RLIMIT_FSIZE), or -1 for no limit.
  long long file_size_limit = -1;
  // The most address space the program may take (RLIMIT_AS), or -1.
  long long address_space_limit = -1;
  // The pause point (base/pause_point.h) the pausable builds stop at.
  std::string pause_at;
  // More environment variables for the run, as name and value (POSIX only).
  std::vector<std::pair<std::string, std::string>> environment;
};

// Runs |program| with |arguments|, with DOVETUNE_REGISTRY set to |store_path|
// and WINEPREFIX unset (POSIX; |options.environment| may set it). On Windows the program works on
// the system registry and |store_path| is not used; a |program| given without a folder is the one
// beside the running test program.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& store_path, const ProcessOptions& options = {});

#ifndef _WIN32
// Starts the program with its output discarded and returns its process id.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& store_path);

// Starts the program with standard output and error on the given descriptors
// (-1 discards) and returns its process id, or -1. The descriptors stay open in
// the caller. Safe to call from a single-threaded test only.
pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& store_path, int out, int err,
                   const ProcessOptions& options = {});

// As SpawnProgram, with standard output and error on new pipes whose reading
// ends |out| and |err| the caller then owns.
pid_t SpawnCapturing(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& store_path, int* out, int* err,
                     const ProcessOptions& options = {});

// Starts a pausable build of the program with its output discarded and
// returns its process id once it has stopped at |options.pause_at| (SIGCONT
// lets it go on), or -1 when it ended without reaching the point.
pid_t SpawnStopped(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& store_path, const ProcessOptions& options);

// Runs a pausable build of the program until it stops at |options.pause_at|,
// then kills it. Returns false when the run ended without reaching the point.
bool RunUntilPausedAndKill(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& store_path, const ProcessOptions& options);

// Why runs under ProcessOptions::address_space_limit cannot be tested here
// (a sanitizer or a wrapper such as valgrind needs more address space than any
// useful limit), or empty when they can.
std::string AddressSpaceLimitUnsupported();

// Makes a pipe whose ends are closed on exec, as pipe2(O_CLOEXEC) does where
// there is one (it is not POSIX). Safe to call from a single-threaded test
// only: a fork between the two steps would take the ends along.
bool PipeClosedOnExec(int ends[2]);

// The user id the unprivileged runs take, or the tests' own when not root.
uid_t UnprivilegedUser();
#endif

}  // namespace dovetune
