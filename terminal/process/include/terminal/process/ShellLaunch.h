#pragma once

#include "terminal/process/ShellEnvironment.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

class LocalProcess;

// The user's shell: $SHELL, else the shell of the user's passwd entry (`passwdShell`), else
// /bin/sh; a candidate counts only when it is an absolute path to an executable file.
std::string shellPath(const EnvironmentList& host, const std::optional<std::string>& passwdShell);
std::string shellPath(const EnvironmentList& host = currentEnvironment());

// The shell's environment: terminalEnvironment("xterm-256color", true) with the host's PATH,
// SHELL set to `shell`, and COLORTERM=truecolor at the end unless the host has COLORTERM.
EnvironmentList shellEnvironment(const std::string& shell, const EnvironmentList& host = currentEnvironment());

// The line that changes the shell to `folder`: "cd '<folder>'" and a line feed, with each "'"
// written as '\''. Nothing for a folder with a byte below 0x20, 0x7F, "\" or "!": typed into
// a line editor such bytes could edit the line or expand history, and so run something else.
std::optional<std::string> cdLine(std::string_view folder);

// Everything that starts the user's login shell in `folder`.
struct ShellLaunch {
    std::string executable;
    std::vector<std::string> args;
    EnvironmentList environment;
    std::string execName; // "-" and the shell's file name: a login shell
    std::string currentDirectory;
};
ShellLaunch shellLaunch(const std::string& folder, const EnvironmentList& host = currentEnvironment());

// Starts `launch` on `process` and, when it runs, types the cd line of its folder once the
// shell reads its terminal (LocalProcess::sendWhenReading): its line editor is up, or it has
// been quiet for 3 s after printing; after 5 s at the latest. The shell already starts in the
// folder; the line shows the user where it is.
void startShell(LocalProcess& process, const ShellLaunch& launch);

} // namespace terminal
