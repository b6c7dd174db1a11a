// Keeps the tests' Wine apart from the machine's. Wine, and dovetune after
// it, keep wineserver's sockets and locks under /tmp/.wine-<uid> (and, with
// Debian's Wine, /run/user/<uid>/wine) whatever TMPDIR says. A test program
// that calls UseOwnWineFolders first gets a mount namespace of its own in
// which both are fresh and empty: the programs it starts share them, and the
// machine's are never read or written.
#pragma once

#include <string>

namespace dovetune {

// False, saying why, where the system gives no private mount namespace
// (another system than Linux, or neither root nor user namespaces).
bool UseOwnWineFolders(std::string* why);

}  // namespace dovetune
