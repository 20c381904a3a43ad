// Starting another program and waiting for it, in Windows terms.
//
// A command line is one text, as on Windows: its first token names the
// program, and the program splits the rest itself. The posix backend splits
// the whole line the way the Windows runtime does (see
// platform/posix/cmdline.h) and runs the first token directly, without a
// shell. There a program killed by a signal ends with 128 plus the signal's
// number, and a program not waited for stays a zombie until this process
// ends or reads its exit code.
//
// A program started with kProcessOwnTree brings every process it starts
// into one tree that its Process owns: the wait lasts until the last of
// them has ended. On win32 the tree is a job object (kill on close,
// breakaway allowed): all of it ends when this process ends, however it
// ends, and a process started with CREATE_BREAKAWAY_FROM_JOB leaves it. On posix this
// process becomes a child subreaper, so that every descendant that loses
// its parent becomes its child and is waited for; the program runs in a
// process group of its own (with the terminal's foreground while it runs,
// when this process had it), gets SIGKILL should this process die, and
// SIGINT, SIGTERM, SIGHUP and SIGQUIT sent to this process are passed on
// to its group. Nothing leaves the tree on posix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Window states for a new program's first window (the Windows SW_ values).
enum : int {
    kShowHide = 0,
    kShowMaximized = 3,
    kShowNormal = 5,  // SW_SHOW
    kShowMinimized = 6,
};

// The exit code of a program that is still running.
enum : std::uint32_t { kStillActive = 259 };

// How Create starts a program (flags).
enum ProcessOptions : unsigned {
    kProcessAlone = 0,     // the program alone: waited for alone, independent of this process
    kProcessOwnTree = 1,   // the program and all it starts, owned as one tree (above)
    kProcessLeaveTree = 2, // outside whatever tree this process belongs to (win32: breakaway)
    // Every inheritable handle of this process besides the standard ones
    // (win32: no handle list; posix: descriptors without close-on-exec go
    // along anyway). For tests that give a program more than it should pass on.
    kProcessInheritAll = 4,
};

// The exit code that EndTree gives what it has to end (ERROR_PROCESS_ABORTED).
enum : std::uint32_t { kEndedTreeExitCode = 1067 };

// The longest command line the system accepts, in UTF-16 units (characters,
// two for one beyond U+FFFF), counting its terminator.
constexpr std::size_t kMaxCommandLineBuffer = 32767;

// One started program. Not copyable; letting go of it does not end it.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the program that `commandLine` names, in `folder` (empty: this
    // process's current folder), asking for `showCommand` on its first
    // window, with `options` (ProcessOptions). The program gets this
    // process's standard input, output and error as they are (a console,
    // pipes, files; on win32 those that GetFileType knows, passed on through
    // a handle list) and no other handle: every other handle or descriptor
    // of this process is made not inheritable (close-on-exec). The
    // environment is inherited. False, with the last error set, when it cannot be
    // started: for example kErrorFileNotFound, kErrorBadExeFormat,
    // kErrorDirectoryInvalid for a bad folder, kErrorFilenameExcedRange for
    // an over-long line. Where the system cannot make a tree (no job
    // object, or an outer job that forbids adding the program to one), the
    // program runs alone, as without kProcessOwnTree.
    bool Create(const std::string& commandLine, const std::string& folder, int showCommand,
                unsigned options = kProcessAlone);

    // Opens `file` as the system opens it for a user who opens it: through
    // the program associated with its kind (ShellExecuteEx on win32), with
    // `parameters` (quoted as that program expects), in `folder`, asking
    // for `showCommand`, with no window of the system's own: a failure is
    // only the last error (kErrorNoAssociation for a kind no program
    // opens, kErrorFileNotFound, ...). With kProcessOwnTree the process the
    // system started joins a tree right after it has started: unlike
    // Create, it cannot start suspended, so what it starts in that first
    // moment runs outside the tree. True when the file was opened;
    // HasProcess() then tells whether the system named a process to wait
    // for (it may hand the file to a program that was running already, or
    // open it without one). posix has no associations: false, with
    // kErrorBadExeFormat.
    bool Open(const std::string& file, const std::string& parameters, const std::string& folder, int showCommand,
              unsigned options = kProcessAlone);
    bool HasProcess() const { return m_handle != 0; }

    // Waits until the program ends. Meanwhile this thread's window messages
    // are dispatched (keyboard messages translated first), except mouse
    // moves and left-button presses and releases, which are dropped so that
    // a click on a window during the wait does nothing. Should the wait for
    // messages fail, the wait goes on without them. True once the program
    // (with kProcessOwnTree: its whole tree) is known to have ended; false,
    // with the last error set, when even that wait failed: the program may
    // still be running.
    bool WaitDispatchingMessages();

    // Gives the program's tree (the program alone, without one) up to
    // `graceMs` to end by itself, then ends what is left of it (win32 with
    // kEndedTreeExitCode; posix with SIGKILL to the program's group). For
    // the end of the session: it never waits much longer than `graceMs`.
    // True when nothing of it is known to run any more.
    bool EndTree(unsigned graceMs);

    // The exit code, kStillActive while the program runs; false, with the
    // last error set, when it cannot be read.
    bool GetExitCode(std::uint32_t& code);

private:
    std::intptr_t m_handle = 0;  // process HANDLE on win32, pid on posix; 0: none
    void* m_pTree = nullptr;     // the backend's record of the tree (a job on win32); null: the program alone
    bool m_bEnded = false;       // posix: reaped, m_dwExitCode is final
    bool m_bCodeLost = false;    // posix: reaped by the system (SIGCHLD ignored), the code is gone
    std::uint32_t m_dwExitCode = 0;
};

// Why `program` could not be started, for a person: the system's text for
// `code` (Process::Create's last error), with the program named where the
// text has a place for it, one line, no line break at the end. On posix a
// file that exists but cannot be executed is told as such: not marked
// executable, or neither a program of this system nor a script with a "#!"
// line.
std::string StartFailureText(const std::string& program, std::uint32_t code);

// The files, folders, pipes and consoles this process holds open, each
// named as the system names it (a path; "pipe" or "character device" on
// win32 where there is none): for tests of what a started program has
// inherited. win32: the handle values up to a few thousand that GetFileType
// knows, named by GetFinalPathNameByHandleW; posix: /proc/self/fd.
std::vector<std::string> OpenFileNames();

}  // namespace platform
