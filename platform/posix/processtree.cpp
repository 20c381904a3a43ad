#include "platform/posix/processtree.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform::detail {

namespace {

const int kPassedOn[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The group signals go to; 0 while there is none (a signal is then kept for it).
std::atomic<pid_t> g_passTo{0};
volatile sig_atomic_t g_pending = 0;
static_assert(std::atomic<pid_t>::is_always_lock_free, "read in a signal handler");

void PassOn(int signal) {
    const int saved = errno;
    const pid_t group = g_passTo.load();
    if (group > 0)
        ::kill(-group, signal);
    else
        g_pending = signal;
    errno = saved;
}

// tcsetpgrp from a group that is not in the foreground raises SIGTTOU unless it is blocked.
void GiveTerminal(pid_t group) {
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTTOU);
    ::sigprocmask(SIG_BLOCK, &block, &old);
    ::tcsetpgrp(STDIN_FILENO, group);
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace

bool PrepareTree() {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    g_pending = 0;  // a signal after an earlier tree ended was for nobody
    struct sigaction action = {};
    action.sa_handler = PassOn;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kPassedOn) {
        struct sigaction old;
        // A signal ignored on purpose (nohup, a shell's background job) stays ignored, for the program too.
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
    return ::isatty(STDIN_FILENO) == 1 && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
}

bool EnterTreeInChild(pid_t parent, bool terminal) {
    for (int signal : kPassedOn) {
        struct sigaction old;
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == PassOn) ::signal(signal, SIG_DFL);
    }
    ::setpgid(0, 0);
    if (terminal) GiveTerminal(::getpid());
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The launcher may have died before the death signal was asked for.
    return ::getppid() == parent;
}

void StartTree(const ProcessTree& tree) {
    ::setpgid(tree.group, tree.group);  // fails harmlessly once the child has exec'd
    if (tree.terminal) GiveTerminal(tree.group);
    g_passTo.store(tree.group);
    const int pending = g_pending;
    if (pending != 0) {
        g_pending = 0;
        ::kill(-tree.group, pending);
    }
}

void StopWithTree(const ProcessTree& tree) {
    GiveTerminal(::getpgrp());
    ::kill(::getpid(), SIGSTOP);
    // Continued (fg or bg): the program goes on too, with the terminal when we have it.
    if (::tcgetpgrp(STDIN_FILENO) == ::getpgrp()) GiveTerminal(tree.group);
    ::kill(-tree.group, SIGCONT);
}

void EndTree(const ProcessTree& tree) {
    g_passTo.store(0);
    if (tree.terminal) GiveTerminal(::getpgrp());
}

}  // namespace platform::detail
