#include "ProcessGroups.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quillora::chat::process_groups {

namespace {

std::mutex registryMutex;
std::set<pid_t>& registry()
{
    static std::set<pid_t> groups;
    return groups;
}

// The state letter and process group of /proc/<pid>/stat, or false when it cannot be read.
bool readStat(const char* pid, char* state, long* group)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[512];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    buffer[n] = '\0';
    // The command name may hold anything, ")" included: the fields start after the last ")".
    const char* fields = std::strrchr(buffer, ')');
    long parent = 0;
    return fields && std::sscanf(fields + 1, " %c %ld %ld", state, &parent, group) == 3;
}

} // namespace

bool hasLiveMembers(pid_t group)
{
    if (group <= 0)
        return false;
    if (::kill(-group, 0) != 0 && errno == ESRCH)
        return false;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return true;
    bool live = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        char state = 0;
        long memberGroup = 0;
        if (readStat(entry->d_name, &state, &memberGroup) && memberGroup == group && state != 'Z' && state != 'X') {
            live = true;
            break;
        }
    }
    ::closedir(proc);
    return live;
}

void add(pid_t group)
{
    const std::lock_guard lock(registryMutex);
    registry().insert(group);
}

void forgetIfEmpty(pid_t group)
{
    if (hasLiveMembers(group))
        return;
    const std::lock_guard lock(registryMutex);
    registry().erase(group);
}

void terminateAll(std::chrono::milliseconds grace)
{
    std::vector<pid_t> live;
    {
        const std::lock_guard lock(registryMutex);
        for (const pid_t group : registry())
            if (hasLiveMembers(group))
                live.push_back(group);
        registry().clear();
    }
    for (const pid_t group : live)
        ::kill(-group, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!live.empty()) {
        std::erase_if(live, [](pid_t group) { return !hasLiveMembers(group); });
        if (live.empty() || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (const pid_t group : live)
        ::kill(-group, SIGKILL);
}

} // namespace quillora::chat::process_groups
