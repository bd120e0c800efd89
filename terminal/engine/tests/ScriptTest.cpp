// One test per script file of tests/scripts (format in tests/scripts/README).
#include "TerminalScript.h"

#include <gtest/gtest.h>

namespace terminal::test {
namespace {

void run(const char* name)
{
    runScriptFile(testDataDir() + "/scripts/" + name + ".txt");
}

TEST(Scripts, Printing) { run("printing"); }
TEST(Scripts, Controls) { run("controls"); }
TEST(Scripts, Cursor) { run("cursor"); }
TEST(Scripts, Erase) { run("erase"); }
TEST(Scripts, InsertDelete) { run("insert-delete"); }
TEST(Scripts, Scroll) { run("scroll"); }
TEST(Scripts, Tabs) { run("tabs"); }
TEST(Scripts, Sgr) { run("sgr"); }
TEST(Scripts, Modes) { run("modes"); }
TEST(Scripts, Screens) { run("screens"); }
TEST(Scripts, CharSets) { run("charsets"); }
TEST(Scripts, Resets) { run("resets"); }
TEST(Scripts, Strings) { run("strings"); }

} // namespace
} // namespace terminal::test
