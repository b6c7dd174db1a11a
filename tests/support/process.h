// Test support: runs the built program as a separate process with a store of
// the test's choosing, and captures what it prints.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ProcessResult {
  int status = -1;  // the exit status, or -1 when the process did not exit
  std::string out;
  std::string err;
};

// Runs |program| with |arguments|, with DOVETUNE_REGISTRY set to |store_path|.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& store_path);

// Starts the program with its output discarded and returns its process id.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& store_path);
