// Test support: runs the built program as a separate process with a store of
// the test's choosing, and captures what it prints.
#pragma once

#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/types.h>
#endif

struct ProcessResult {
  int status = -1;  // the exit status, or -1 when the process did not exit
  std::string out;  // line ends as "\n", whatever the platform wrote
  std::string err;
};

// Runs |program| with |arguments|, with DOVETUNE_REGISTRY set to |store_path|.
// On Windows the program works on the system registry and |store_path| is
// not used; a |program| given without a folder is the one beside the running
// test program.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& store_path);

#ifndef _WIN32
// Starts the program with its output discarded and returns its process id.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& store_path);
#endif
