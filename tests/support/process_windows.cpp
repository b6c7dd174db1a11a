// Running the program on Windows: CreateProcess with its standard output and
// error on pipes of ours. The program writes its lines in text mode, so they
// end with CR LF there; the result gives them back ending with LF alone, as
// the tests compare them.

#include <windows.h>

#include "tests/support/process.h"

namespace dovetune {

namespace {

class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() { Reset(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  HANDLE get() const { return handle_; }
  HANDLE* out() { return &handle_; }
  bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
  void Reset() {
    if (valid()) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A pipe whose write end the child inherits and whose read end stays ours.
struct Pipe {
  OwnedHandle read;
  OwnedHandle write;

  bool Create() {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreatePipe(read.out(), write.out(), &inherit, 0) &&
           SetHandleInformation(read.get(), HANDLE_FLAG_INHERIT, 0);
  }
};

struct Drain {
  HANDLE from;
  std::string* into;
};

DWORD WINAPI ReadAll(void* argument) {
  const Drain* drain = static_cast<const Drain*>(argument);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(drain->from, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    drain->into->append(buffer, got);
  }
  return 0;
}

// |argument| quoted so that the C runtime's command-line parsing gives it
// back unchanged: backslashes are literal except before a quotation mark.
std::string Quote(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

std::string BesideThisProgram(const std::string& program) {
  if (program.find_first_of("\\/:") != std::string::npos) return program;
  char own[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, own, sizeof(own));
  if (length == 0 || length >= sizeof(own)) return program;
  const std::string folder(own, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1) + program;
}

std::string WithoutCarriageReturns(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines.push_back(text[i]);
  }
  return lines;
}

}  // namespace

// The options are for runs on the store's file; the system registry has none.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& /*store_path*/, const ProcessOptions& /*options*/) {
  ProcessResult result;
  Pipe out;
  Pipe err;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  OwnedHandle nothing(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                  nullptr));
  if (!out.Create() || !err.Create() || !nothing.valid()) {
    result.err =
        "test harness: cannot make the pipes (error " + std::to_string(GetLastError()) + ")\n";
    return result;
  }

  const std::string path = BesideThisProgram(program);
  std::string command_line = Quote(path);
  for (const std::string& argument : arguments) command_line += " " + Quote(argument);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing.get();
  startup.hStdOutput = out.write.get();
  startup.hStdError = err.write.get();
  PROCESS_INFORMATION started = {};
  // Under Wine on a busy machine a start now and then fails for want of a
  // moment; that says nothing of the program, so it is tried again.
  bool started_ok = false;
  for (int attempt = 0; attempt < 3 && !started_ok; ++attempt) {
    if (attempt > 0) Sleep(200);
    started_ok = CreateProcessA(path.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &started);
  }
  if (!started_ok) {
    result.err =
        "test harness: cannot start " + path + " (error " + std::to_string(GetLastError()) + ")\n";
    return result;
  }
  OwnedHandle process(started.hProcess);
  OwnedHandle thread(started.hThread);
  // Only the child may hold the write ends now, so that reading ends with it.
  out.write.Reset();
  err.write.Reset();

  // Standard error drains on a thread of its own: neither pipe can fill up
  // and stall the program while the other is read.
  std::string err_text;
  Drain err_drain = {err.read.get(), &err_text};
  OwnedHandle err_reader(CreateThread(nullptr, 0, ReadAll, &err_drain, 0, nullptr));
  std::string out_text;
  Drain out_drain = {out.read.get(), &out_text};
  ReadAll(&out_drain);
  if (err_reader.valid()) {
    WaitForSingleObject(err_reader.get(), INFINITE);
  } else {
    ReadAll(&err_drain);
  }

  DWORD exit_code = 0;
  if (WaitForSingleObject(process.get(), INFINITE) == WAIT_OBJECT_0 &&
      GetExitCodeProcess(process.get(), &exit_code)) {
    result.status = static_cast<int>(exit_code);
  }
  result.out = WithoutCarriageReturns(out_text);
  result.err = WithoutCarriageReturns(err_text);
  return result;
}

}  // namespace dovetune
