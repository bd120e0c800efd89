// The script files of replies, OSC commands, images and rectangle commands (format in
// tests/scripts/README).
#include "TerminalScript.h"

#include <gtest/gtest.h>

namespace terminal::test {
namespace {

void run(const char* name)
{
    runScriptFile(testDataDir() + "/scripts/" + name + ".txt");
}

TEST(ReplyScripts, Reports) { run("reports"); }
TEST(ReplyScripts, Osc) { run("osc"); }
TEST(ReplyScripts, Rectangles) { run("rectangles"); }

} // namespace
} // namespace terminal::test
