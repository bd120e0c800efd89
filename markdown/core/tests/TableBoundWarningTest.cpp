#include "LogCapture.h"
#include "markdown/MarkdownParser.h"

#include <gtest/gtest.h>

using namespace markdown;

namespace {

std::string repeat(std::string_view piece, int count)
{
    std::string result;
    for (int i = 0; i < count; ++i)
        result += piece;
    return result;
}

// The warning says which bound a document passed, so that its numbers explain the decision.
TEST(TableBoundWarning, NamesTheBoundThatWasPassed)
{
    const std::string square = "|" + repeat("a|", 500) + "\n";
    const struct {
        const char* name;
        std::string text;
        const char* says;
        const char* never;
    } cases[] = {
        {"wide header over many short lines",
         "|" + repeat("a|", 5'000) + "\n|" + repeat("-|", 5'000) + "\n" + repeat("x\n", 5'000), "cells, at most",
         "rows too wide"},
        {"few cells on very wide lines", square + "|" + repeat("-|", 500) + "\n" + repeat(square, 500), "rows too wide",
         "cells, at most"},
        {"many delimiter rows under one growing paragraph", repeat("a\n-|-\n", 20'000), "header searches too long",
         "rows too wide"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture capture;
        ASSERT_TRUE(parseMarkdownBlocks(c.text));
        const auto warnings = capture.messages(LogLevel::warning);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(c.says), std::string::npos) << warnings[0];
        EXPECT_EQ(warnings[0].find(c.never), std::string::npos) << warnings[0];
    }
}

} // namespace
