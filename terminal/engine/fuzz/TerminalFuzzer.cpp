// libFuzzer entry: the whole engine with its invariants (TerminalFuzzing.h).
#include "TerminalFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return terminal::fuzz::terminalInput(data, size);
}
