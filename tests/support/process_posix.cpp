#include "tests/support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace dovetune {

namespace {

constexpr uid_t kNobody = 65534;

// The command line to start: the wrapper's words, if any, then the program.
std::vector<std::string> CommandLine(const std::string& program,
                                     const std::vector<std::string>& arguments) {
  std::vector<std::string> words;
  const char* wrapper = getenv("DOVETUNE_TEST_WRAPPER");
  std::istringstream wrapper_words(wrapper ? wrapper : "");
  for (std::string word; wrapper_words >> word;) words.push_back(word);
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  return words;
}

// A copy of the program in a folder anyone may enter, for the runs as the
// unprivileged user: the build folder may lie where that user cannot go.
class OpenProgramCopy {
 public:
  explicit OpenProgramCopy(const std::string& program) {
    const char* base = getenv("TMPDIR");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/dovetune-bin-XXXXXX";
    if (!mkdtemp(folder.data()) || chmod(folder.c_str(), 0755) != 0) return;
    folder_ = folder;
    const std::string copy = folder_ + "/dovetune";
    std::ifstream in(program, std::ios::binary);
    std::ofstream out(copy, std::ios::binary);
    out << in.rdbuf();
    out.close();
    if (out && chmod(copy.c_str(), 0755) == 0) path_ = copy;
  }
  ~OpenProgramCopy() {
    if (folder_.empty()) return;
    unlink((folder_ + "/dovetune").c_str());
    rmdir(folder_.c_str());
  }
  OpenProgramCopy(const OpenProgramCopy&) = delete;
  OpenProgramCopy& operator=(const OpenProgramCopy&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

// The program to start: for an unprivileged run as root, the open copy.
std::string ProgramFor(const std::string& program, const ProcessOptions& options) {
  if (!options.unprivileged || geteuid() != 0) return program;
  static const OpenProgramCopy copy(program);
  return copy.path().empty() ? program : copy.path();
}

bool DropPrivileges() {
  if (geteuid() != 0) return true;
  return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

// In the child: sets the store and the limits, wires the descriptors and runs
// the program.
[[noreturn]] void Exec(const std::vector<std::string>& words, const std::string& store_path,
                       int out, int err, const ProcessOptions& options) {
  setenv("DOVETUNE_REGISTRY", store_path.c_str(), 1);
  // The machine's prefix is never a test's: a test that means one names it.
  unsetenv("WINEPREFIX");
  for (const auto& variable : options.environment) {
    setenv(variable.first.c_str(), variable.second.c_str(), 1);
  }
  const int nothing = open("/dev/null", O_RDWR);
  dup2(nothing, 0);
  dup2(out < 0 ? nothing : out, 1);
  dup2(err < 0 ? nothing : err, 2);
  if (nothing > 2) close(nothing);
  if (!options.pause_at.empty()) setenv("DOVETUNE_PAUSE_AT", options.pause_at.c_str(), 1);
  if (options.address_space_limit >= 0) {
    const rlimit limit = {static_cast<rlim_t>(options.address_space_limit),
                          static_cast<rlim_t>(options.address_space_limit)};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
  }
  if (options.file_size_limit >= 0) {
    const rlimit limit = {static_cast<rlim_t>(options.file_size_limit),
                          static_cast<rlim_t>(options.file_size_limit)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  }
  if (options.unprivileged && !DropPrivileges()) _exit(126);
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

}  // namespace

// GCC says so with __SANITIZE_ADDRESS__, clang with __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define DOVETUNE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DOVETUNE_ADDRESS_SANITIZER 1
#endif
#endif

std::string AddressSpaceLimitUnsupported() {
#if defined(DOVETUNE_ADDRESS_SANITIZER)
  return "AddressSanitizer reserves more address space than the limit allows";
#else
  const char* wrapper = getenv("DOVETUNE_TEST_WRAPPER");
  if (wrapper && *wrapper) return std::string("the wrapper ") + wrapper + " needs more room";
  return std::string();
#endif
}

bool PipeClosedOnExec(int ends[2]) {
  if (pipe(ends) != 0) return false;
  if (fcntl(ends[0], F_SETFD, FD_CLOEXEC) == 0 && fcntl(ends[1], F_SETFD, FD_CLOEXEC) == 0) {
    return true;
  }
  close(ends[0]);
  close(ends[1]);
  return false;
}

uid_t UnprivilegedUser() { return geteuid() == 0 ? kNobody : geteuid(); }

pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& store_path, int out, int err, const ProcessOptions& options) {
  const std::vector<std::string> words = CommandLine(ProgramFor(program, options), arguments);
  const pid_t child = fork();
  if (child == 0) Exec(words, store_path, out, err, options);
  return child;
}

pid_t SpawnCapturing(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& store_path, int* out, int* err,
                     const ProcessOptions& options) {
  int out_pipe[2];
  int err_pipe[2];
  if (!PipeClosedOnExec(out_pipe)) return -1;
  if (!PipeClosedOnExec(err_pipe)) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return -1;
  }
  const pid_t child =
      SpawnProgram(program, arguments, store_path, out_pipe[1], err_pipe[1], options);
  close(out_pipe[1]);
  close(err_pipe[1]);
  *out = out_pipe[0];
  *err = err_pipe[0];
  return child;
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& store_path, const ProcessOptions& options) {
  ProcessResult result;
  int out = -1;
  int err = -1;
  const pid_t child = SpawnCapturing(program, arguments, store_path, &out, &err, options);
  if (child < 0) return result;
  pollfd streams[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
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

pid_t SpawnStopped(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& store_path, const ProcessOptions& options) {
  const pid_t child = SpawnProgram(program, arguments, store_path, -1, -1, options);
  if (child < 0) return -1;
  int status = 0;
  if (waitpid(child, &status, WUNTRACED) != child) return -1;
  if (WIFSTOPPED(status)) return child;
  return -1;
}

bool RunUntilPausedAndKill(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& store_path, const ProcessOptions& options) {
  const pid_t child = SpawnStopped(program, arguments, store_path, options);
  if (child < 0) return false;
  int status = 0;
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return true;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& store_path) {
  return SpawnProgram(program, arguments, store_path, -1, -1);
}

}  // namespace dovetune
