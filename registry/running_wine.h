// A run on a Wine prefix while Wine runs in it: wineserver then holds the
// prefix's registry in memory and saves over user.reg, so the run goes
// through that Wine instead of the file. The native program starts its
// Windows build (dovetune.exe) under the user's Wine in the prefix, and
// dovetune-reg starts Wine's own reg; their output comes back as a native
// run's would be (line ends "\n"), with their exit status.
//
// When wineserver exits between the check and the start, the `wine` started
// starts a new server, which reads the file again: the run goes through it
// all the same, once. Nothing is ever started twice.
#pragma once

#include <string>
#include <vector>

namespace dovetune {

// Whether |store_path| names a Wine prefix (or its user.reg) for which a
// wineserver runs now. Another dovetune run holding the prefix is not Wine.
// |none_seen|, when given, says whether every process was looked at and no
// server of the prefix was found, neither among them nor by its lock (see
// CRegistrySession::SetNoWineSeen).
bool WineRunsFor(const std::string& store_path, bool* none_seen = nullptr);

// The prefix folder that |store_path| names, as Wine's WINEPREFIX takes it:
// absolute, its links resolved. Empty when it cannot be resolved.
std::string WinePrefixFolder(const std::string& store_path);

// Where the Windows build is installed (lib/dovetune/dovetune.exe under the
// install prefix the program was built for).
std::string InstalledWindowsBuild();

// The Windows build to start: the file DOVETUNE_WINDOWS_EXE names when set
// (how the tests run the one in the build folder), else the installed one.
// Empty when there is no such file.
std::string WindowsBuildPath();

// The Wine loader to start programs with, as Wine's own scripts choose it:
// WINELOADER when set, else `wine` on PATH, else /usr/lib/wine/wine64 (where
// Debian's wine64 package keeps it).
std::string WineLoader();

// The Windows path by which programs in |prefix| reach the file |path| names
// (which need not exist yet; its folder must): through the drive of the
// prefix's dosdevices whose folder holds it most closely, as Wine's winepath
// finds it. False, with |error| saying why, when no drive reaches it.
bool WindowsPathOf(const std::string& prefix, const std::string& path, std::string* windows,
                   std::string* error);

// Whether every one of |arguments| reaches the program under Wine as it is:
// Wine reads them as UTF-8, and would turn bytes that are not into other
// characters, which would name another key or preset. False, with |error|
// naming the first argument that is not, when one is not.
bool WineCarriesArguments(const std::vector<std::string>& arguments, std::string* error);

// Runs |arguments| (the Windows program first) under WineLoader() with
// WINEPREFIX set to |prefix| and Wine's own debug output off. Standard input
// is the run's; standard output and error are copied to this process's with
// "\r\n" turned into "\n". Returns the program's exit status (128 plus the
// signal's number when a signal ended it), or -1 with |error| saying why
// when Wine could not be started at all; then nothing was run. When the
// output could not be passed on, |error| says so and the status is 1: the
// run has not done what was asked, as a native run's is then.
int RunUnderWine(const std::string& prefix, const std::vector<std::string>& arguments,
                 std::string* error);

// Runs |arguments| under Wine as RunUnderWine does, but with what the
// program prints (standard output, then standard error, line ends "\n") in
// |output| in place of this process's streams.
int RunUnderWineQuietly(const std::string& prefix, const std::vector<std::string>& arguments,
                        std::string* output, std::string* error);

}  // namespace dovetune
