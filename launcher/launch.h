// Starting the extracted program and waiting for it.
#pragma once

#include <cstdint>
#include <string>

namespace platform {
class Process;
}

// Starts `program` with `arguments` (already quoted as the program expects;
// may be empty) in `folder` (empty: the launcher's current folder). The
// command line is "\"program\" arguments", or `program` alone when there
// are no arguments. What is started depends on the kind of file
// (payload/runkind.h): a program or a script directly; a package through the
// system's installer (msiexec from the system folder, never one beside the
// launcher: "msiexec.exe" /i "program" arguments); any other file directly
// too, and, when the system says it is no program (kErrorBadExeFormat),
// through the program associated with its kind (platform::Process::Open).
// When the system opens it without naming a process to wait for, the
// launcher says so (a message) and the program counts as started and not
// ended: nothing is deleted under it. `show` asks for the first window's state: 0 shown,
// 1 minimised, 2 maximised, anything else hidden.
//
// With `wait`, the program and every process it starts are one tree that
// the launcher owns (platform/process.h): the wait lasts until the last of
// them has ended, while the launcher's window messages go on being
// dispatched (mouse moves and left-button presses and releases are
// dropped), and the tree ends with the launcher should the launcher be
// ended. Without `wait` the program is on its own. Returns the program's exit code (259, still
// running, when it has not ended yet without `wait`, or when the wait
// failed), the system's error code when it could not be started, and the
// system's error code of the failed read when the exit code cannot be read
// (never 0: a program whose result is unknown did not succeed). A command
// line of 32767 characters or more is refused with the system's "name too
// long" code (206) and nothing is started.
//
// `outcome`, when given, tells whether the program started and whether it
// is known to have ended: after a failed wait it may still be running, and
// its folder must not be deleted under it.
struct LaunchOutcome {
    bool started = false;
    bool ended = false;
};

// Told, when given, about the program while the launcher waits for it.
class CLaunchWatcher {
public:
    virtual ~CLaunchWatcher() = default;
    // The program has started; the wait begins next.
    virtual void OnStarted(platform::Process& process) = 0;
    // The wait is over (the program ended, or the wait failed).
    virtual void OnWaitEnded() = 0;
};

std::uint32_t LaunchProgram(const std::string& program, const std::string& arguments, const std::string& folder,
                            bool wait, int show, LaunchOutcome* outcome = nullptr, CLaunchWatcher* watcher = nullptr);

// Whether LaunchProgram starts `program` through the system's installer (a
// package, where the system has an installer: not on posix).
bool StartsThroughInstaller(const std::string& program);

// The system's show command for a `show` value.
int LaunchShowCommand(int show);

// The command line LaunchProgram builds.
std::string LaunchCommandLine(const std::string& program, const std::string& arguments);
