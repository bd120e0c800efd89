#pragma once

#include <sys/types.h>

#include <chrono>

namespace quillora::chat::process_groups {

// Whether any process of the group is alive (zombies waiting to be reaped do not count).
bool hasLiveMembers(pid_t group);

// The groups that chat children were started in, until they are seen empty. Any thread.
void add(pid_t group);
// Forgets the group when it has no live member.
void forgetIfEmpty(pid_t group);

// SIGTERM to every known group with a live member; SIGKILL to those still alive after `grace`.
void terminateAll(std::chrono::milliseconds grace);

} // namespace quillora::chat::process_groups
