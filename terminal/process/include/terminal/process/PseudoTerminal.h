#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace terminal {

// The size a pseudo-terminal reports to its programs. Rows and columns are clamped to
// 1...65535 and pixel sizes to 0...65535 when they reach the kernel.
struct WindowSize {
    int rows = 0;
    int cols = 0;
    int widthPixels = 0;
    int heightPixels = 0;

    friend bool operator==(const WindowSize&, const WindowSize&) = default;
};

// A program started on a new pseudo-terminal: its process id and the controller side, which is
// non-blocking and close-on-exec.
struct SpawnedChild {
    pid_t pid = 0;
    int masterFd = -1;
};

namespace pseudo_terminal {

// Starts `program` with the full argument vector `args` (the zeroth included) and exactly the
// environment `env` on a new pseudo-terminal with UTF-8 input processing and the window size
// `size`. The child becomes the leader of a new session with the terminal as its controlling
// terminal, starts with every signal at its default and none blocked, holds no descriptor but
// 0 to 2, enters `currentDirectory` when given (staying where it is when it cannot) and ends at
// once with status 127 when the program cannot be executed. Nothing when the terminal or the
// process cannot be made.
std::optional<SpawnedChild> spawn(const std::string& program, const std::vector<std::string>& args,
                                  const std::vector<std::string>& env,
                                  const std::optional<std::string>& currentDirectory, WindowSize size);

// Sets the window size of the terminal behind `masterFd`; the ioctl's result.
int setWindowSize(int masterFd, WindowSize size);
// The window size of the terminal behind `fd`, or nothing.
std::optional<WindowSize> windowSize(int fd);

struct AvailableBytes {
    int status = 0;
    int size = 0;
};
// How many bytes wait to be read on `fd`: the ioctl's result and the count (0 when it failed).
AvailableBytes availableBytes(int fd);

// The wait status of a child as one number: its exit status, or 128 plus the signal that ended
// it (what a shell shows in $?).
int decodeWaitStatus(int status);

} // namespace pseudo_terminal

} // namespace terminal
