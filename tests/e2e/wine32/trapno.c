/* Preloaded into the 32-bit Wine processes of the qemu route (route.py).

   Where the kernel cannot run 32-bit x86 code, the win32 tests run Wine's
   i386 loader through qemu-i386 in user mode. qemu hands a guest page fault
   to Wine's SIGSEGV handler with trap number -1 in the signal context, and
   Wine then reports every access violation of a 32-bit program as an
   illegal instruction (0xC000001D) instead of 0xC0000005. This library
   wraps the SIGSEGV handler that Wine installs and gives such a fault the
   page-fault trap number (14) before Wine looks at it. A trap number the
   kernel set is left alone. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

enum { TRAP_PAGE_FAULT = 14 };

typedef void (*info_handler)(int, siginfo_t *, void *);
typedef int (*sigaction_function)(int, const struct sigaction *, struct sigaction *);

static volatile info_handler wine_handler;  /* the handler Wine asked for */

static void page_fault_handler(int signal, siginfo_t *info, void *context) {
    ucontext_t *uc = context;
    if ((info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR) &&
        uc->uc_mcontext.gregs[REG_TRAPNO] == -1)
        uc->uc_mcontext.gregs[REG_TRAPNO] = TRAP_PAGE_FAULT;
    wine_handler(signal, info, context);
}

int sigaction(int signal, const struct sigaction *action, struct sigaction *old) {
    static sigaction_function next;
    if (!next)
        next = (sigaction_function)dlsym(RTLD_NEXT, "sigaction");
    if (signal != SIGSEGV)
        return next(signal, action, old);

    info_handler previous = wine_handler;
    struct sigaction wrapped;
    if (action && (action->sa_flags & SA_SIGINFO)) {
        wrapped = *action;
        wrapped.sa_sigaction = page_fault_handler;
        wine_handler = action->sa_sigaction;  /* set before the wrapper can run */
        action = &wrapped;
    }
    int result = next(signal, action, old);
    if (result != 0)
        wine_handler = previous;
    else if (old && (old->sa_flags & SA_SIGINFO) && old->sa_sigaction == page_fault_handler)
        old->sa_sigaction = previous;  /* callers see their own handler, not the wrapper */
    return result;
}
