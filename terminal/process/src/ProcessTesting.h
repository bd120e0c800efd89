#pragma once

namespace terminal::testing {

// Whether children are watched through pidfds (true, where the kernel has them) or by polling
// waitpid, which is what runs where pidfd_open is missing or forbidden.
void setPidfdAllowed(bool allowed);

} // namespace terminal::testing
