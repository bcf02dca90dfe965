// Preloaded into emulated test programs that start processes. QEMU 7.2 passes waitid(P_PIDFD)
// through to the kernel but refuses clone(CLONE_PIDFD), so Qt's QProcess takes pidfds for
// granted and then fails every start. Answered as a kernel without pidfds answers it, the probe
// sends Qt to its plain fork(), which QEMU runs.
#include <dlfcn.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {
__attribute__((constructor)) void leaveNoTrace() {
    // Children are often the build machine's own programs, which cannot load this one.
    ::unsetenv("LD_PRELOAD");
}
}  // namespace

extern "C" long syscall(long number, ...) {
    va_list list;
    va_start(list, number);
    long a[6];
    for (long& arg : a) arg = va_arg(list, long);
    va_end(list);
    if (number == SYS_waitid && a[0] == P_PIDFD) {
        errno = EINVAL;
        return -1;
    }
    static const auto next = reinterpret_cast<long (*)(long, ...)>(::dlsym(RTLD_NEXT, "syscall"));
    return next(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
