#pragma once

#include <sys/types.h>

#include <chrono>
#include <string_view>

namespace terminal::reaper {

// How long a released child has to obey the stop bytes before the hangup, and how long after
// the hangup it has before it is killed.
inline constexpr std::chrono::milliseconds hangupDelay{500};
inline constexpr std::chrono::milliseconds killDelay{2000};

// Ends a released child away from the caller's thread. `stopBytes` are written to `masterFd`
// at once (when it is open and has room); a child still alive after `hangupDelay` has its
// master closed and gets SIGHUP, one alive `killDelay` later gets SIGKILL, each to its process
// group and to the terminal's foreground group; the child is reaped with waitpid on its own id. Takes ownership of `pidfd`
// (or -1 where there is none) and `masterFd` (or -1). Returns at once.
void release(pid_t pid, int pidfd, int masterFd, std::string_view stopBytes);

// Released children not yet reaped.
int pending();

} // namespace terminal::reaper
