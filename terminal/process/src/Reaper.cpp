#include "Reaper.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace terminal::reaper {

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid;
    int pidfd;
    int masterFd;
    Clock::time_point hangupAt;
    Clock::time_point killAt;
    pid_t foreground = 0; // the terminal's foreground group at the hangup, when not the child's
    bool hungUp = false;
    bool killed = false;
};

// One thread for the whole process. It is never joined and its state is never destroyed, so
// that neither a child that will not die nor the end of the program waits for the other.
class Reaper {
public:
    Reaper()
    {
        wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        std::thread([this] { run(); }).detach();
    }

    void add(Child child)
    {
        {
            const std::lock_guard lock(mutex_);
            incoming_.push_back(child);
            ++pending_;
        }
        const std::uint64_t one = 1;
        (void)::write(wake_, &one, sizeof one);
    }

    int pending()
    {
        const std::lock_guard lock(mutex_);
        return pending_;
    }

private:
    void run()
    {
        std::vector<Child> children;
        std::vector<pollfd> fds;
        for (;;) {
            {
                const std::lock_guard lock(mutex_);
                children.insert(children.end(), incoming_.begin(), incoming_.end());
                incoming_.clear();
            }
            const auto now = Clock::now();
            std::erase_if(children, [&](Child& child) { return step(child, now); });

            fds.assign(1, pollfd{wake_, POLLIN, 0});
            auto next = Clock::time_point::max();
            bool polling = false;
            for (const Child& child : children) {
                if (child.pidfd >= 0)
                    fds.push_back(pollfd{child.pidfd, POLLIN, 0});
                else
                    polling = true;
                if (!child.hungUp)
                    next = std::min(next, child.hangupAt);
                else if (!child.killed)
                    next = std::min(next, child.killAt);
            }
            int timeout = -1;
            if (next != Clock::time_point::max())
                timeout = static_cast<int>(
                    std::chrono::ceil<std::chrono::milliseconds>(std::max(next - Clock::now(), Clock::duration{}))
                        .count());
            if (polling) // no pidfd on this kernel: look again soon
                timeout = timeout < 0 ? 20 : std::min(timeout, 20);
            if (::poll(fds.data(), fds.size(), timeout) > 0 && (fds[0].revents & POLLIN)) {
                std::uint64_t count = 0;
                (void)::read(wake_, &count, sizeof count);
            }
        }
    }

    // Advances one child; true once it is reaped.
    bool step(Child& child, Clock::time_point now)
    {
        int status = 0;
        pid_t result;
        do
            result = ::waitpid(child.pid, &status, WNOHANG);
        while (result < 0 && errno == EINTR);
        if (result == child.pid || (result < 0 && errno == ECHILD)) {
            finish(child);
            return true;
        }
        if (!child.hungUp && now >= child.hangupAt) {
            child.hungUp = true;
            if (child.masterFd >= 0) {
                // A hangup signals only the session's leader; the program in the foreground
                // hears of it from the shell, if the shell passes it on.
                const pid_t foreground = ::tcgetpgrp(child.masterFd);
                if (foreground > 0 && foreground != child.pid)
                    child.foreground = foreground;
                ::close(child.masterFd);
                child.masterFd = -1;
            }
            for (const int signal : {SIGHUP, SIGCONT}) { // a stopped process would never see the hangup
                signalGroup(child.pid, signal);
                if (child.foreground)
                    ::kill(-child.foreground, signal);
            }
        } else if (child.hungUp && !child.killed && now >= child.killAt) {
            child.killed = true;
            signalGroup(child.pid, SIGKILL);
            // Only while the group is still the session's: its id may have been freed since.
            if (child.foreground && ::getsid(child.foreground) == child.pid)
                ::kill(-child.foreground, SIGKILL);
        }
        return false;
    }

    static void signalGroup(pid_t pid, int signal)
    {
        ::kill(-pid, signal);
        ::kill(pid, signal); // in case it left its group
    }

    void finish(Child& child)
    {
        if (child.masterFd >= 0)
            ::close(child.masterFd);
        if (child.pidfd >= 0)
            ::close(child.pidfd);
        const std::lock_guard lock(mutex_);
        --pending_;
    }

    int wake_ = -1;
    std::mutex mutex_;
    std::vector<Child> incoming_;
    int pending_ = 0;
};

Reaper& instance()
{
    static Reaper* reaper = new Reaper;
    return *reaper;
}

} // namespace

void release(pid_t pid, int pidfd, int masterFd, std::string_view stopBytes)
{
    if (masterFd >= 0 && !stopBytes.empty())
        (void)::write(masterFd, stopBytes.data(), stopBytes.size()); // non-blocking; room or nothing
    const auto now = Clock::now();
    instance().add(Child{pid, pidfd, masterFd, now + hangupDelay, now + hangupDelay + killDelay});
}

int pending()
{
    return instance().pending();
}

} // namespace terminal::reaper
