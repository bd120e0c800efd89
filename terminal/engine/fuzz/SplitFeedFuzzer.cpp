// libFuzzer entry: whole and split feeds give the same terminal (TerminalFuzzing.h).
#include "TerminalFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return terminal::fuzz::splitFeedInput(data, size);
}
