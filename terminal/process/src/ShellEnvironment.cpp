#include "terminal/process/ShellEnvironment.h"

#include <array>
#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

extern char** environ;

namespace terminal {

namespace {

constexpr std::string_view fallbackLocale = "C.UTF-8";

// The locale categories other than LC_CTYPE, in the order the environment lists them.
constexpr std::array otherCategories = {"LC_ALL",     "LC_NUMERIC",     "LC_TIME",    "LC_COLLATE",     "LC_MONETARY",
                                        "LC_MESSAGES", "LC_PAPER",      "LC_NAME",    "LC_ADDRESS",     "LC_TELEPHONE",
                                        "LC_MEASUREMENT", "LC_IDENTIFICATION"};

// Variables of the desktop session a shell needs to reach it: the agent, the bus, the display.
constexpr std::array sessionVariables = {"SSH_AUTH_SOCK", "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY",
                                         "XAUTHORITY"};

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool isAsciiLocale(std::string_view locale)
{
    return locale == "C" || locale == "POSIX";
}

void copyVariable(EnvironmentList& out, const EnvironmentList& host, std::string_view name)
{
    if (const auto value = environmentValue(host, name))
        out.push_back(std::string(name) + '=' + *value);
}

} // namespace

EnvironmentList currentEnvironment()
{
    EnvironmentList list;
    for (char** entry = environ; entry && *entry; ++entry)
        list.emplace_back(*entry);
    return list;
}

std::optional<std::string> environmentValue(const EnvironmentList& environment, std::string_view name)
{
    for (const std::string& entry : environment)
        if (entry.size() > name.size() && entry[name.size()] == '=' && startsWith(entry, name))
            return entry.substr(name.size() + 1);
    return std::nullopt;
}

void setEnvironmentValue(EnvironmentList& environment, std::string_view name, std::string_view value)
{
    std::erase_if(environment, [&](const std::string& entry) {
        return entry.size() > name.size() && entry[name.size()] == '=' && startsWith(entry, name);
    });
    environment.push_back(std::string(name) + '=' + std::string(value));
}

bool isUtf8Locale(const std::string& locale)
{
    if (locale.empty())
        return false;
    const locale_t handle = ::newlocale(LC_ALL_MASK, locale.c_str(), locale_t(nullptr));
    if (!handle)
        return false;
    const bool utf8 = std::strcmp(::nl_langinfo_l(CODESET, handle), "UTF-8") == 0;
    ::freelocale(handle);
    return utf8;
}

EnvironmentList terminalEnvironment(const std::optional<std::string>& termName, bool trueColor,
                                    const EnvironmentList& host)
{
    EnvironmentList out;
    out.push_back("TERM=" + termName.value_or("xterm-256color"));
    if (trueColor)
        out.emplace_back("COLORTERM=truecolor");
    const auto lang = environmentValue(host, "LANG");
    out.push_back("LANG=" + (lang && isUtf8Locale(*lang) ? *lang : std::string(fallbackLocale)));

    copyVariable(out, host, "LOGNAME");
    copyVariable(out, host, "USER");
    copyVariable(out, host, "DISPLAY");
    if (const auto ctype = environmentValue(host, "LC_CTYPE"); ctype && isUtf8Locale(*ctype))
        out.push_back("LC_CTYPE=" + *ctype);
    copyVariable(out, host, "HOME");
    for (const char* name : otherCategories) {
        const auto value = environmentValue(host, name);
        if (value && (isUtf8Locale(*value) || (std::string_view(name) != "LC_ALL" && isAsciiLocale(*value))))
            out.push_back(std::string(name) + '=' + *value);
    }
    copyVariable(out, host, sessionVariables[0]);
    for (const std::string& entry : host)
        if (startsWith(entry, "XDG_") && entry.find('=') != std::string::npos)
            out.push_back(entry);
    for (std::size_t i = 1; i < sessionVariables.size(); ++i)
        copyVariable(out, host, sessionVariables[i]);
    return out;
}

} // namespace terminal
