// Built into the test executables of the thread sanitizer build only (tests/CMakeLists.txt).
//
// QProcess (Qt 6.4) starts a child with clone(CLONE_VM | CLONE_VFORK): until its exec the child
// runs in this process's memory, on the thread that started it, and what the sanitizer records
// for that child's calls (signal actions, dup2, close) is recorded in this process's bookkeeping.
// Afterwards the sanitizer no longer sees that thread take some locks, and reports races on data
// that the locks guard. A real fork() the sanitizer follows: this clone gives Qt one in place of
// the shared-memory form, and passes every other use on to the C library.

#include <cstdarg>
#include <dlfcn.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" int clone(int (*function)(void*), void* stack, int flags, void* argument, ...) noexcept
{
    va_list rest;
    va_start(rest, argument);
    int* parentTid = va_arg(rest, int*);
    void* tls = va_arg(rest, void*);
    int* childTid = va_arg(rest, int*);
    va_end(rest);
    if (flags & CLONE_VFORK) {
        const pid_t pid = fork();
        if (pid == 0) _exit(function(argument));
        // With CLONE_PIDFD the caller waits on a descriptor for the child, handed back here.
        if (pid > 0 && (flags & CLONE_PIDFD)) *parentTid = int(syscall(SYS_pidfd_open, pid, 0));
        return pid;
    }
    using Clone = int (*)(int (*)(void*), void*, int, void*, ...);
    static const auto next = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    return next(function, stack, flags, argument, parentTid, tls, childTid);
}
