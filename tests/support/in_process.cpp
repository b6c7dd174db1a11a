#include "tests/support/in_process.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/held_text.h"
#include "app/program.h"
#include "app/run_dovetune.h"
#include "registry/registry_session.h"
#include "registry/stores/key_store.h"

namespace dovetune {

namespace {

// Points one of the process's standard descriptors at a temporary file while
// it lives, and gives back what was written there.
class CapturedStream {
 public:
  CapturedStream(std::FILE* stream, int descriptor)
      : stream_(stream), descriptor_(descriptor), file_(std::tmpfile(), &std::fclose) {
    std::fflush(stream_);
    saved_ = dup(descriptor_);
    if (file_ && saved_ >= 0) dup2(fileno(file_.get()), descriptor_);
  }
  ~CapturedStream() { Restore(); }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;

  // Puts the descriptor back and returns the text written meanwhile.
  std::string Release() {
    Restore();
    std::string text;
    if (!file_) return "(no temporary file to capture into)";
    std::rewind(file_.get());
    char buffer[4096];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof(buffer), file_.get())) > 0)
      text.append(buffer, read);
    return text;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stream_);
    dup2(saved_, descriptor_);
    close(saved_);
    saved_ = -1;
  }

  std::FILE* stream_;
  int descriptor_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
  int saved_ = -1;
};

// What main() does once the arguments are known, on the store |open_store|
// gives instead of the one the environment names.
int RunAsMain(int argc, char** argv, const StoreOpener& open_store, const std::string& name,
              int wait_ms) {
  HeldText out;
  if (RunWithoutStore(argc, argv, std::string(), out)) return PrintOutput(out, kExitDone);
  std::string error;
  std::unique_ptr<KeyStore> store = open_store(&error);
  if (!store) return FatalError(name + ": " + error);
  CRegistrySession session;
  if (!session.Open(std::move(store), name, &error, wait_ms)) return FatalError(error);
  return RunProgram(session, argc, argv);
}

// The words of a command line as argv: pointers into |words|, ended by null.
std::vector<char*> Argv(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  return argv;
}

// The environment of a run as RunCapturing says, while it lives.
class RunEnvironment {
 public:
  RunEnvironment(const std::string& store_path, const Environment& more);
  ~RunEnvironment();
  RunEnvironment(const RunEnvironment&) = delete;
  RunEnvironment& operator=(const RunEnvironment&) = delete;

 private:
  void Set(const std::string& name, const char* value);

  std::vector<std::pair<std::string, std::unique_ptr<std::string>>> saved_;
};

RunEnvironment::RunEnvironment(const std::string& store_path, const Environment& more) {
  Set("DOVETUNE_REGISTRY", store_path.c_str());
  Set("WINEPREFIX", nullptr);
  for (const auto& variable : more) Set(variable.first, variable.second.c_str());
}

RunEnvironment::~RunEnvironment() {
  // Last set first, so that a name set twice ends as the test had it.
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second) {
      setenv(it->first.c_str(), it->second->c_str(), 1);
    } else {
      unsetenv(it->first.c_str());
    }
  }
}

void RunEnvironment::Set(const std::string& name, const char* value) {
  const char* old = std::getenv(name.c_str());
  saved_.emplace_back(name, old ? std::make_unique<std::string>(old) : nullptr);
  if (value) {
    setenv(name.c_str(), value, 1);
  } else {
    unsetenv(name.c_str());
  }
}

}  // namespace

ProcessResult RunCapturing(const std::function<int()>& run, const std::string& store_path,
                           const Environment& more) {
  RunEnvironment environment(store_path, more);
  ProcessResult result;
  CapturedStream out(stdout, STDOUT_FILENO);
  CapturedStream err(stderr, STDERR_FILENO);
  result.status = run();
  result.out = out.Release();
  result.err = err.Release();
  return result;
}

ProcessResult RunDovetuneInProcess(const std::vector<std::string>& arguments,
                                   const std::string& store_path, const Environment& more,
                                   int wait_ms) {
  std::vector<std::string> words = {"dovetune"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = Argv(words);
  return RunCapturing(
      [&] { return RunDovetune(static_cast<int>(words.size()), argv.data(), wait_ms); }, store_path,
      more);
}

ProcessResult RunInProcess(const std::vector<std::string>& arguments, const StoreOpener& open_store,
                           const std::string& store_name, int wait_ms) {
  std::vector<std::string> words = {"dovetune"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = Argv(words);

  ProcessResult result;
  CapturedStream out(stdout, STDOUT_FILENO);
  CapturedStream err(stderr, STDERR_FILENO);
  try {
    result.status =
        RunAsMain(static_cast<int>(words.size()), argv.data(), open_store, store_name, wait_ms);
  } catch (const std::bad_alloc&) {
    std::fputs("Fatal Error: out of memory\n", stderr);
    result.status = 1;
  }
  result.out = out.Release();
  result.err = err.Release();
  return result;
}

}  // namespace dovetune
