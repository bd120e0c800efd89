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

} // namespace
} // namespace terminal::test
