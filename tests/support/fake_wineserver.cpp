#include "tests/support/fake_wineserver.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dovetune {

namespace {

// In the child: only calls that are safe after fork.
[[noreturn]] void Serve(const std::string& prefix, const std::string& lock_file, int ready,
                        int stop) {
  const int folder = prefix.empty() ? 0 : open(prefix.c_str(), O_RDONLY | O_DIRECTORY);
  bool ok = folder >= 0 && prctl(PR_SET_NAME, "wineserver", 0, 0, 0) == 0;
  if (ok && !lock_file.empty()) {
    const int fd = open(lock_file.c_str(), O_CREAT | O_WRONLY, 0600);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    ok = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0;
  }
  const char byte = ok ? '1' : '0';
  if (write(ready, &byte, 1) != 1 || !ok) _exit(1);
  char unused;
  while (read(stop, &unused, 1) > 0) {
  }
  _exit(0);
}

}  // namespace

FakeWineserver::FakeWineserver(const std::string& prefix, const std::string& lock_file) {
  int ready[2], stop[2];
  if (pipe(ready) != 0) return;
  if (pipe(stop) != 0) {
    close(ready[0]);
    close(ready[1]);
    return;
  }
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    close(stop[1]);
    Serve(prefix, lock_file, ready[1], stop[0]);
  }
  close(ready[1]);
  close(stop[0]);
  stop_ = stop[1];
  char byte = 0;
  const bool started = child > 0 && read(ready[0], &byte, 1) == 1 && byte == '1';
  close(ready[0]);
  pid_ = child > 0 ? child : 0;
  if (!started) Stop();
}

FakeWineserver::~FakeWineserver() { Stop(); }

void FakeWineserver::Stop() {
  if (stop_ >= 0) close(stop_);
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
  stop_ = -1;
  pid_ = 0;
}

}  // namespace dovetune
