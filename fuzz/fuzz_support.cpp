#include "fuzz/fuzz_support.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace dovetune {

namespace {

// Other runs of the same fuzzer at once (libFuzzer's -jobs and -fork start
// them) each take a folder of their own, up to this many.
constexpr int kMaxFolders = 64;

// Far from where Linux puts libraries, stacks and the heap, with and
// without AddressSanitizer; 8 MiB, as a main thread's stack.
constexpr uintptr_t kStackAddress = 0x700000000000;
constexpr size_t kStackSize = size_t{8} << 20;

// atexit takes no argument: the one folder a fuzzer works in is kept here.
std::string g_folder;
// What the fuzzer's messages start with: the name of its working folder once
// that is made.
std::string g_label = "dovetune-fuzz";

int RemoveBeneath(const char* path, const struct stat*, int, struct FTW* place) {
  return place->level == 0 ? 0 : remove(path);
}

// Removes everything in |path|, never following a link, and keeps the folder.
bool EmptyFolder(const std::string& path) {
  return nftw(path.c_str(), RemoveBeneath, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

void RemoveFolder() {
  if (!g_folder.empty() && EmptyFolder(g_folder)) rmdir(g_folder.c_str());
}

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// Opens |path| as this user's own folder, making it when missing, and locks
// it for the run. -1 when another run holds it; aborts when it is anything
// else (a file, a link, another user's folder).
int LockOwnFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    FuzzFailure(SystemError("cannot make the folder " + path));
  }
  const int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat status;
  if (descriptor < 0 || fstat(descriptor, &status) != 0 || status.st_uid != geteuid()) {
    FuzzFailure(path + " is not this user's own folder: remove it, or set TMPDIR elsewhere");
  }
  if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) FuzzFailure(SystemError("cannot lock the folder " + path));
    close(descriptor);
    return -1;
  }
  // Left open, it holds the lock until the process ends.
  return descriptor;
}

// A stack mapped at kStackAddress when that is free, else wherever the
// system puts it (said once).
void* MapStack() {
  void* const wanted = reinterpret_cast<void*>(kStackAddress);
#ifdef MAP_STACK
  const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK;
#else
  const int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#endif
  // Without MAP_FIXED_NOREPLACE (Linux's), the address is a hint the system
  // follows where the range is free.
#ifdef MAP_FIXED_NOREPLACE
  void* stack =
      mmap(wanted, kStackSize, PROT_READ | PROT_WRITE, flags | MAP_FIXED_NOREPLACE, -1, 0);
#else
  void* stack = mmap(wanted, kStackSize, PROT_READ | PROT_WRITE, flags, -1, 0);
#endif
  if (stack == wanted) return stack;
  if (stack != MAP_FAILED) munmap(stack, kStackSize);
  stack = mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (stack == MAP_FAILED) FuzzFailure(SystemError("cannot map a stack"));
  std::fprintf(stderr, "%s: the stack's fixed address is taken: runs may differ\n",
               g_label.c_str());
  return stack;
}

// The thread that runs every input, one at a time, on the fixed stack. It
// lives until the process ends. A thread for each input would cost more than
// most inputs do. Neither side is traced: their comparisons would mix with
// the input's in an order left to chance.
class InputThread {
 public:
  __attribute__((no_sanitize("coverage"))) InputThread() {
    pthread_attr_t attributes;
    pthread_t thread;
    if (sem_init(&start_, 0, 0) != 0 || sem_init(&done_, 0, 0) != 0 ||
        pthread_attr_init(&attributes) != 0 ||
        pthread_attr_setstack(&attributes, MapStack(), kStackSize) != 0) {
      FuzzFailure("cannot start the thread that runs the inputs");
    }
    // libFuzzer's timer signal is the main thread's to take, as it was
    // when the inputs ran there; on this thread it would land at a moment
    // left to chance. The thread starts with it blocked.
    sigset_t timer, before;
    sigemptyset(&timer);
    sigaddset(&timer, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &timer, &before);
    const int started = pthread_create(&thread, &attributes, Loop, this);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (started != 0) FuzzFailure("cannot start the thread that runs the inputs");
    pthread_attr_destroy(&attributes);
  }

  __attribute__((no_sanitize("coverage"))) void Run(const std::function<void()>& run) {
    run_ = &run;
    sem_post(&start_);
    Wait(&done_);
  }

 private:
  __attribute__((no_sanitize("coverage"))) static void Wait(sem_t* semaphore) {
    while (sem_wait(semaphore) != 0) continue;  // EINTR: a signal came first
  }

  __attribute__((no_sanitize("coverage"))) static void* Loop(void* self) {
    auto* thread = static_cast<InputThread*>(self);
    for (;;) {
      Wait(&thread->start_);
      (*thread->run_)();
      sem_post(&thread->done_);
    }
  }

  sem_t start_;
  sem_t done_;
  const std::function<void()>* run_ = nullptr;
};

}  // namespace

void RunOnFixedStack(const std::function<void()>& run) {
  static InputThread* const thread = new InputThread;  // never ends, so never freed
  thread->Run(run);
}

std::string MakeFuzzFolder(const std::string& name) {
  const char* base = getenv("TMPDIR");
  g_label = "dovetune-fuzz-" + name;
  const std::string first = std::string(base && *base ? base : "/tmp") + "/" + g_label;
  for (int number = 1; number <= kMaxFolders; ++number) {
    const std::string path = number == 1 ? first : first + "-" + std::to_string(number);
    const int descriptor = LockOwnFolder(path);
    if (descriptor < 0) continue;
    // A folder left by a run that was killed holds that run's files.
    if (fchmod(descriptor, 0700) != 0 || !EmptyFolder(path)) {
      FuzzFailure(SystemError("cannot empty the folder " + path));
    }
    if (number > 1) {
      std::fprintf(stderr, "%s: %s is in use; working in %s\n", g_label.c_str(), first.c_str(),
                   path.c_str());
    }
    g_folder = path;
    atexit(RemoveFolder);
    return path;
  }
  FuzzFailure("every folder from " + first + " to -" + std::to_string(kMaxFolders) + " is in use");
}

void FuzzFailure(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", g_label.c_str(), what.c_str());
  std::abort();
}

}  // namespace dovetune
