// Test support: a stand-in for a running wineserver, as the prefix store
// finds one: a process named "wineserver" that holds the prefix folder open
// and, when asked, holds a lock file as the server does (a record lock on
// its first byte). Linux only (it names itself with prctl).
#pragma once

#include <sys/types.h>

#include <string>

namespace dovetune {

// A small user.reg as Wine writes one: its header and one key.
inline constexpr char kSmallUserReg[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n#arch=win64\n"
    "\n[Software\\\\Wine] 1796704220\n#time=1dd86ccd5625c7a\n\"v\"=\"x\"\n";

class FakeWineserver {
 public:
  // Starts the process and returns once it holds |prefix| open and
  // |lock_file| locked (each when not empty); pid() is 0 when that failed.
  explicit FakeWineserver(const std::string& prefix, const std::string& lock_file = "");
  ~FakeWineserver();  // ends the process
  FakeWineserver(const FakeWineserver&) = delete;
  FakeWineserver& operator=(const FakeWineserver&) = delete;
  pid_t pid() const { return pid_; }

 private:
  void Stop();

  pid_t pid_ = 0;
  int stop_ = -1;  // closing it ends the process
};

}  // namespace dovetune
