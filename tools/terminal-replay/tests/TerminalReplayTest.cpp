// The replay tool as a developer runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include <algorithm>
#include <sys/wait.h>

namespace {

struct Result {
    int status;
    std::string out;
};

Result replay(const std::string& arguments)
{
    const std::string command = std::string(TERMINAL_REPLAY_PATH) + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        out.append(chunk, n);
    return {WEXITSTATUS(pclose(pipe)), out};
}

std::string writeInput(const std::string& bytes)
{
    // ctest runs each test as its own process, side by side: each test keeps its own file.
    const std::string path = testing::TempDir() + "/replay-input-" + testing::UnitTest::GetInstance()->current_test_info()->name();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(TerminalReplay, PrintsTheScreenAsTextWholeOrSplit)
{
    const std::string input = writeInput("\x1b[31mhello\x1b[m\r\n\xe4\xb8\xadx   \x1b[2;10H");
    const std::string expected = "hello\n\xe4\xb8\xadx\n\ncursor 1 9\n";
    EXPECT_EQ(replay("--cols 12 --rows 3 " + input).out, expected);
    EXPECT_EQ(replay("--cols 12 --rows 3 --split 1 " + input).out, expected);
}

TEST(TerminalReplay, PrintsCellsAsJson)
{
    const std::string input = writeInput("\x1b[1;31;48;2;1;2;3mA");
    const Result run = replay("--cols 2 --rows 1 --format json " + input);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("{\"c\":\"A\",\"w\":1,\"fg\":1,\"bg\":\"#010203\",\"style\":[\"bold\"]}"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"cursor\":{\"row\":0,\"col\":1}"), std::string::npos) << run.out;
}

TEST(TerminalReplay, BadArgumentsFailWithOneLine)
{
    const std::string input = writeInput("x");
    for (const std::string& arguments : std::vector<std::string>{"", "--cols 1 " + input, "--rows x " + input, "--split 0 " + input,
                                        "--format html " + input, "--bogus " + input, input + " " + input,
                                        "/nonexistent/file", "--cols"}) {
        const Result run = replay(arguments);
        EXPECT_NE(run.status, 0) << arguments;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << arguments << ": " << run.out;
        EXPECT_EQ(run.out.rfind("terminal-replay: ", 0), 0u) << run.out;
    }
    EXPECT_EQ(replay("--help").status, 0);
}

} // namespace
