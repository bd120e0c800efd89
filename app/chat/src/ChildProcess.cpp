#include "ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quillora::chat {

namespace {

// Runs in the forked child before exec: async-signal-safe calls only.
void prepareChild(pid_t parent)
{
    ::setsid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        ::_exit(127); // the application is already gone
    for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGHUP})
        ::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::close_range(3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        rlimit limit{};
        const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                                ? std::min<rlim_t>(limit.rlim_cur, rlim_t(1) << 20)
                                : rlim_t(1) << 16;
        for (int fd = 3; rlim_t(fd) < last; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
}

} // namespace

void isolateChild(QProcess& process)
{
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] { prepareChild(parent); });
}

} // namespace quillora::chat
