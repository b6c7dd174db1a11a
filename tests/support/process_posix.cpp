#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// In the child: sets the store, wires the descriptors and runs the program.
[[noreturn]] void Exec(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& store_path, int out, int err) {
  setenv("DOVETUNE_REGISTRY", store_path.c_str(), 1);
  const int nothing = open("/dev/null", O_RDWR);
  dup2(nothing, 0);
  dup2(out < 0 ? nothing : out, 1);
  dup2(err < 0 ? nothing : err, 2);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& store_path) {
  ProcessResult result;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0) return result;
  if (pipe(err_pipe) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }
  const pid_t child = fork();
  if (child == 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    Exec(program, arguments, store_path, out_pipe[1], err_pipe[1]);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  pollfd streams[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_streams = 2;
  while (open_streams > 0) {
    if (poll(streams, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (streams[i].fd < 0 || !(streams[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t got = read(streams[i].fd, buffer, sizeof(buffer));
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else {
        close(streams[i].fd);
        streams[i].fd = -1;
        --open_streams;
      }
    }
  }
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  return result;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& store_path) {
  const pid_t child = fork();
  if (child == 0) Exec(program, arguments, store_path, -1, -1);
  return child;
}
