#include "terminal/process/ShellEnvironment.h"
#include "terminal/process/ShellLaunch.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using terminal::EnvironmentList;

namespace {

TEST(TerminalEnvironment, FixedEntriesComeFirstAndOnlyTheListedHostVariablesFollow)
{
    const EnvironmentList host = {
        "HOME=/home/u",        "USER=u",        "LOGNAME=u",        "DISPLAY=:1",
        "LC_CTYPE=C.UTF-8",    "LANG=C.UTF-8",  "PATH=/bin",        "LD_PRELOAD=/evil.so",
        "XDG_RUNTIME_DIR=/r",  "LC_TIME=C.UTF-8", "SSH_AUTH_SOCK=/s", "XAUTHORITY=/x",
        "WAYLAND_DISPLAY=w-0", "DBUS_SESSION_BUS_ADDRESS=unix:path=/b", "XDG_SESSION_TYPE=wayland",
        "EDITOR=vi",           "USERNAME=other"};
    EXPECT_EQ(terminal::terminalEnvironment(std::nullopt, true, host),
              (EnvironmentList{"TERM=xterm-256color", "COLORTERM=truecolor", "LANG=C.UTF-8", "LOGNAME=u", "USER=u",
                               "DISPLAY=:1", "LC_CTYPE=C.UTF-8", "HOME=/home/u", "LC_TIME=C.UTF-8", "SSH_AUTH_SOCK=/s",
                               "XDG_RUNTIME_DIR=/r", "XDG_SESSION_TYPE=wayland",
                               "DBUS_SESSION_BUS_ADDRESS=unix:path=/b", "WAYLAND_DISPLAY=w-0", "XAUTHORITY=/x"}));
    EXPECT_EQ(terminal::terminalEnvironment("vt100", false, {}), (EnvironmentList{"TERM=vt100", "LANG=C.UTF-8"}));
}

TEST(TerminalEnvironment, LocalesAreKeptOnlyWhenTheyAreUtf8)
{
    struct Case {
        std::string variable;
        std::string value;
        std::optional<std::string> expected; // the entry in the result, nothing when left out
    };
    const Case cases[] = {
        {"LANG", "C.UTF-8", "LANG=C.UTF-8"},
        {"LANG", "xx_YY.UTF-8", "LANG=C.UTF-8"}, // not installed
        {"LANG", "C", "LANG=C.UTF-8"},           // not UTF-8
        {"LANG", "", "LANG=C.UTF-8"},
        {"LC_CTYPE", "C.UTF-8", "LC_CTYPE=C.UTF-8"},
        {"LC_CTYPE", "C", std::nullopt},
        {"LC_ALL", "C", std::nullopt},
        {"LC_ALL", "xx_YY.UTF-8", std::nullopt},
        {"LC_COLLATE", "C", "LC_COLLATE=C"}, // ASCII: harmless outside the character type
        {"LC_MESSAGES", "xx_YY.UTF-8", std::nullopt},
    };
    for (const Case& c : cases) {
        const EnvironmentList result = terminal::terminalEnvironment(std::nullopt, true, {c.variable + "=" + c.value});
        const auto found = std::find_if(result.begin(), result.end(),
                                        [&](const std::string& entry) { return entry.starts_with(c.variable + "="); });
        EXPECT_EQ(found == result.end() ? std::nullopt : std::optional(*found), c.expected) << c.variable << "=" << c.value;
    }
}

TEST(ShellEnvironment, PathShellAndColortermAreSetOnceAtTheEnd)
{
    const EnvironmentList host = {"USER=u", "PATH=/usr/bin", "PATHX=keep", "SHELL=/bin/other", "HOME=/h"};
    EXPECT_EQ(terminal::shellEnvironment("/bin/bash", host),
              (EnvironmentList{"TERM=xterm-256color", "LANG=C.UTF-8", "USER=u", "HOME=/h", "PATH=/usr/bin",
                               "SHELL=/bin/bash", "COLORTERM=truecolor"}));
    // With COLORTERM set in the host, the terminal's own entry stays where it is.
    EnvironmentList withColorterm = host;
    withColorterm.push_back("COLORTERM=24bit");
    EXPECT_EQ(terminal::shellEnvironment("/bin/bash", withColorterm),
              (EnvironmentList{"TERM=xterm-256color", "COLORTERM=truecolor", "LANG=C.UTF-8", "USER=u", "HOME=/h",
                               "PATH=/usr/bin", "SHELL=/bin/bash"}));
}

TEST(ShellPath, ShellVariableThenPasswdEntryThenBinSh)
{
    QTemporaryDir folder;
    const std::string notExecutable = folder.filePath(QStringLiteral("plain")).toStdString();
    QFile(QString::fromStdString(notExecutable)).open(QIODevice::WriteOnly);
    struct Case {
        std::optional<std::string> shellVariable;
        std::optional<std::string> passwd;
        std::string expected;
    };
    const Case cases[] = {
        {"/bin/bash", "/bin/sh", "/bin/bash"},
        {std::nullopt, "/bin/bash", "/bin/bash"},
        {"", "/bin/bash", "/bin/bash"},
        {"bash", "/bin/bash", "/bin/bash"},           // not a path
        {"/nonexistent/zsh", "/bin/bash", "/bin/bash"},
        {notExecutable, "/bin/bash", "/bin/bash"},
        {"/bin", "/bin/bash", "/bin/bash"},           // a folder
        {std::nullopt, "/usr/sbin/nologin-missing", "/bin/sh"},
        {std::nullopt, std::nullopt, "/bin/sh"},
    };
    for (const Case& c : cases) {
        EnvironmentList host = {"HOME=/h"};
        if (c.shellVariable)
            host.push_back("SHELL=" + *c.shellVariable);
        EXPECT_EQ(terminal::shellPath(host, c.passwd), c.expected) << c.shellVariable.value_or("<unset>");
    }
}

TEST(ShellLaunch, CdLineIsTypedOnlyForFoldersThatCannotEditTheLine)
{
    struct Case {
        std::string folder;
        std::optional<std::string> line;
    };
    const Case cases[] = {
        {"/home/a/my project", "cd '/home/a/my project'\n"},
        {"/tmp/it's", "cd '/tmp/it'\\''s'\n"},
        {"/tmp/''", "cd '/tmp/'\\'''\\'''\n"},
        {"/tmp/ünï $(x) `y` \"z\" ;&|", "cd '/tmp/ünï $(x) `y` \"z\" ;&|'\n"},
        {"/tmp/a\x15touch pwned", std::nullopt},
        {"/tmp/a\nb", std::nullopt},
        {"/tmp/a\x1b[201~", std::nullopt},
        {"/tmp/a\x7f", std::nullopt},
        {"/tmp/a\\b", std::nullopt},
        {"/tmp/a!!", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(terminal::cdLine(c.folder), c.line) << c.folder;
}

TEST(ShellLaunch, LoginShellInTheFolder)
{
    const terminal::ShellLaunch launch =
        terminal::shellLaunch("/tmp/f", {"SHELL=/bin/bash", "PATH=/bin", "HOME=/h", "COLORTERM=x"});
    EXPECT_EQ(launch.executable, "/bin/bash");
    EXPECT_EQ(launch.execName, "-bash");
    EXPECT_EQ(launch.args, (std::vector<std::string>{"-i"}));
    EXPECT_EQ(launch.currentDirectory, "/tmp/f");
    EXPECT_EQ(launch.environment, terminal::shellEnvironment("/bin/bash", {"SHELL=/bin/bash", "PATH=/bin", "HOME=/h",
                                                                          "COLORTERM=x"}));
}

} // namespace
