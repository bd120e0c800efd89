// The fuzz targets' bodies over their seed corpus: a quick run of the fuzzers' checks in every
// build (the targets themselves need clang and QUILLORA_FUZZ).
#include "TerminalFuzzing.h"
#include "TerminalScript.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace terminal::test {
namespace {

TEST(FuzzSeeds, KeepTheInvariantsAndSplitFeedsAgree)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testDataDir() + "/../fuzz/terminal-seeds")) {
        const std::string bytes = readFile(entry.path().string());
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        SCOPED_TRACE(entry.path().filename().string());
        fuzz::terminalInput(data, bytes.size());
        fuzz::splitFeedInput(data, bytes.size());
        ++count;
    }
    EXPECT_GT(count, 5);
}

} // namespace
} // namespace terminal::test
