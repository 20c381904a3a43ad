// Internal to the posix backend: what makes a launched program's processes
// one tree that the launcher owns (see platform/process.h): a child
// subreaper, the program's own process group with the terminal's
// foreground, a parent-death signal, and the signals that the launcher
// passes on to the program's group.
#pragma once

#include <sys/types.h>

namespace platform::detail {

struct ProcessTree {
    pid_t group = 0;        // the program's process group (its pid)
    bool terminal = false;  // the group has the terminal's foreground while it runs
};

// Before fork: this process becomes a child subreaper, and SIGINT, SIGTERM,
// SIGHUP and SIGQUIT (those not ignored) are caught to be passed on. Tells
// whether the program's group is to take the terminal's foreground (this
// process's group has it now).
bool PrepareTree();

// In the child, between fork and exec (only async-signal-safe calls): a
// group of its own, the terminal when `terminal`, SIGKILL when `parent`
// dies. False when `parent` has died already.
bool EnterTreeInChild(pid_t parent, bool terminal);

// In the parent after fork: the same group (whichever of the two gets there
// first), the terminal, and signals passed on from now on.
void StartTree(const ProcessTree& tree);

// The program has stopped (Ctrl+Z at the terminal): take the terminal
// back, stop as it did, and once continued give the terminal back (when in
// the foreground again) and continue the program's group.
void StopWithTree(const ProcessTree& tree);

// The tree has ended: take the terminal back; signals are no longer passed on.
void EndTree(const ProcessTree& tree);

}  // namespace platform::detail
