#pragma once

#include <cerrno>
#include <functional>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// The unprivileged user and group nobody.
inline constexpr uid_t nobodyId = 65534;

// Exit code of a child that finds the machine lacks what the test needs (a namespace, a
// mount): the test skips instead of failing.
inline constexpr int childSkipped = 77;

// Exit code of a child that could not become nobody; above every errno value.
inline constexpr int childNotNobody = 250;

enum class ChildUser { current, nobody };

// Runs `body` in a forked child, as nobody when asked, and returns the code the child exits
// with, or -1 when it ends otherwise. The child is killed after 20 s, so a hang ends the child
// and not the suite. Whatever `body` changes stays in the child.
inline int runInChild(const std::function<int()>& body, ChildUser user = ChildUser::current)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        ::alarm(20);
        if (user == ChildUser::nobody && (::setgid(nobodyId) != 0 || ::setuid(nobodyId) != 0))
            ::_exit(childNotNobody);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace testsupport
