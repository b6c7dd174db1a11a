// Named points in a run where a test can stop the program, to kill it there
// or look at its files, instead of guessing when to. The program as shipped
// does nothing at them: its PausePoint is empty. The test builds of the
// programs (dovetune_pausable, dovetune_reg_pausable) link
// tests/support/pause_point_stop.cpp instead, which stops the process with
// SIGSTOP at the point named by DOVETUNE_PAUSE_AT.
#pragma once

namespace dovetune {

// Points in use: "store-filled" (a new store built, not yet in place),
// "file-written" (a replacement file written and synced, not yet renamed
// over its target; on a Wine prefix, wineserver's lock not yet taken again),
// "before-commit" and "after-commit" (a run's changes made, and kept, before
// its output is printed), "store-upgraded" (a store of an older version
// upgraded in the run's transaction, nothing yet kept), and on a Wine prefix
// "wine-locked" (wineserver's lock taken, user.reg not yet read),
// "wine-before-write" (the new user.reg written beside it and wineserver's
// lock taken again, not yet checked for a server; SIGINT and SIGTERM held),
// "wine-written" (user.reg replaced, the lock not yet let go), and
// "wine-running" (a wineserver found running, the Windows build not yet
// started under it).
void PausePoint(const char* name);

}  // namespace dovetune
