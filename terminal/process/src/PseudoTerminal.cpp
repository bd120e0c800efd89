#include "terminal/process/PseudoTerminal.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace terminal::pseudo_terminal {

namespace {

// A list of texts in the form execve takes: the texts, each ended by a zero byte, in one
// buffer, and a null-terminated array of pointers into it. Built before the fork, since the
// child may only make async-signal-safe calls.
class CVector {
public:
    explicit CVector(const std::vector<std::string>& texts)
    {
        std::size_t size = 0;
        for (const std::string& text : texts)
            size += text.size() + 1;
        storage_.reserve(size);
        std::vector<std::size_t> offsets;
        offsets.reserve(texts.size());
        for (const std::string& text : texts) {
            offsets.push_back(storage_.size());
            // A zero byte inside a text would end it early; it is cut there, as exec would.
            storage_.append(text.c_str());
            storage_.push_back('\0');
        }
        pointers_.reserve(texts.size() + 1);
        for (const std::size_t offset : offsets)
            pointers_.push_back(storage_.data() + offset);
        pointers_.push_back(nullptr);
    }
    char* const* data() const { return const_cast<char* const*>(pointers_.data()); }

private:
    std::string storage_;
    std::vector<char*> pointers_;
};

winsize toWinsize(WindowSize size)
{
    const auto cells = [](int n) { return static_cast<unsigned short>(std::clamp(n, 1, 65535)); };
    const auto pixels = [](int n) { return static_cast<unsigned short>(std::clamp(n, 0, 65535)); };
    return winsize{cells(size.rows), cells(size.cols), pixels(size.widthPixels), pixels(size.heightPixels)};
}

void closeQuietly(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

// Both ends close-on-exec from the start, so that no other thread's fork can inherit them.
bool openPair(int* master, int* slave)
{
    *master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*master < 0)
        return false;
    char name[128];
    if (::grantpt(*master) != 0 || ::unlockpt(*master) != 0 || ::ptsname_r(*master, name, sizeof name) != 0
        || (*slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
        closeQuietly(*master);
        return false;
    }
    return true;
}

// Runs in the forked child: async-signal-safe calls only, and never a return.
[[noreturn]] void execChild(int slave, const char* program, char* const* argv, char* const* envp,
                            const char* directory, int lastDescriptor)
{
    ::setsid();
    ::ioctl(slave, TIOCSCTTY, 0);
    for (int fd = 0; fd < 3; ++fd) {
        if (slave != fd)
            ::dup2(slave, fd);
        // dup2 clears close-on-exec, but when this process had 0 to 2 closed the terminal may
        // already sit there, opened close-on-exec.
        ::fcntl(fd, F_SETFD, 0);
    }

    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &defaults, nullptr); // fails harmlessly for SIGKILL, SIGSTOP and gaps
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    if (::close_range(3U, ~0U, 0) != 0)
        for (int fd = 3; fd <= lastDescriptor; ++fd)
            ::close(fd);

    if (directory)
        (void)::chdir(directory);
    ::execve(program, argv, envp);
    ::_exit(127);
}

} // namespace

std::optional<SpawnedChild> spawn(const std::string& program, const std::vector<std::string>& args,
                                  const std::vector<std::string>& env,
                                  const std::optional<std::string>& currentDirectory, WindowSize size)
{
    const CVector argv(args);
    const CVector envp(env);
    rlimit limit{};
    const int lastDescriptor = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                                   ? static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 20))
                                   : 1 << 16;

    int master = -1;
    int slave = -1;
    if (!openPair(&master, &slave))
        return std::nullopt;
    termios settings{};
    if (::tcgetattr(slave, &settings) == 0) {
        settings.c_iflag |= IUTF8;
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    const winsize window = toWinsize(size);
    ::ioctl(slave, TIOCSWINSZ, &window);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    // Signals stay blocked across the fork, so that no handler of ours runs in the child before
    // its dispositions are reset.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0)
        execChild(slave, program.c_str(), argv.data(), envp.data(),
                  currentDirectory ? currentDirectory->c_str() : nullptr, lastDescriptor);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(slave);
    if (pid < 0) {
        ::close(master);
        return std::nullopt;
    }
    return SpawnedChild{pid, master};
}

int setWindowSize(int masterFd, WindowSize size)
{
    const winsize window = toWinsize(size);
    return ::ioctl(masterFd, TIOCSWINSZ, &window);
}

std::optional<WindowSize> windowSize(int fd)
{
    winsize window{};
    if (::ioctl(fd, TIOCGWINSZ, &window) != 0)
        return std::nullopt;
    return WindowSize{window.ws_row, window.ws_col, window.ws_xpixel, window.ws_ypixel};
}

AvailableBytes availableBytes(int fd)
{
    int count = 0;
    const int status = ::ioctl(fd, FIONREAD, &count);
    return AvailableBytes{status, status < 0 ? 0 : count};
}

int decodeWaitStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return status;
}

} // namespace terminal::pseudo_terminal
