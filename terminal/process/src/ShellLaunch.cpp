#include "terminal/process/ShellLaunch.h"

#include "terminal/process/LocalProcess.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace terminal {

namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat info{};
    return !path.empty() && path.front() == '/' && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
           && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> passwdEntryShell()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result || !result->pw_shell)
        return std::nullopt;
    return std::string(result->pw_shell);
}

} // namespace

std::string shellPath(const EnvironmentList& host, const std::optional<std::string>& passwdShell)
{
    if (const auto shell = environmentValue(host, "SHELL"); shell && isExecutableFile(*shell))
        return *shell;
    if (passwdShell && isExecutableFile(*passwdShell))
        return *passwdShell;
    return "/bin/sh";
}

std::string shellPath(const EnvironmentList& host)
{
    return shellPath(host, passwdEntryShell());
}

EnvironmentList shellEnvironment(const std::string& shell, const EnvironmentList& host)
{
    EnvironmentList environment = terminalEnvironment("xterm-256color", true, host);
    if (const auto path = environmentValue(host, "PATH"))
        setEnvironmentValue(environment, "PATH", *path);
    setEnvironmentValue(environment, "SHELL", shell);
    if (!environmentValue(host, "COLORTERM"))
        setEnvironmentValue(environment, "COLORTERM", "truecolor");
    return environment;
}

std::optional<std::string> cdLine(std::string_view folder)
{
    std::string line = "cd '";
    for (const char c : folder) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\' || c == '!')
            return std::nullopt;
        if (c == '\'')
            line += "'\\''";
        else
            line += c;
    }
    line += "'\n";
    return line;
}

ShellLaunch shellLaunch(const std::string& folder, const EnvironmentList& host)
{
    ShellLaunch launch;
    launch.executable = shellPath(host);
    launch.args = {"-i"};
    launch.environment = shellEnvironment(launch.executable, host);
    launch.execName = "-" + launch.executable.substr(launch.executable.rfind('/') + 1);
    launch.currentDirectory = folder;
    return launch;
}

void startShell(LocalProcess& process, const ShellLaunch& launch)
{
    process.startProcess(launch.executable, launch.args, launch.environment, launch.execName,
                         launch.currentDirectory);
    if (!process.running())
        return;
    // Typed once the shell's line editor is up, after its prompt, so that the line shows once:
    // a login message may come first, and a loaded machine may take seconds to start the shell.
    if (const auto line = cdLine(launch.currentDirectory))
        process.sendWhenReading(*line, std::chrono::seconds(3), std::chrono::seconds(5));
}

} // namespace terminal
